/** @file
  Deferred capsule files: capsule files of two kinds are not applied here.
  The last one taken in is remembered, and the end of the pass records where
  it lies in "FlashUpdateImageName" and resets the platform warm, so that the
  platform's flash update component applies it in the next boot.
**/
#include "CapsuleUpdateDxe.h"

#define DEFERRED_PATH_PREFIX     "EFI/UpdateCapsule/"
#define DEFERRED_PATH_MAX_CHARS  255

EFI_GUID  gFlashUpdateImageNameGuid = FLASH_UPDATE_IMAGE_NAME_GUID;

CHAR16  *mDeferredCapsuleName = NULL;
UINTN   mDeferredCapsuleSize  = 0;

/**
  Remembers a capsule file of a deferred kind: its name and size.

  @param[in] Capsule   The file's contents; only the capsule GUID is read.
  @param[in] Size      The bytes read from the file.
  @param[in] FileName  The file's name in the update directory.

  @retval EFI_SUCCESS           The file is deferred and remembered.
  @retval EFI_NOT_FOUND         The file is not of a deferred kind.
  @retval EFI_OUT_OF_RESOURCES  It is, but its name could not be kept.
**/
EFI_STATUS
DeferCapsuleFile (
  IN CONST VOID    *Capsule,
  IN UINTN         Size,
  IN CONST CHAR16  *FileName
  )
{
  EFI_GUID  CapsuleGuid;
  UINTN     NameSize;
  CHAR16    *Name;

  CopyGuid (&CapsuleGuid, (CONST EFI_GUID *)Capsule);
  if (!IsDeferredCapsule (&CapsuleGuid)) {
    return EFI_NOT_FOUND;
  }

  NameSize = (StrLen (FileName) + 1) * sizeof (CHAR16);
  Name     = (CHAR16 *)AllocatePool (NameSize);
  if (Name == NULL) {
    return EFI_OUT_OF_RESOURCES;
  }

  CopyMem (Name, FileName, NameSize);
  if (mDeferredCapsuleName != NULL) {
    FreePool (mDeferredCapsuleName);
  }

  mDeferredCapsuleName = Name;
  mDeferredCapsuleSize = Size;
  return EFI_SUCCESS;
}

/**
  Writes "EFI/UpdateCapsule/" and the deferred file's name into Buffer.

  @param[out] Buffer  Room for 256 CHAR16.

  @retval EFI_SUCCESS           The path and its NUL are in Buffer.
  @retval EFI_BUFFER_TOO_SMALL  The path would exceed 255 characters;
                                Buffer is untouched.
**/
EFI_STATUS
BuildDeferredCapsulePath (
  OUT CHAR16  *Buffer
  )
{
  CONST CHAR8  *Prefix = DEFERRED_PATH_PREFIX;
  UINTN        PrefixLength;
  UINTN        NameLength;

  PrefixLength = sizeof (DEFERRED_PATH_PREFIX) - 1;
  NameLength   = StrLen (mDeferredCapsuleName);
  if (PrefixLength + NameLength > DEFERRED_PATH_MAX_CHARS) {
    return EFI_BUFFER_TOO_SMALL;
  }

  for (UINTN Index = 0; Index < PrefixLength; Index++) {
    Buffer[Index] = (CHAR16)Prefix[Index];
  }

  CopyMem (Buffer + PrefixLength, mDeferredCapsuleName, (NameLength + 1) * sizeof (CHAR16));
  return EFI_SUCCESS;
}

/**
  Records the deferred capsule file, if there is one, and resets the
  platform warm. Without a hard-drive node on the boot device, with a path
  too long, or when the variable cannot be written, nothing is reset.
**/
VOID
RequestDeferredFlashUpdate (
  VOID
  )
{
  EFI_DEVICE_PATH_PROTOCOL   *Node;
  FLASH_UPDATE_IMAGE_RECORD  Record;
  UINT16                     Length;

  if (mDeferredCapsuleName == NULL) {
    return;
  }

  if (gBS->HandleProtocol (mCapsuleOnDiskBootDevice, &gEfiDevicePathProtocolGuid, (VOID **)&Node) != EFI_SUCCESS) {
    return;
  }

  for ( ; ; Node = (EFI_DEVICE_PATH_PROTOCOL *)((UINT8 *)Node + Length)) {
    Length = (UINT16)(Node->Length[0] | (Node->Length[1] << 8));
    if ((Node->Type == END_DEVICE_PATH_TYPE) || (Length < sizeof (EFI_DEVICE_PATH_PROTOCOL))) {
      return;
    }

    if ((Node->Type == MEDIA_DEVICE_PATH) && (Node->SubType == MEDIA_HARDDRIVE_DP)) {
      break;
    }
  }

  //
  // A hard-drive node is 42 bytes; a shorter one cannot be copied whole.
  //
  if (Length != sizeof (Record.HardDriveNode)) {
    return;
  }

  ZeroMem (&Record, sizeof (Record));
  CopyMem (Record.HardDriveNode, Node, sizeof (Record.HardDriveNode));
  if (EFI_ERROR (BuildDeferredCapsulePath (Record.FilePath))) {
    return;
  }

  Record.FileSize = (UINT32)mDeferredCapsuleSize;
  if (gRT->SetVariable (
             WSTR ("FlashUpdateImageName"),
             &gFlashUpdateImageNameGuid,
             EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS,
             sizeof (Record),
             &Record
             ) == EFI_SUCCESS)
  {
    gRT->ResetSystem (EfiResetWarm, EFI_SUCCESS, 0, NULL);
  }
}
