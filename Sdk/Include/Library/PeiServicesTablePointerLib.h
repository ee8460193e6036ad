/** @file
  Where a PEIM finds the PEI services table pointer. The instance for IA32
  keeps it in the pointer-sized slot immediately below the base of the
  interrupt descriptor table, where the PEI foundation keeps it on IA32.
**/
#ifndef PEI_SERVICES_TABLE_POINTER_LIB_H_
#define PEI_SERVICES_TABLE_POINTER_LIB_H_

#include <PiPei.h>

/**
  Returns the PEI services table pointer.

  @return The pointer the PEI foundation stored.
**/
CONST EFI_PEI_SERVICES **
EFIAPI
GetPeiServicesTablePointer (
  VOID
  );

/**
  Stores the PEI services table pointer.

  @param[in] PeiServicesTablePointer  The pointer to keep.
**/
VOID
EFIAPI
SetPeiServicesTablePointer (
  IN CONST EFI_PEI_SERVICES  **PeiServicesTablePointer
  );

#endif
