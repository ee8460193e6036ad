/** @file
  Image entry point of a PEIM and the two lists the build generates for each
  module: its library constructors and its own entry point.
**/
#ifndef PEIM_ENTRY_POINT_H_
#define PEIM_ENTRY_POINT_H_

#include <PiPei.h>

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
  );

VOID
EFIAPI
ProcessLibraryConstructorList (
  IN EFI_PEI_FILE_HANDLE     FileHandle,
  IN CONST EFI_PEI_SERVICES  **PeiServices
  );

EFI_STATUS
EFIAPI
ProcessModuleEntryPointList (
  IN EFI_PEI_FILE_HANDLE     FileHandle,
  IN CONST EFI_PEI_SERVICES  **PeiServices
  );

#endif
