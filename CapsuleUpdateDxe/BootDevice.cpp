/** @file
  Boot device resolution: the file system of the boot option the firmware
  will start next (BootNext, else the first BootOrder entry). Every read of
  the boot variables and of the option's device path stays inside the data
  the variable service returned; anything malformed resolves to no device.
**/
#include "CapsuleUpdateDxe.h"

///
/// "Boot" and four hexadecimal digits, then a NUL.
///
#define BOOT_OPTION_NAME_CHARS  9

/**
  Finds the device path in a load option: after the 6-byte fixed part and
  the NUL-terminated Description. The path must be well formed inside the
  option: every node at least 4 bytes and inside the data, ended by an
  end-of-path node.

  @param[in]  Option  The load option's data.
  @param[out] Path    The device path, from its first node to the option's
                      end.

  @retval TRUE   The option holds a well-formed device path.
  @retval FALSE  It does not.
**/
STATIC
BOOLEAN
LoadOptionDevicePath (
  IN  BYTE_VIEW  Option,
  OUT BYTE_VIEW  *Path
  )
{
  UINT64  Offset;
  CHAR16  Char;

  Offset = sizeof (EFI_LOAD_OPTION);
  do {
    if (!Option.Read (Offset, &Char)) {
      return FALSE;
    }

    Offset += sizeof (CHAR16);
  } while (Char != 0);

  if (!Option.Sub (Offset, Option.Size - Offset, Path)) {
    return FALSE;
  }

  return DevicePathFits (*Path);
}

BOOLEAN
DevicePathFits (
  IN BYTE_VIEW  Path
  )
{
  EFI_DEVICE_PATH_PROTOCOL  Node;
  UINT64                    Offset;
  UINT16                    Length;

  for (Offset = 0; Path.Read (Offset, &Node); Offset += Length) {
    Length = (UINT16)(Node.Length[0] | (Node.Length[1] << 8));
    if ((Length < sizeof (Node)) || !Path.Contains (Offset, Length)) {
      return FALSE;
    }

    if ((Node.Type == END_DEVICE_PATH_TYPE) && (Node.SubType == END_ENTIRE_DEVICE_PATH_SUBTYPE)) {
      return TRUE;
    }
  }

  return FALSE;
}

/**
  The last node before the end of a device path that a handle carries.
  Paths from the platform are trusted to end, but a node shorter than its
  header stops the walk.

  @return The last node, or NULL for a path that holds only its end node.
**/
STATIC
CONST EFI_DEVICE_PATH_PROTOCOL *
LastDevicePathNode (
  IN CONST EFI_DEVICE_PATH_PROTOCOL  *Path
  )
{
  CONST EFI_DEVICE_PATH_PROTOCOL  *Last;
  UINT16                          Length;

  Last = NULL;
  while (!((Path->Type == END_DEVICE_PATH_TYPE) && (Path->SubType == END_ENTIRE_DEVICE_PATH_SUBTYPE))) {
    Length = (UINT16)(Path->Length[0] | (Path->Length[1] << 8));
    if (Length < sizeof (EFI_DEVICE_PATH_PROTOCOL)) {
      return NULL;
    }

    Last = Path;
    Path = (CONST EFI_DEVICE_PATH_PROTOCOL *)((CONST UINT8 *)Path + Length);
  }

  return Last;
}

/**
  Finds the first file system, in handle order among the handles with Block
  I/O, whose device path ends in a node equal, byte for byte and in length,
  to HardDriveNode.

  @param[in] HardDriveNode  A hard-drive media node, whole inside its data.

  @return The file system's handle, or NULL.
**/
EFI_HANDLE
FindHardDriveFileSystem (
  IN EFI_DEVICE_PATH_PROTOCOL  *HardDriveNode
  )
{
  EFI_HANDLE                *Handles;
  UINTN                     HandleCount;
  EFI_HANDLE                Found;
  VOID                      *FileSystem;
  EFI_DEVICE_PATH_PROTOCOL  *DevicePath;
  UINT16                    Length;

  if (EFI_ERROR (gBS->LocateHandleBuffer (ByProtocol, &gEfiBlockIoProtocolGuid, NULL, &HandleCount, &Handles))) {
    return NULL;
  }

  Found  = NULL;
  Length = (UINT16)(HardDriveNode->Length[0] | (HardDriveNode->Length[1] << 8));
  for (UINTN Index = 0; Index < HandleCount && Found == NULL; Index++) {
    if (EFI_ERROR (gBS->HandleProtocol (Handles[Index], &gEfiSimpleFileSystemProtocolGuid, &FileSystem)) ||
        EFI_ERROR (gBS->HandleProtocol (Handles[Index], &gEfiDevicePathProtocolGuid, (VOID **)&DevicePath)))
    {
      continue;
    }

    CONST EFI_DEVICE_PATH_PROTOCOL  *Last = LastDevicePathNode (DevicePath);
    if ((Last != NULL) && (Last->Length[0] == HardDriveNode->Length[0]) && (Last->Length[1] == HardDriveNode->Length[1]) &&
        (CompareMem (Last, HardDriveNode, Length) == 0))
    {
      Found = Handles[Index];
    }
  }

  gBS->FreePool (Handles);
  return Found;
}

/**
  Resolves the boot device: the option named by BootNext, or by the first
  BootOrder entry when there is no BootNext. No other option is tried.

  @return The handle carrying the boot device's file system, or NULL.
**/
EFI_HANDLE
LocateBootDevice (
  VOID
  )
{
  VOID                      *Data;
  UINTN                     Size;
  UINT16                    OptionNumber;
  CHAR16                    OptionName[BOOT_OPTION_NAME_CHARS];
  BYTE_VIEW                 Path;
  EFI_DEVICE_PATH_PROTOCOL  Node;
  EFI_DEVICE_PATH_PROTOCOL  *Remaining;
  EFI_HANDLE                Handle;

  if (EFI_ERROR (GetEfiGlobalVariable2 (WSTR ("BootNext"), &Data, &Size)) &&
      EFI_ERROR (GetEfiGlobalVariable2 (WSTR ("BootOrder"), &Data, &Size)))
  {
    return NULL;
  }

  POOL_BUFFER<VOID>  Number (Data);
  if (!BYTE_VIEW { (CONST UINT8 *)Number.Get (), Size }.Read (0, &OptionNumber)) {
    return NULL;
  }

  Number.Reset ();

  UnicodeSPrintAsciiFormat (OptionName, sizeof (OptionName), "Boot%4X", OptionNumber);
  if (EFI_ERROR (GetEfiGlobalVariable2 (OptionName, &Data, &Size))) {
    return NULL;
  }

  POOL_BUFFER<VOID>  Option (Data);
  if (!LoadOptionDevicePath ({ (CONST UINT8 *)Option.Get (), Size }, &Path)) {
    return NULL;
  }

  Path.Read (0, &Node);
  Handle = NULL;
  if ((Node.Type == MEDIA_DEVICE_PATH) && (Node.SubType == MEDIA_HARDDRIVE_DP)) {
    Handle = FindHardDriveFileSystem ((EFI_DEVICE_PATH_PROTOCOL *)(VOID *)Path.Data);
  } else {
    Remaining = (EFI_DEVICE_PATH_PROTOCOL *)(VOID *)Path.Data;
    if (EFI_ERROR (gBS->LocateDevicePath (&gEfiSimpleFileSystemProtocolGuid, &Remaining, &Handle))) {
      Handle = NULL;
    }
  }

  return Handle;
}
