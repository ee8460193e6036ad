/** @file
  UEFI definitions shared by the PEI and DXE phases: memory types, the table
  header, reset types, variable attributes and the capsule header.
**/
#ifndef UEFI_MULTIPHASE_H_
#define UEFI_MULTIPHASE_H_

#include <Uefi/UefiBaseType.h>

typedef enum {
  EfiReservedMemoryType,
  EfiLoaderCode,
  EfiLoaderData,
  EfiBootServicesCode,
  EfiBootServicesData,
  EfiRuntimeServicesCode,
  EfiRuntimeServicesData,
  EfiConventionalMemory,
  EfiUnusableMemory,
  EfiACPIReclaimMemory,
  EfiACPIMemoryNVS,
  EfiMemoryMappedIO,
  EfiMemoryMappedIOPortSpace,
  EfiPalCode,
  EfiPersistentMemory,
  EfiUnacceptedMemoryType,
  EfiMaxMemoryType
} EFI_MEMORY_TYPE;

typedef enum {
  EfiResetCold,
  EfiResetWarm,
  EfiResetShutdown,
  EfiResetPlatformSpecific
} EFI_RESET_TYPE;

///
/// Common header of the UEFI service tables.
///
typedef struct {
  UINT64    Signature;
  UINT32    Revision;
  UINT32    HeaderSize;
  UINT32    CRC32;
  UINT32    Reserved;
} EFI_TABLE_HEADER;

STATIC_ASSERT (sizeof (EFI_TABLE_HEADER) == 24, "EFI_TABLE_HEADER is 24 bytes");

#define EFI_VARIABLE_NON_VOLATILE        0x00000001
#define EFI_VARIABLE_BOOTSERVICE_ACCESS  0x00000002
#define EFI_VARIABLE_RUNTIME_ACCESS      0x00000004

///
/// Header at the start of every capsule.
///
typedef struct {
  EFI_GUID    CapsuleGuid;
  UINT32      HeaderSize;
  UINT32      Flags;
  UINT32      CapsuleImageSize;
} EFI_CAPSULE_HEADER;

STATIC_ASSERT (sizeof (EFI_CAPSULE_HEADER) == 28, "EFI_CAPSULE_HEADER is 28 bytes");
STATIC_ASSERT (OFFSET_OF (EFI_CAPSULE_HEADER, HeaderSize) == 16, "EFI_CAPSULE_HEADER.HeaderSize");
STATIC_ASSERT (OFFSET_OF (EFI_CAPSULE_HEADER, CapsuleImageSize) == 24, "EFI_CAPSULE_HEADER.CapsuleImageSize");

#define CAPSULE_FLAGS_PERSIST_ACROSS_RESET   0x00010000
#define CAPSULE_FLAGS_POPULATE_SYSTEM_TABLE  0x00020000
#define CAPSULE_FLAGS_INITIATE_RESET         0x00040000

#endif
