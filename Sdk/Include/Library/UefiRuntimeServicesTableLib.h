/** @file
  Global holding the runtime services table.
**/
#ifndef UEFI_RUNTIME_SERVICES_TABLE_LIB_H_
#define UEFI_RUNTIME_SERVICES_TABLE_LIB_H_

extern EFI_RUNTIME_SERVICES  *gRT;

#endif
