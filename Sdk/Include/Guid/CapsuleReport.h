/** @file
  Capsule result variables: their vendor GUID and the record layout.
**/
#ifndef CAPSULE_REPORT_GUID_H_
#define CAPSULE_REPORT_GUID_H_

#include <Uefi/UefiBaseType.h>

#define EFI_CAPSULE_REPORT_GUID \
  { 0x39b68c46, 0xf7fb, 0x441b, { 0xb6, 0xec, 0x16, 0xb0, 0xf6, 0x98, 0x21, 0xf3 } }

typedef struct {
  UINT32        VariableTotalSize;
  UINT32        Reserved;
  EFI_GUID      CapsuleGuid;
  EFI_TIME      CapsuleProcessed;
  EFI_STATUS    CapsuleStatus;
} EFI_CAPSULE_RESULT_VARIABLE_HEADER;

///
/// Followed by CHAR16 CapsuleFileName[] and CHAR16 CapsuleTarget[], each
/// NUL-terminated.
///
typedef struct {
  UINT16      Version;
  UINT8       PayloadIndex;
  UINT8       UpdateImageIndex;
  EFI_GUID    UpdateImageTypeId;
} EFI_CAPSULE_RESULT_VARIABLE_FMP;

#define EFI_CAPSULE_RESULT_VARIABLE_FMP_VERSION  0x0001

#if defined (MDE_CPU_X64)
STATIC_ASSERT (sizeof (EFI_CAPSULE_RESULT_VARIABLE_HEADER) == 48, "capsule result header is 48 bytes");
STATIC_ASSERT (OFFSET_OF (EFI_CAPSULE_RESULT_VARIABLE_HEADER, CapsuleGuid) == 8, "CapsuleGuid");
STATIC_ASSERT (OFFSET_OF (EFI_CAPSULE_RESULT_VARIABLE_HEADER, CapsuleProcessed) == 24, "CapsuleProcessed");
STATIC_ASSERT (OFFSET_OF (EFI_CAPSULE_RESULT_VARIABLE_HEADER, CapsuleStatus) == 40, "CapsuleStatus");
#endif
STATIC_ASSERT (sizeof (EFI_CAPSULE_RESULT_VARIABLE_FMP) == 20, "capsule result FMP part is 20 bytes");
STATIC_ASSERT (OFFSET_OF (EFI_CAPSULE_RESULT_VARIABLE_FMP, UpdateImageTypeId) == 4, "UpdateImageTypeId");

extern EFI_GUID  gEfiCapsuleReportGuid;

#endif
