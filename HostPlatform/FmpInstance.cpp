#include "FmpInstance.h"

#include <cstring>

namespace Host {

namespace {

FmpInstance *
Self (
  EFI_FIRMWARE_MANAGEMENT_PROTOCOL  *This
  )
{
  return reinterpret_cast<FmpInstance *>(This);
}

EFI_STATUS EFIAPI
FakeGetImageInfo (
  EFI_FIRMWARE_MANAGEMENT_PROTOCOL  *This,
  UINTN                             *ImageInfoSize,
  EFI_FIRMWARE_IMAGE_DESCRIPTOR     *ImageInfo,
  UINT32                            *DescriptorVersion,
  UINT8                             *DescriptorCount,
  UINTN                             *DescriptorSize,
  UINT32                            *PackageVersion,
  CHAR16                            **PackageVersionName
  )
{
  FmpInstance  *Fmp  = Self (This);
  size_t       Bytes = Fmp->Descriptors.size () * sizeof (EFI_FIRMWARE_IMAGE_DESCRIPTOR);
  size_t       Need  = Fmp->ClaimedInfoSize != 0 ? Fmp->ClaimedInfoSize : Bytes;

  Platform::Current ().Log ("GetImageInfo");
  if (ImageInfoSize == nullptr) {
    return EFI_INVALID_PARAMETER;
  }

  if (*ImageInfoSize < Need) {
    *ImageInfoSize = Need;
    return Fmp->SizeQueryStatus;
  }

  if (EFI_ERROR (Fmp->InfoStatus)) {
    return Fmp->InfoStatus;
  }

  std::memcpy (ImageInfo, Fmp->Descriptors.data (), Bytes < Need ? Bytes : Need);
  *ImageInfoSize     = Need;
  *DescriptorVersion = Fmp->DescriptorVersion;
  *DescriptorCount   = (UINT8)Fmp->Descriptors.size ();
  *DescriptorSize    = sizeof (EFI_FIRMWARE_IMAGE_DESCRIPTOR);
  *PackageVersion    = 1;
  if (Fmp->GivesPackageVersionName) {
    *PackageVersionName = (CHAR16 *)Platform::Current ().PoolAllocate (4);
    (*PackageVersionName)[0] = 'V';
    (*PackageVersionName)[1] = 0;
  }

  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI
FakeSetImage (
  EFI_FIRMWARE_MANAGEMENT_PROTOCOL               *This,
  UINT8                                          ImageIndex,
  CONST VOID                                     *Image,
  UINTN                                          ImageSize,
  CONST VOID                                     *VendorCode,
  EFI_FIRMWARE_MANAGEMENT_UPDATE_IMAGE_PROGRESS  Progress,
  CHAR16                                         **AbortReason
  )
{
  FmpInstance         *Fmp = Self (This);
  FmpInstance::Write  W;
  Platform            &P = Platform::Current ();

  P.Log ("SetImage");
  W.ImageIndex    = ImageIndex;
  W.Image.assign ((const UINT8 *)Image, (const UINT8 *)Image + ImageSize);
  W.HasVendorCode = VendorCode != nullptr;
  if (VendorCode != nullptr) {
    W.VendorCode.assign ((const UINT8 *)VendorCode, (const UINT8 *)VendorCode + Fmp->VendorCodeSize);
  }

  //
  // The image must come from a pool copy: the pool tracks the copy's start,
  // which lies 40 bytes before the image.
  //
  W.ImageInPool = P.IsPoolBuffer ((const UINT8 *)Image - 40);
  W.Progress    = Progress;
  for (UINTN Completion : Fmp->ProgressToReport) {
    W.ProgressResults.push_back (Progress (Completion));
  }

  Fmp->Writes.push_back (W);
  if (Fmp->DuringSetImage) {
    Fmp->DuringSetImage ();
  }

  if (EFI_ERROR (Fmp->SetImageStatus) && (Fmp->AbortReason != nullptr) && (AbortReason != nullptr)) {
    size_t  Length = std::strlen (Fmp->AbortReason);
    auto    *Text  = (CHAR16 *)P.PoolAllocate ((Length + 1) * sizeof (CHAR16));
    for (size_t Index = 0; Index <= Length; Index++) {
      Text[Index] = (unsigned char)Fmp->AbortReason[Index];
    }

    *AbortReason = Text;
  }

  return Fmp->SetImageStatus;
}

}  // namespace

FmpInstance::FmpInstance (
  const EFI_GUID  &TypeId,
  UINT64          HardwareInstance
  )
{
  std::memset (&Protocol, 0, sizeof (Protocol));
  Protocol.GetImageInfo = FakeGetImageInfo;
  Protocol.SetImage     = FakeSetImage;

  EFI_FIRMWARE_IMAGE_DESCRIPTOR  Descriptor {};
  Descriptor.ImageIndex       = 1;
  Descriptor.ImageTypeId      = TypeId;
  Descriptor.HardwareInstance = HardwareInstance;
  Descriptors.push_back (Descriptor);
}

EFI_HANDLE
FmpInstance::Install (
  Platform    &Target,
  EFI_HANDLE  Handle
  )
{
  return Target.InstallProtocol (Handle, gEfiFirmwareManagementProtocolGuid, &Protocol);
}

}  // namespace Host
