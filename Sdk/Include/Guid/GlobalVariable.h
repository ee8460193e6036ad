/** @file
  Vendor GUID of the UEFI global variables (BootOrder, OsIndications, ...).
**/
#ifndef GLOBAL_VARIABLE_GUID_H_
#define GLOBAL_VARIABLE_GUID_H_

#include <Uefi/UefiSpec.h>

extern EFI_GUID  gEfiGlobalVariableGuid;

#endif
