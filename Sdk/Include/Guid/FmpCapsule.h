/** @file
  The FMP capsule: its GUID, the capsule header that follows the
  EFI_CAPSULE_HEADER, and the header of each payload item.
**/
#ifndef FMP_CAPSULE_GUID_H_
#define FMP_CAPSULE_GUID_H_

#include <Uefi/UefiBaseType.h>

#define EFI_FIRMWARE_MANAGEMENT_CAPSULE_ID_GUID \
  { 0x6dcbd5ed, 0xe82d, 0x4c44, { 0xbd, 0xa1, 0x71, 0x94, 0x19, 0x9a, 0xd9, 0x2a } }

#pragma pack(1)

///
/// Followed by UINT64 ItemOffsetList[EmbeddedDriverCount + PayloadItemCount].
///
typedef struct {
  UINT32    Version;
  UINT16    EmbeddedDriverCount;
  UINT16    PayloadItemCount;
} EFI_FIRMWARE_MANAGEMENT_CAPSULE_HEADER;

#define EFI_FIRMWARE_MANAGEMENT_CAPSULE_HEADER_INIT_VERSION  0x00000001

///
/// Header of a payload item. UpdateHardwareInstance exists from version 2,
/// ImageCapsuleSupport from version 3.
///
typedef struct {
  UINT32      Version;
  EFI_GUID    UpdateImageTypeId;
  UINT8       UpdateImageIndex;
  UINT8       reserved_bytes[3];
  UINT32      UpdateImageSize;
  UINT32      UpdateVendorCodeSize;
  UINT64      UpdateHardwareInstance;
  UINT64      ImageCapsuleSupport;
} EFI_FIRMWARE_MANAGEMENT_CAPSULE_IMAGE_HEADER;

#define EFI_FIRMWARE_MANAGEMENT_CAPSULE_IMAGE_HEADER_INIT_VERSION  0x00000003

#pragma pack()

STATIC_ASSERT (sizeof (EFI_FIRMWARE_MANAGEMENT_CAPSULE_HEADER) == 8, "FMP capsule header is 8 bytes");
STATIC_ASSERT (OFFSET_OF (EFI_FIRMWARE_MANAGEMENT_CAPSULE_IMAGE_HEADER, UpdateImageTypeId) == 4, "UpdateImageTypeId");
STATIC_ASSERT (OFFSET_OF (EFI_FIRMWARE_MANAGEMENT_CAPSULE_IMAGE_HEADER, UpdateImageIndex) == 20, "UpdateImageIndex");
STATIC_ASSERT (OFFSET_OF (EFI_FIRMWARE_MANAGEMENT_CAPSULE_IMAGE_HEADER, UpdateImageSize) == 24, "UpdateImageSize");
STATIC_ASSERT (OFFSET_OF (EFI_FIRMWARE_MANAGEMENT_CAPSULE_IMAGE_HEADER, UpdateVendorCodeSize) == 28, "UpdateVendorCodeSize");
STATIC_ASSERT (OFFSET_OF (EFI_FIRMWARE_MANAGEMENT_CAPSULE_IMAGE_HEADER, UpdateHardwareInstance) == 32, "UpdateHardwareInstance");
STATIC_ASSERT (OFFSET_OF (EFI_FIRMWARE_MANAGEMENT_CAPSULE_IMAGE_HEADER, ImageCapsuleSupport) == 40, "ImageCapsuleSupport");

extern EFI_GUID  gEfiFmpCapsuleGuid;

#endif
