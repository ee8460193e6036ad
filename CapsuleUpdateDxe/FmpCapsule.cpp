/** @file
  Application of FMP capsules: the embedded drivers are started, each payload
  image is written through every matching Firmware Management Protocol
  instance, each payload's outcome is recorded, the instances the drivers
  added are removed again, and the platform is reset cold.
**/
#include "CapsuleUpdateDxe.h"

/**
  Calls GetImageInfo of Fmp and releases the package version name it may
  hand out.

  @param[in]     Fmp                The instance.
  @param[in,out] ImageInfoSize      The buffer's size; the size needed.
  @param[out]    ImageInfo          The buffer, or NULL to ask for the size.
  @param[out]    DescriptorVersion  The descriptors' version.

  @return The status of GetImageInfo.
**/
STATIC
EFI_STATUS
GetImageInfo (
  IN     EFI_FIRMWARE_MANAGEMENT_PROTOCOL  *Fmp,
  IN OUT UINTN                             *ImageInfoSize,
  OUT    VOID                              *ImageInfo,
  OUT    UINT32                            *DescriptorVersion
  )
{
  UINT8       DescriptorCount;
  UINTN       DescriptorSize;
  UINT32      PackageVersion;
  CHAR16      *PackageVersionName;
  EFI_STATUS  Status;

  PackageVersionName = NULL;
  Status             = Fmp->GetImageInfo (
                              Fmp,
                              ImageInfoSize,
                              (EFI_FIRMWARE_IMAGE_DESCRIPTOR *)ImageInfo,
                              DescriptorVersion,
                              &DescriptorCount,
                              &DescriptorSize,
                              &PackageVersion,
                              &PackageVersionName
                              );
  if (PackageVersionName != NULL) {
    FreePool (PackageVersionName);
  }

  return Status;
}

/**
  Finds the next FMP instance in mFmpHandles, from *Cursor on, whose first
  image descriptor has ImageTypeId and, when HardwareInstance is not 0, that
  hardware instance (which only descriptors of version 3 or more carry).

  @param[in,out] Cursor            Where to start; after a match, the
                                   position after it.
  @param[in]     ImageTypeId       The image type wanted.
  @param[in]     HardwareInstance  The hardware instance wanted, 0 for any.

  @return The instance's handle, or NULL when none is left or the pool is
          exhausted (the cursor then stays).
**/
EFI_HANDLE
FindNextMatchingFmp (
  IN OUT UINTN     *Cursor,
  IN EFI_GUID      *ImageTypeId,
  IN UINT64        HardwareInstance
  )
{
  for (UINTN Index = *Cursor; Index < mFmpHandleCount; Index++) {
    EFI_FIRMWARE_MANAGEMENT_PROTOCOL  *Fmp;
    UINTN                             ImageInfoSize;
    UINT32                            DescriptorVersion;
    EFI_GUID                          TypeId;
    UINT64                            Instance;
    BOOLEAN                           Match;

    if (EFI_ERROR (gBS->HandleProtocol (mFmpHandles[Index], &gEfiFirmwareManagementProtocolGuid, (VOID **)&Fmp))) {
      continue;
    }

    ImageInfoSize = 0;
    if (GetImageInfo (Fmp, &ImageInfoSize, NULL, &DescriptorVersion) != EFI_BUFFER_TOO_SMALL) {
      continue;
    }

    POOL_BUFFER<UINT8>  Info ((UINT8 *)AllocatePool (ImageInfoSize));
    if (Info.Get () == NULL) {
      return NULL;
    }

    if (EFI_ERROR (GetImageInfo (Fmp, &ImageInfoSize, Info.Get (), &DescriptorVersion))) {
      continue;
    }

    //
    // Only the first descriptor counts. The instance sized the buffer; a
    // descriptor that does not fit in it does not match.
    //
    BYTE_VIEW  Descriptor = { Info.Get (), ImageInfoSize };

    Match = (BOOLEAN)(Descriptor.Read (OFFSET_OF (EFI_FIRMWARE_IMAGE_DESCRIPTOR, ImageTypeId), &TypeId) &&
                      CompareGuid (&TypeId, ImageTypeId));
    if (Match && (HardwareInstance != 0)) {
      Match = (BOOLEAN)((DescriptorVersion >= 3) &&
                        Descriptor.Read (OFFSET_OF (EFI_FIRMWARE_IMAGE_DESCRIPTOR, HardwareInstance), &Instance) &&
                        (Instance == HardwareInstance));
    }

    if (Match) {
      *Cursor = Index + 1;
      return mFmpHandles[Index];
    }
  }

  return NULL;
}

