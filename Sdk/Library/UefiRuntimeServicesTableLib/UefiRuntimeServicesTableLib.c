/** @file
  Keeps the runtime services table in a global for the rest of the module.
**/
#include <Uefi.h>
#include <Library/UefiRuntimeServicesTableLib.h>

EFI_RUNTIME_SERVICES  *gRT = NULL;

/**
  Library constructor: runs before the module's entry point.

  @retval EFI_SUCCESS  Always.
**/
EFI_STATUS
EFIAPI
UefiRuntimeServicesTableLibConstructor (
  IN EFI_HANDLE        ImageHandle,
  IN EFI_SYSTEM_TABLE  *SystemTable
  )
{
  (VOID)ImageHandle;
  gRT = SystemTable->RuntimeServices;
  return EFI_SUCCESS;
}
