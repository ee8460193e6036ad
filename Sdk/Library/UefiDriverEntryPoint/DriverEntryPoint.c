/** @file
  Image entry point of a DXE driver: runs the library constructors (which
  keep gImageHandle, gST, gBS and gRT), then the module's own entry point.
  Both lists are produced for each module by the build (AutoGen).
**/
#include <Uefi.h>

VOID
EFIAPI
ProcessLibraryConstructorList (
  IN EFI_HANDLE        ImageHandle,
  IN EFI_SYSTEM_TABLE  *SystemTable
  );

EFI_STATUS
EFIAPI
ProcessModuleEntryPointList (
  IN EFI_HANDLE        ImageHandle,
  IN EFI_SYSTEM_TABLE  *SystemTable
  );

/**
  The entry point the firmware's image loader calls.

  @param[in] ImageHandle  Handle of the loaded image.
  @param[in] SystemTable  The UEFI system table.

  @return The status of the module's entry point.
**/
EFI_STATUS
EFIAPI
_ModuleEntryPoint (
  IN EFI_HANDLE        ImageHandle,
  IN EFI_SYSTEM_TABLE  *SystemTable
  )
{
  ProcessLibraryConstructorList (ImageHandle, SystemTable);
  return ProcessModuleEntryPointList (ImageHandle, SystemTable);
}
