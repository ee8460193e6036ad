/** @file
  Keeps the image handle, the system table and the boot services table in
  globals for the rest of the module.
**/
#include <Uefi.h>
#include <Library/UefiBootServicesTableLib.h>

EFI_HANDLE         gImageHandle = NULL;
EFI_SYSTEM_TABLE   *gST         = NULL;
EFI_BOOT_SERVICES  *gBS         = NULL;

/**
  Library constructor: runs before the module's entry point.

  @retval EFI_SUCCESS  Always.
**/
EFI_STATUS
EFIAPI
UefiBootServicesTableLibConstructor (
  IN EFI_HANDLE        ImageHandle,
  IN EFI_SYSTEM_TABLE  *SystemTable
  )
{
  gImageHandle = ImageHandle;
  gST          = SystemTable;
  gBS          = SystemTable->BootServices;
  return EFI_SUCCESS;
}
