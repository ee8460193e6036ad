/** @file
  Configuration table GUID under which the DXE phase finds the HOB list.
**/
#ifndef HOB_LIST_GUID_H_
#define HOB_LIST_GUID_H_

#define HOB_LIST_GUID \
  { 0x7739f24c, 0x93d7, 0x11d4, { 0x9a, 0x3a, 0x00, 0x90, 0x27, 0x3f, 0xc1, 0x4d } }

extern EFI_GUID  gEfiHobListGuid;

#endif