VOID
UninstallAddedFmpInstances (
  VOID
  )
{
  for (UINTN Index = 0; Index < mFmpHandleCount; Index++) {
    BOOLEAN  PresentAtStart;
    VOID     *Interface;

    PresentAtStart = FALSE;
    for (UINTN Start = 0; Start < mFmpHandleCountAtStart; Start++) {
      if (mFmpHandlesAtStart[Start] == mFmpHandles[Index]) {
        PresentAtStart = TRUE;
      }
    }

    if (PresentAtStart) {
      continue;
    }

    if (!EFI_ERROR (gBS->HandleProtocol (mFmpHandles[Index], &gEfiFirmwareManagementProtocolGuid, &Interface))) {
      gBS->UninstallProtocolInterface (mFmpHandles[Index], &gEfiFirmwareManagementProtocolGuid, Interface);
    }
  }

  if (mFmpHandles != NULL) {
    gBS->FreePool (mFmpHandles);
    mFmpHandles = NULL;
  }

  mFmpHandleCount = 0;
}

/**
  Writes one image to one FMP instance from a pool copy of its payload item,
  with the progress display of the moment around the write.

  @param[in]  Handle  The FMP instance's handle.
  @param[in]  Item    The payload item inside the capsule.
  @param[out] Status  The status of HandleProtocol when it fails, else of
                      SetImage; EFI_OUT_OF_RESOURCES without a copy.

  @retval TRUE   The copy was allocated (the instance was tried).
  @retval FALSE  The pool had no room for the copy.
**/
STATIC
BOOLEAN
WriteImage (
  IN  EFI_HANDLE  Handle,
  IN  BYTE_VIEW   Item,
  OUT EFI_STATUS  *Status
  )
{
  EFI_FIRMWARE_MANAGEMENT_PROTOCOL              *Fmp;
  EFI_FIRMWARE_MANAGEMENT_CAPSULE_IMAGE_HEADER  Header;
  CONST UPDATE_PROGRESS_OPS                     *Ops;
  CHAR16                                        *AbortReason;
  CONST VOID                                    *VendorCode;

  POOL_BUFFER<UINT8>  Copy ((UINT8 *)AllocatePool ((UINTN)Item.Size));
  if (Copy.Get () == NULL) {
    *Status = EFI_OUT_OF_RESOURCES;
    return FALSE;
  }

  CopyMem (Copy.Get (), Item.Data, (UINTN)Item.Size);

  *Status = gBS->HandleProtocol (Handle, &gEfiFirmwareManagementProtocolGuid, (VOID **)&Fmp);
  if (EFI_ERROR (*Status)) {
    return TRUE;
  }

  Ops = EFI_ERROR (gBS->LocateProtocol (&gUpdateDisplayProtocolGuid, NULL, (VOID **)&mUpdateDisplay))
        ? &SilentProgressOps
        : &DisplayProgressOps;

  //
  // The sizes come from the copy, which the caller found to hold the image
  // and the vendor code.
  //
  ReadPayloadHeader ({ Copy.Get (), Item.Size }, &Header);
  VendorCode  = (Header.UpdateVendorCodeSize == 0) ? NULL : Copy.Get () + FMP_IMAGE_HEADER_SIZE + Header.UpdateImageSize;
  AbortReason = NULL;

  Ops->Start (WSTR ("Flash Update Progress"), NULL);
  *Status = Fmp->SetImage (
                  Fmp,
                  Header.UpdateImageIndex,
                  Copy.Get () + FMP_IMAGE_HEADER_SIZE,
                  Header.UpdateImageSize,
                  VendorCode,
                  Ops->Update,
                  &AbortReason
                  );
  Ops->End ();

  if (EFI_ERROR (*Status) && (AbortReason != NULL)) {
    Ops->Message (WSTR ("Firmware Update failed"), AbortReason);
    gBS->FreePool (AbortReason);
  }

  return TRUE;
}

