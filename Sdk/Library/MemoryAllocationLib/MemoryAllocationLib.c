/** @file
  Pool allocation through the boot services, always from boot-services data.
**/
#include <Uefi.h>
#include <Library/BaseMemoryLib.h>
#include <Library/MemoryAllocationLib.h>
#include <Library/UefiBootServicesTableLib.h>

VOID *
EFIAPI
AllocatePool (
  IN UINTN  AllocationSize
  )
{
  VOID  *Buffer;

  if (EFI_ERROR (gBS->AllocatePool (EfiBootServicesData, AllocationSize, &Buffer))) {
    return NULL;
  }

  return Buffer;
}

VOID *
EFIAPI
AllocateZeroPool (
  IN UINTN  AllocationSize
  )
{
  VOID  *Buffer;

  Buffer = AllocatePool (AllocationSize);
  if (Buffer != NULL) {
    ZeroMem (Buffer, AllocationSize);
  }

  return Buffer;
}

VOID
EFIAPI
FreePool (
  IN VOID  *Buffer
  )
{
  gBS->FreePool (Buffer);
}
