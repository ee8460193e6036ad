/** @file
  Hand-off block (HOB) types the DXE phase reads.
**/
#ifndef PI_HOB_H_
#define PI_HOB_H_

#include <Uefi/UefiBaseType.h>

#define EFI_HOB_TYPE_HANDOFF              0x0001
#define EFI_HOB_TYPE_MEMORY_ALLOCATION    0x0002
#define EFI_HOB_TYPE_RESOURCE_DESCRIPTOR  0x0003
#define EFI_HOB_TYPE_GUID_EXTENSION       0x0004
#define EFI_HOB_TYPE_FV                   0x0005
#define EFI_HOB_TYPE_CPU                  0x0006
#define EFI_HOB_TYPE_MEMORY_POOL          0x0007
#define EFI_HOB_TYPE_FV2                  0x0009
#define EFI_HOB_TYPE_LOAD_PEIM_UNUSED     0x000A
#define EFI_HOB_TYPE_UEFI_CAPSULE         0x000B
#define EFI_HOB_TYPE_FV3                  0x000C
#define EFI_HOB_TYPE_UNUSED               0xFFFE
#define EFI_HOB_TYPE_END_OF_HOB_LIST      0xFFFF

typedef struct {
  UINT16    HobType;
  UINT16    HobLength;
  UINT32    Reserved;
} EFI_HOB_GENERIC_HEADER;

typedef struct {
  EFI_HOB_GENERIC_HEADER    Header;
  UINT32                    Version;
  UINT32                    BootMode;
  EFI_PHYSICAL_ADDRESS      EfiMemoryTop;
  EFI_PHYSICAL_ADDRESS      EfiMemoryBottom;
  EFI_PHYSICAL_ADDRESS      EfiFreeMemoryTop;
  EFI_PHYSICAL_ADDRESS      EfiFreeMemoryBottom;
  EFI_PHYSICAL_ADDRESS      EfiEndOfHobList;
} EFI_HOB_HANDOFF_INFO_TABLE;

typedef struct {
  EFI_HOB_GENERIC_HEADER    Header;
  EFI_PHYSICAL_ADDRESS      BaseAddress;
  UINT64                    Length;
} EFI_HOB_UEFI_CAPSULE;

typedef union {
  EFI_HOB_GENERIC_HEADER        *Header;
  EFI_HOB_HANDOFF_INFO_TABLE    *HandoffInformationTable;
  EFI_HOB_UEFI_CAPSULE          *Capsule;
  UINT8                         *Raw;
} EFI_PEI_HOB_POINTERS;

#define EFI_HOB_HANDOFF_TABLE_VERSION  0x0009

STATIC_ASSERT (sizeof (EFI_HOB_GENERIC_HEADER) == 8, "EFI_HOB_GENERIC_HEADER is 8 bytes");
STATIC_ASSERT (sizeof (EFI_HOB_HANDOFF_INFO_TABLE) == 56, "EFI_HOB_HANDOFF_INFO_TABLE is 56 bytes");
STATIC_ASSERT (sizeof (EFI_HOB_UEFI_CAPSULE) == 24, "EFI_HOB_UEFI_CAPSULE is 24 bytes");
STATIC_ASSERT (OFFSET_OF (EFI_HOB_UEFI_CAPSULE, BaseAddress) == 8, "EFI_HOB_UEFI_CAPSULE.BaseAddress");

#endif
