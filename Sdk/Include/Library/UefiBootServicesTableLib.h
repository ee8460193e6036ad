/** @file
  Globals holding the image handle, the system table and the boot services.
**/
#ifndef UEFI_BOOT_SERVICES_TABLE_LIB_H_
#define UEFI_BOOT_SERVICES_TABLE_LIB_H_

extern EFI_HANDLE         gImageHandle;
extern EFI_SYSTEM_TABLE   *gST;
extern EFI_BOOT_SERVICES  *gBS;

#endif
