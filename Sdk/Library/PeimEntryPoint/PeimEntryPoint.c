/** @file
  Image entry point of a PEIM: runs the library constructors, then the
  module's own entry point. Both lists are produced for each module by the
  build (AutoGen).
**/
#include <PiPei.h>
#include <Library/PeimEntryPoint.h>

/**
  The entry point the PEI dispatcher calls.

  @param[in] FileHandle   Handle of the PEIM's firmware file.
  @param[in] PeiServices  The PEI services table pointer.

  @return The status of the module's entry point.
**/
EFI_STATUS
EFIAPI
_ModuleEntryPoint (
  IN EFI_PEI_FILE_HANDLE     FileHandle,
  IN CONST EFI_PEI_SERVICES  **PeiServices
  )
{
  ProcessLibraryConstructorList (FileHandle, PeiServices);
  return ProcessModuleEntryPointList (FileHandle, PeiServices);
}