/**
  Offers one payload item to every matching FMP instance and records the
  outcome.

  @param[in] Capsule          The capsule being applied.
  @param[in] Item             The payload item inside it.
  @param[in] PayloadIndex     The item's position among the payload items.
  @param[in] CapsuleFileName  The capsule file's name, or NULL.
**/
STATIC
VOID
ApplyPayloadItem (
  IN EFI_CAPSULE_HEADER  *Capsule,
  IN BYTE_VIEW           Item,
  IN UINT16              PayloadIndex,
  IN CHAR16              *CapsuleFileName
  )
{
  EFI_FIRMWARE_MANAGEMENT_CAPSULE_IMAGE_HEADER  Header;
  UINT64                                        HardwareInstance;
  EFI_HANDLE                                    Handle;
  EFI_STATUS                                    Status;
  UINTN                                         Cursor;

  if (!ReadPayloadHeader (Item, &Header)) {
    //
    // The image and vendor code the header announces reach past the item:
    // nothing of it is written, and the record says why.
    //
    Status = EFI_BAD_BUFFER_SIZE;
  } else {
    HardwareInstance = PayloadHardwareInstance (&Header);
    Status           = EFI_NOT_FOUND;
    Cursor           = 0;
    while ((Handle = FindNextMatchingFmp (&Cursor, &Header.UpdateImageTypeId, HardwareInstance)) != NULL) {
      if (!WriteImage (Handle, Item, &Status)) {
        break;
      }
    }
  }

  RecordCapsuleResult (
    Capsule,
    (EFI_FIRMWARE_MANAGEMENT_CAPSULE_IMAGE_HEADER *)(VOID *)Item.Data,
    PayloadIndex,
    Status,
    CapsuleFileName
    );
}

/**
  Applies an FMP capsule and resets the platform cold. Returns, without
  having started or written anything, only when the capsule fails its checks.

  @param[in] Capsule          The FMP capsule (after any wrapper removal);
                              CapsuleImageSize bytes from it are readable.
  @param[in] CapsuleFileName  The capsule file's name, or NULL.
**/
VOID
ApplyFmpCapsule (
  IN EFI_CAPSULE_HEADER  *Capsule,
  IN CHAR16              *CapsuleFileName
  )
{
  FMP_CAPSULE_LAYOUT  Layout;
  EFI_HANDLE          ImageHandle;
  BYTE_VIEW           Bytes;

  Bytes = CapsuleInMemory (Capsule);

  //
  // A capsule handed over in memory lives only for this boot: keep a copy
  // on the boot device until its update has run to its end.
  //
  if (mCapsuleFromHob) {
    if (mBackupBootDevice == NULL) {
      mBackupBootDevice = LocateBootDevice ();
    }

    if (mBackupBootDevice != NULL) {
      SaveUpdateBackup (Bytes.Data, (UINTN)Bytes.Size);
    }
  }

  if (CheckFmpCapsule (Bytes, &Layout, NULL) != FmpCapsuleValid) {
    return;
  }

  for (UINT32 Index = 0; Index < Layout.EmbeddedDriverCount; Index++) {
    BYTE_VIEW  Driver = FmpCapsuleItem (&Layout, Index);

    ImageHandle = NULL;
    if (!EFI_ERROR (gBS->LoadImage (FALSE, gImageHandle, NULL, (VOID *)Driver.Data, (UINTN)Driver.Size, &ImageHandle))) {
      gBS->StartImage (ImageHandle, NULL, NULL);
    }
  }

  if (EFI_ERROR (
        gBS->LocateHandleBuffer (ByProtocol, &gEfiFirmwareManagementProtocolGuid, NULL, &mFmpHandleCount, &mFmpHandles)
        ))
  {
    mFmpHandles     = NULL;
    mFmpHandleCount = 0;
  }

  for (UINT32 Index = 0; Index < Layout.PayloadItemCount; Index++) {
    ApplyPayloadItem (
      Capsule,
      FmpCapsuleItem (&Layout, Layout.EmbeddedDriverCount + Index),
      (UINT16)Index,
      CapsuleFileName
      );
  }

  UninstallAddedFmpInstances ();

  if (mBackupBootDevice == NULL) {
    mBackupBootDevice = LocateBootDevice ();
  }

  if (mBackupBootDevice != NULL) {
    DeleteUpdateBackup ();
  }

  //
  // The capsule file of this capsule, if it came from one, must not outlive
  // the update it carried: an operating system that sets the request again
  // later would otherwise have it applied a second time.
  //
  DeleteCapsuleFileInProcess ();

  gRT->ResetSystem (EfiResetCold, EFI_SUCCESS, 0, NULL);
}
