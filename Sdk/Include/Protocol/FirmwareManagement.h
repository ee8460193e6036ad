/** @file
  Firmware Management Protocol and its image descriptor.
**/
#ifndef FIRMWARE_MANAGEMENT_H_
#define FIRMWARE_MANAGEMENT_H_

#include <Uefi/UefiBaseType.h>

#define EFI_FIRMWARE_MANAGEMENT_PROTOCOL_GUID \
  { 0x86c77a67, 0x0b97, 0x4633, { 0xa1, 0x87, 0x49, 0x10, 0x4d, 0x06, 0x85, 0xc7 } }

typedef struct _EFI_FIRMWARE_MANAGEMENT_PROTOCOL EFI_FIRMWARE_MANAGEMENT_PROTOCOL;

///
/// One image the instance manages. LowestSupportedImageVersion exists from
/// descriptor version 2; LastAttemptVersion, LastAttemptStatus and
/// HardwareInstance from version 3.
///
typedef struct {
  UINT8       ImageIndex;
  EFI_GUID    ImageTypeId;
  UINT64      ImageId;
  CHAR16      *ImageIdName;
  UINT32      Version;
  CHAR16      *VersionName;
  UINTN       Size;
  UINT64      AttributesSupported;
  UINT64      AttributesSetting;
  UINT64      Compatibilities;
  UINT32      LowestSupportedImageVersion;
  UINT32      LastAttemptVersion;
  UINT32      LastAttemptStatus;
  UINT64      HardwareInstance;
} EFI_FIRMWARE_IMAGE_DESCRIPTOR;

#define EFI_FIRMWARE_IMAGE_DESCRIPTOR_VERSION  3

#define IMAGE_ATTRIBUTE_IMAGE_UPDATABLE  0x0000000000000001ULL

#if defined (MDE_CPU_X64)
STATIC_ASSERT (OFFSET_OF (EFI_FIRMWARE_IMAGE_DESCRIPTOR, ImageTypeId) == 4, "ImageTypeId");
STATIC_ASSERT (OFFSET_OF (EFI_FIRMWARE_IMAGE_DESCRIPTOR, ImageId) == 24, "ImageId");
STATIC_ASSERT (OFFSET_OF (EFI_FIRMWARE_IMAGE_DESCRIPTOR, LowestSupportedImageVersion) == 88, "LowestSupportedImageVersion");
STATIC_ASSERT (OFFSET_OF (EFI_FIRMWARE_IMAGE_DESCRIPTOR, HardwareInstance) == 104, "HardwareInstance");
STATIC_ASSERT (sizeof (EFI_FIRMWARE_IMAGE_DESCRIPTOR) == 112, "descriptor version 3 is 112 bytes");
#endif

typedef EFI_STATUS (EFIAPI *EFI_FIRMWARE_MANAGEMENT_UPDATE_IMAGE_PROGRESS)(
  IN UINTN  Completion
  );

typedef EFI_STATUS (EFIAPI *EFI_FIRMWARE_MANAGEMENT_PROTOCOL_GET_IMAGE_INFO)(
  IN EFI_FIRMWARE_MANAGEMENT_PROTOCOL   *This,
  IN OUT UINTN                          *ImageInfoSize,
  IN OUT EFI_FIRMWARE_IMAGE_DESCRIPTOR  *ImageInfo,
  OUT UINT32                            *DescriptorVersion,
  OUT UINT8                             *DescriptorCount,
  OUT UINTN                             *DescriptorSize,
  OUT UINT32                            *PackageVersion,
  OUT CHAR16                            **PackageVersionName
  );

typedef EFI_STATUS (EFIAPI *EFI_FIRMWARE_MANAGEMENT_PROTOCOL_GET_IMAGE)(
  IN EFI_FIRMWARE_MANAGEMENT_PROTOCOL  *This,
  IN UINT8                             ImageIndex,
  OUT VOID                             *Image,
  IN OUT UINTN                         *ImageSize
  );

typedef EFI_STATUS (EFIAPI *EFI_FIRMWARE_MANAGEMENT_PROTOCOL_SET_IMAGE)(
  IN EFI_FIRMWARE_MANAGEMENT_PROTOCOL               *This,
  IN UINT8                                          ImageIndex,
  IN CONST VOID                                     *Image,
  IN UINTN                                          ImageSize,
  IN CONST VOID                                     *VendorCode,
  IN EFI_FIRMWARE_MANAGEMENT_UPDATE_IMAGE_PROGRESS  Progress,
  OUT CHAR16                                        **AbortReason
  );

typedef EFI_STATUS (EFIAPI *EFI_FIRMWARE_MANAGEMENT_PROTOCOL_CHECK_IMAGE)(
  IN EFI_FIRMWARE_MANAGEMENT_PROTOCOL  *This,
  IN UINT8                             ImageIndex,
  IN CONST VOID                        *Image,
  IN UINTN                             ImageSize,
  OUT UINT32                           *ImageUpdatable
  );

typedef EFI_STATUS (EFIAPI *EFI_FIRMWARE_MANAGEMENT_PROTOCOL_GET_PACKAGE_INFO)(
  IN EFI_FIRMWARE_MANAGEMENT_PROTOCOL  *This,
  OUT UINT32                           *PackageVersion,
  OUT CHAR16                           **PackageVersionName,
  OUT UINT32                           *PackageVersionNameMaxLen,
  OUT UINT64                           *AttributesSupported,
  OUT UINT64                           *AttributesSetting
  );

typedef EFI_STATUS (EFIAPI *EFI_FIRMWARE_MANAGEMENT_PROTOCOL_SET_PACKAGE_INFO)(
  IN EFI_FIRMWARE_MANAGEMENT_PROTOCOL  *This,
  IN CONST VOID                        *Image,
  IN UINTN                             ImageSize,
  IN CONST VOID                        *VendorCode,
  IN UINT32                            PackageVersion,
  IN CONST CHAR16                      *PackageVersionName
  );

struct _EFI_FIRMWARE_MANAGEMENT_PROTOCOL {
  EFI_FIRMWARE_MANAGEMENT_PROTOCOL_GET_IMAGE_INFO       GetImageInfo;
  EFI_FIRMWARE_MANAGEMENT_PROTOCOL_GET_IMAGE            GetImage;
  EFI_FIRMWARE_MANAGEMENT_PROTOCOL_SET_IMAGE            SetImage;
  EFI_FIRMWARE_MANAGEMENT_PROTOCOL_CHECK_IMAGE          CheckImage;
  EFI_FIRMWARE_MANAGEMENT_PROTOCOL_GET_PACKAGE_INFO     GetPackageInfo;
  EFI_FIRMWARE_MANAGEMENT_PROTOCOL_SET_PACKAGE_INFO     SetPackageInfo;
};

extern EFI_GUID  gEfiFirmwareManagementProtocolGuid;

#endif
