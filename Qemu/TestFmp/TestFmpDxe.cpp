/** @file
  A test firmware device for the end-to-end runs: a boot-service driver that
  installs one Firmware Management Protocol instance, with a vendor hardware
  device path on the same handle, and keeps a non-volatile record of every
  SetImage call ("FmpWrite0", "FmpWrite1", ...) so that the boot after the
  update's reset can show what the device received.

  SetImage calls the progress callback, refuses an image whose vendor code
  starts with "FAIL" (EFI_DEVICE_ERROR with an abort reason), and, while the
  volatile variable "FmpStall" exists, stops inside the write and waits for
  the host to cut the power.

  Capsules carry this image as an embedded driver.
**/
extern "C" {
#include <Uefi.h>
#include <Library/BaseMemoryLib.h>
#include <Library/MemoryAllocationLib.h>
#include <Library/UefiBootServicesTableLib.h>
#include <Library/UefiRuntimeServicesTableLib.h>
#include <Protocol/DevicePath.h>
#include <Protocol/FirmwareManagement.h>
}

#include "E2eDefinitions.h"
#include "DebugPort.h"

#define WSTR(Literal)  ((CHAR16 *)u"" Literal)

namespace {

EFI_GUID  mVariableGuid     = E2E_VARIABLE_GUID;
EFI_GUID  mImageTypeGuid    = E2E_TEST_FMP_IMAGE_TYPE_GUID;
EFI_GUID  mFmpProtocolGuid  = EFI_FIRMWARE_MANAGEMENT_PROTOCOL_GUID;
EFI_GUID  mDevicePathGuid   = EFI_DEVICE_PATH_PROTOCOL_GUID;

#pragma pack(1)
struct TEST_DEVICE_PATH {
  EFI_DEVICE_PATH_PROTOCOL    Vendor;
  EFI_GUID                    VendorGuid;
  EFI_DEVICE_PATH_PROTOCOL    End;
};
#pragma pack()

TEST_DEVICE_PATH  mDevicePath = {
  { HARDWARE_DEVICE_PATH,     4,                              { sizeof (EFI_DEVICE_PATH_PROTOCOL) + sizeof (EFI_GUID), 0 } },
  E2E_TEST_FMP_DEVICE_GUID,
  { END_DEVICE_PATH_TYPE,     END_ENTIRE_DEVICE_PATH_SUBTYPE, { sizeof (EFI_DEVICE_PATH_PROTOCOL), 0 } }
};

const char16_t  mImageIdName[] = u"E2E test device";
const char16_t  mVersionName[] = u"1.0";
const char16_t  mPackageName[] = u"E2E test package";

UINTN
AsciiLength (
  CONST CHAR8  *Text
  )
{
  UINTN  Length = 0;

  while (Text[Length] != '\0') {
    Length++;
  }

  return Length;
}

/**
  A pool copy of a CHAR16 string, which the caller frees with FreePool.
**/
CHAR16 *
PoolString (
  CONST CHAR16  *Text
  )
{
  UINTN   Length = 0;
  CHAR16  *Copy;

  while (Text[Length] != 0) {
    Length++;
  }

  Copy = (CHAR16 *)AllocatePool ((Length + 1) * sizeof (CHAR16));
  if (Copy != NULL) {
    CopyMem (Copy, Text, (Length + 1) * sizeof (CHAR16));
  }

  return Copy;
}

/**
  A pool CHAR16 copy of an ASCII string.
**/
CHAR16 *
PoolStringFromAscii (
  CONST CHAR8  *Text
  )
{
  UINTN   Length = AsciiLength (Text);
  CHAR16  *Copy  = (CHAR16 *)AllocatePool ((Length + 1) * sizeof (CHAR16));

  if (Copy != NULL) {
    for (UINTN Index = 0; Index <= Length; Index++) {
      Copy[Index] = (CHAR16)(UINT8)Text[Index];
    }
  }

  return Copy;
}

/**
  The name of SetImage record Index: "FmpWrite" and the index in decimal.
**/
VOID
RecordName (
  UINTN   Index,
  CHAR16  *Name
  )
{
  CONST CHAR8  *Prefix = E2E_WRITE_RECORD_PREFIX;
  UINTN        Length  = 0;

  for ( ; Prefix[Length] != '\0'; Length++) {
    Name[Length] = (CHAR16)Prefix[Length];
  }

  if (Index >= 10) {
    Name[Length++] = (CHAR16)(u'0' + Index / 10);
  }

  Name[Length++] = (CHAR16)(u'0' + Index % 10);
  Name[Length]   = 0;
}

BOOLEAN
StallRequested (
  VOID
  )
{
  UINT8  Value;
  UINTN  Size = sizeof (Value);

  return (BOOLEAN)!EFI_ERROR (gRT->GetVariable (WSTR (E2E_STALL_VARIABLE_NAME), &mVariableGuid, NULL, &Size, &Value));
}

/**
  Stores what one SetImage call received in the first free record variable.
**/
VOID
KeepRecord (
  CONST E2E_WRITE_RECORD  *Header,
  CONST VOID              *Image
  )
{
  CHAR16  Name[16];
  UINTN   Index;

  for (Index = 0; Index < E2E_WRITE_RECORD_MAX; Index++) {
    UINT8  Probe;
    UINTN  Size = sizeof (Probe);

    RecordName (Index, Name);
    if (gRT->GetVariable (Name, &mVariableGuid, NULL, &Size, &Probe) == EFI_NOT_FOUND) {
      break;
    }
  }

  if (Index == E2E_WRITE_RECORD_MAX) {
    DebugPortPrint ("[testfmp] no free record variable\n");
    return;
  }

  UINTN  Total   = sizeof (*Header) + Header->ImageSize;
  UINT8  *Record = (UINT8 *)AllocatePool (Total);
  if (Record == NULL) {
    return;
  }

  CopyMem (Record, Header, sizeof (*Header));
  CopyMem (Record + sizeof (*Header), Image, Header->ImageSize);
  EFI_STATUS  Status = gRT->SetVariable (
                              Name,
                              &mVariableGuid,
                              EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS,
                              Total,
                              Record
                              );
  FreePool (Record);
  DebugPortPrint ("[testfmp] kept record %s (%u bytes): status %lx\n", Name, (UINT32)Total, (UINT64)Status);
}

EFI_STATUS
EFIAPI
TestGetImageInfo (
  IN EFI_FIRMWARE_MANAGEMENT_PROTOCOL   *This,
  IN OUT UINTN                          *ImageInfoSize,
  IN OUT EFI_FIRMWARE_IMAGE_DESCRIPTOR  *ImageInfo,
  OUT UINT32                            *DescriptorVersion,
  OUT UINT8                             *DescriptorCount,
  OUT UINTN                             *DescriptorSize,
  OUT UINT32                            *PackageVersion,
  OUT CHAR16                            **PackageVersionName
  )
{
  if (ImageInfoSize == NULL) {
    return EFI_INVALID_PARAMETER;
  }

  if (*ImageInfoSize < sizeof (EFI_FIRMWARE_IMAGE_DESCRIPTOR)) {
    *ImageInfoSize = sizeof (EFI_FIRMWARE_IMAGE_DESCRIPTOR);
    return EFI_BUFFER_TOO_SMALL;
  }

  if ((ImageInfo == NULL) || (DescriptorVersion == NULL) || (DescriptorCount == NULL) ||
      (DescriptorSize == NULL) || (PackageVersion == NULL))
  {
    return EFI_INVALID_PARAMETER;
  }

  *ImageInfoSize     = sizeof (EFI_FIRMWARE_IMAGE_DESCRIPTOR);
  *DescriptorVersion = EFI_FIRMWARE_IMAGE_DESCRIPTOR_VERSION;
  *DescriptorCount   = 1;
  *DescriptorSize    = sizeof (EFI_FIRMWARE_IMAGE_DESCRIPTOR);
  *PackageVersion    = 1;
  if (PackageVersionName != NULL) {
    *PackageVersionName = PoolString ((CONST CHAR16 *)mPackageName);
  }

  ZeroMem (ImageInfo, sizeof (*ImageInfo));
  ImageInfo->ImageIndex          = 1;
  ImageInfo->ImageTypeId         = mImageTypeGuid;
  ImageInfo->ImageId             = 1;
  ImageInfo->ImageIdName         = (CHAR16 *)mImageIdName;
  ImageInfo->Version             = 1;
  ImageInfo->VersionName         = (CHAR16 *)mVersionName;
  ImageInfo->Size                = 0x10000;
  ImageInfo->AttributesSupported = IMAGE_ATTRIBUTE_IMAGE_UPDATABLE;
  ImageInfo->AttributesSetting   = IMAGE_ATTRIBUTE_IMAGE_UPDATABLE;
  ImageInfo->HardwareInstance    = 0;
  return EFI_SUCCESS;
}

EFI_STATUS
EFIAPI
TestGetImage (
  IN EFI_FIRMWARE_MANAGEMENT_PROTOCOL  *This,
  IN UINT8                             ImageIndex,
  OUT VOID                             *Image,
  IN OUT UINTN                         *ImageSize
  )
{
  return EFI_UNSUPPORTED;
}

EFI_STATUS
EFIAPI
TestSetImage (
  IN EFI_FIRMWARE_MANAGEMENT_PROTOCOL               *This,
  IN UINT8                                          ImageIndex,
  IN CONST VOID                                     *Image,
  IN UINTN                                          ImageSize,
  IN CONST VOID                                     *VendorCode,
  IN EFI_FIRMWARE_MANAGEMENT_UPDATE_IMAGE_PROGRESS  Progress,
  OUT CHAR16                                        **AbortReason
  )
{
  E2E_WRITE_RECORD  Record;
  BOOLEAN           Refuse;

  DebugPortPrint (
    "[testfmp] SetImage index %u, %u bytes, vendor code %a, progress callback %a\n",
    (UINT32)ImageIndex,
    (UINT32)ImageSize,
    (VendorCode != NULL) ? "present" : "absent",
    (Progress != NULL) ? "present" : "absent"
    );

  ZeroMem (&Record, sizeof (Record));
  Record.ImageIndex    = ImageIndex;
  Record.HasVendorCode = (UINT8)(VendorCode != NULL);
  Record.ImageSize     = (UINT32)ImageSize;

  if (StallRequested ()) {
    if (Progress != NULL) {
      Progress (10);
    }

    //
    // The power-cut point: the host kills QEMU once it reads this line.
    //
    DebugPortPrint ("[testfmp] stalling inside SetImage\n");
    for ( ; ; ) {
      gBS->Stall (1000000);
    }
  }

  for (UINTN Completion = 50; Completion <= 100 && Progress != NULL; Completion += 50) {
    EFI_STATUS  ProgressStatus = Progress (Completion);
    Record.ProgressCalls++;
    if (EFI_ERROR (ProgressStatus) && (Record.ProgressStatus == 0)) {
      Record.ProgressStatus = ProgressStatus;
    }
  }

  Refuse = (BOOLEAN)((VendorCode != NULL) && (CompareMem (VendorCode, E2E_VENDOR_CODE_FAIL, 4) == 0));
  Record.Result = Refuse ? EFI_DEVICE_ERROR : EFI_SUCCESS;
  KeepRecord (&Record, Image);

  if (Refuse) {
    if (AbortReason != NULL) {
      *AbortReason = PoolStringFromAscii (E2E_ABORT_REASON);
    }

    return EFI_DEVICE_ERROR;
  }

  return EFI_SUCCESS;
}

EFI_STATUS
EFIAPI
TestCheckImage (
  IN EFI_FIRMWARE_MANAGEMENT_PROTOCOL  *This,
  IN UINT8                             ImageIndex,
  IN CONST VOID                        *Image,
  IN UINTN                             ImageSize,
  OUT UINT32                           *ImageUpdatable
  )
{
  return EFI_UNSUPPORTED;
}

EFI_STATUS
EFIAPI
TestGetPackageInfo (
  IN EFI_FIRMWARE_MANAGEMENT_PROTOCOL  *This,
  OUT UINT32                           *PackageVersion,
  OUT CHAR16                           **PackageVersionName,
  OUT UINT32                           *PackageVersionNameMaxLen,
  OUT UINT64                           *AttributesSupported,
  OUT UINT64                           *AttributesSetting
  )
{
  return EFI_UNSUPPORTED;
}

EFI_STATUS
EFIAPI
TestSetPackageInfo (
  IN EFI_FIRMWARE_MANAGEMENT_PROTOCOL  *This,
  IN CONST VOID                        *Image,
  IN UINTN                             ImageSize,
  IN CONST VOID                        *VendorCode,
  IN UINT32                            PackageVersion,
  IN CONST CHAR16                      *PackageVersionName
  )
{
  return EFI_UNSUPPORTED;
}

EFI_FIRMWARE_MANAGEMENT_PROTOCOL  mFirmwareManagement = {
  TestGetImageInfo,
  TestGetImage,
  TestSetImage,
  TestCheckImage,
  TestGetPackageInfo,
  TestSetPackageInfo
};

}  // namespace

/**
  Installs the test device's FMP instance and device path on a new handle.

  @param[in] ImageHandle  The driver's image handle.
  @param[in] SystemTable  The UEFI system table.

  @return The status of the installation; the driver stays loaded on success.
**/
extern "C"
EFI_STATUS
EFIAPI
TestFmpEntryPoint (
  IN EFI_HANDLE        ImageHandle,
  IN EFI_SYSTEM_TABLE  *SystemTable
  )
{
  EFI_HANDLE  Handle = NULL;
  EFI_STATUS  Status;

  Status = gBS->InstallProtocolInterface (&Handle, &mDevicePathGuid, EFI_NATIVE_INTERFACE, &mDevicePath);
  if (!EFI_ERROR (Status)) {
    Status = gBS->InstallProtocolInterface (&Handle, &mFmpProtocolGuid, EFI_NATIVE_INTERFACE, &mFirmwareManagement);
  }

  DebugPortPrint ("[testfmp] started: FMP instance for image type %g on handle %p, status %lx\n", &mImageTypeGuid, Handle, (UINT64)Status);
  return Status;
}
