/** @file
  The harness's boot partition as a boot option: prints its device path,
  writes a Boot#### option that leads back to the harness on this partition
  (in the short form that starts with the hard-drive node, or as the full
  path), and points BootNext at it so that the driver finds this disk as the
  boot device and the firmware boots the harness again after a reset.
**/
#include "E2eHarness.h"

namespace {

EFI_GUID  mGlobalGuid       = EFI_GLOBAL_VARIABLE;
EFI_GUID  mToTextGuid       = EFI_DEVICE_PATH_TO_TEXT_PROTOCOL_GUID;
EFI_GUID  mFileSystemGuid   = EFI_SIMPLE_FILE_SYSTEM_PROTOCOL_GUID;
CONST CHAR16  *mBootFile    = WSTR ("\\EFI\\BOOT\\BOOTX64.EFI");
CONST CHAR16  *mDescription = WSTR ("E2E test disk");

#define VARIABLE_ATTRIBUTES \
  (EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS)

UINTN
NodeLength (
  CONST EFI_DEVICE_PATH_PROTOCOL  *Node
  )
{
  return Node->Length[0] | (Node->Length[1] << 8);
}

/**
  The partition's hard-drive node, or NULL.
**/
CONST EFI_DEVICE_PATH_PROTOCOL *
HardDriveNode (
  VOID
  )
{
  CONST UINT8  *Walk = (CONST UINT8 *)mDisk.DevicePath;

  for ( ; ; ) {
    CONST EFI_DEVICE_PATH_PROTOCOL  *Node = (CONST EFI_DEVICE_PATH_PROTOCOL *)Walk;
    if ((Node->Type == END_DEVICE_PATH_TYPE) || (NodeLength (Node) < sizeof (*Node))) {
      return NULL;
    }

    if ((Node->Type == MEDIA_DEVICE_PATH) && (Node->SubType == MEDIA_HARDDRIVE_DP)) {
      return Node;
    }

    Walk += NodeLength (Node);
  }
}

VOID
PrintPath (
  CONST CHAR8                     *Label,
  CONST EFI_DEVICE_PATH_PROTOCOL  *Path
  )
{
  EFI_DEVICE_PATH_TO_TEXT_PROTOCOL  *ToText;

  if (EFI_ERROR (gBS->LocateProtocol (&mToTextGuid, NULL, (VOID **)&ToText))) {
    DebugPortPrint ("[partition] %a (no device-path-to-text protocol)\n", Label);
    return;
  }

  CHAR16  *Text = ToText->ConvertDevicePathToText (Path, FALSE, FALSE);
  DebugPortPrint ("[partition] %a %s\n", Label, Text);
  if (Text != NULL) {
    gBS->FreePool (Text);
  }
}

/**
  The short-form path: the hard-drive node, the boot file, the end node.
**/
EFI_DEVICE_PATH_PROTOCOL *
ShortFormBootPath (
  VOID
  )
{
  CONST EFI_DEVICE_PATH_PROTOCOL  *HardDrive = HardDriveNode ();
  EFI_DEVICE_PATH_PROTOCOL        *Full      = DiskFileDevicePath (mBootFile);

  if ((HardDrive == NULL) || (Full == NULL)) {
    if (Full != NULL) {
      FreePool (Full);
    }

    return NULL;
  }

  //
  // The full path ends in hard-drive node, file node, end node: keep those.
  //
  UINTN  Prefix = (UINTN)((CONST UINT8 *)HardDrive - (CONST UINT8 *)mDisk.DevicePath);
  UINTN  Size   = DevicePathSize (Full) - Prefix;
  UINT8  *Short = (UINT8 *)AllocatePool (Size);
  if (Short != NULL) {
    CopyMem (Short, (UINT8 *)Full + Prefix, Size);
  }

  FreePool (Full);
  return (EFI_DEVICE_PATH_PROTOCOL *)Short;
}

}  // namespace

VOID
PrintPartition (
  VOID
  )
{
  CONST EFI_DEVICE_PATH_PROTOCOL  *HardDrive = HardDriveNode ();

  PrintPath ("path", mDisk.DevicePath);
  if (HardDrive != NULL) {
    DebugPortPrint ("[partition] hd-node ");
    DebugPortHex (HardDrive, NodeLength (HardDrive));
    DebugPortPrint ("\n");
  }
}

EFI_STATUS
WriteBootOption (
  IN BOOLEAN  ShortForm,
  IN UINT16   OptionNumber
  )
{
  EFI_DEVICE_PATH_PROTOCOL  *Path;
  EFI_STATUS                Status;
  CHAR16                    Name[9];

  Path = ShortForm ? ShortFormBootPath () : DiskFileDevicePath (mBootFile);
  if (Path == NULL) {
    return EFI_NOT_FOUND;
  }

  UINTN  PathSize        = DevicePathSize (Path);
  UINTN  DescriptionSize = (StrLen (mDescription) + 1) * sizeof (CHAR16);
  UINTN  Size            = sizeof (EFI_LOAD_OPTION) + DescriptionSize + PathSize;
  UINT8  *Option         = (UINT8 *)AllocateZeroPool (Size);
  if (Option == NULL) {
    FreePool (Path);
    return EFI_OUT_OF_RESOURCES;
  }

  EFI_LOAD_OPTION  Fixed = { LOAD_OPTION_ACTIVE, (UINT16)PathSize };
  CopyMem (Option, &Fixed, sizeof (Fixed));
  CopyMem (Option + sizeof (Fixed), mDescription, DescriptionSize);
  CopyMem (Option + sizeof (Fixed) + DescriptionSize, Path, PathSize);

  UnicodeSPrintAsciiFormat (Name, sizeof (Name), "Boot%04X", (UINT32)OptionNumber);
  PrintPath (ShortForm ? "boot option (short form)" : "boot option (full path)", Path);
  FreePool (Path);

  Status = gRT->SetVariable (Name, &mGlobalGuid, VARIABLE_ATTRIBUTES, Size, Option);
  FreePool (Option);
  DebugPortPrint ("[harness] %s written: %a\n", Name, StatusText (Status));
  if (EFI_ERROR (Status)) {
    return Status;
  }

  return gRT->SetVariable (WSTR ("BootNext"), &mGlobalGuid, VARIABLE_ATTRIBUTES, sizeof (OptionNumber), &OptionNumber);
}

VOID
ProbeLocateDevicePath (
  VOID
  )
{
  EFI_DEVICE_PATH_PROTOCOL  *Paths[2];
  CONST CHAR8               *Labels[2] = { "full path with a file node", "short form (hard-drive node first)" };

  Paths[0] = DiskFileDevicePath (mBootFile);
  Paths[1] = ShortFormBootPath ();
  for (UINTN Index = 0; Index < 2; Index++) {
    EFI_DEVICE_PATH_PROTOCOL  *Remaining = Paths[Index];
    EFI_HANDLE                Handle     = NULL;
    EFI_STATUS                Status;

    if (Remaining == NULL) {
      continue;
    }

    Status = gBS->LocateDevicePath (&mFileSystemGuid, &Remaining, &Handle);
    DebugPortPrint (
      "[probe] LocateDevicePath(file system, %a): %a, %a\n",
      Labels[Index],
      StatusText (Status),
      EFI_ERROR (Status) ? "no handle" : ((Handle == mDisk.Device) ? "the boot partition" : "another handle")
      );
    if (!EFI_ERROR (Status)) {
      DebugPortPrint ("[probe]   remaining path starts with node type %x subtype %x\n", (UINT32)Remaining->Type, (UINT32)Remaining->SubType);
    }

    FreePool (Paths[Index]);
  }
}
