/** @file
  The test disk as the harness sees it through OVMF: the partition it was
  booted from, whole-file reads, directory listings exactly as Read returns
  them, and the file system's answers to the operations the capsule update
  driver relies on.
**/
#include "E2eHarness.h"

HARNESS_DISK  mDisk;

namespace {

EFI_GUID  mLoadedImageGuid = EFI_LOADED_IMAGE_PROTOCOL_GUID;
EFI_GUID  mFileSystemGuid  = EFI_SIMPLE_FILE_SYSTEM_PROTOCOL_GUID;
EFI_GUID  mDevicePathGuid  = EFI_DEVICE_PATH_PROTOCOL_GUID;
EFI_GUID  mFileInfoGuid    = EFI_FILE_INFO_ID;

/**
  The file information of an open file, in pool memory the caller frees.
**/
EFI_FILE_INFO *
FileInfo (
  IN EFI_FILE_PROTOCOL  *File
  )
{
  UINTN          Size = 0;
  EFI_FILE_INFO  *Info;

  if (File->GetInfo (File, &mFileInfoGuid, &Size, NULL) != EFI_BUFFER_TOO_SMALL) {
    return NULL;
  }

  Info = (EFI_FILE_INFO *)AllocatePool (Size);
  if ((Info != NULL) && EFI_ERROR (File->GetInfo (File, &mFileInfoGuid, &Size, Info))) {
    FreePool (Info);
    Info = NULL;
  }

  return Info;
}

}  // namespace

UINTN
DevicePathSize (
  IN CONST EFI_DEVICE_PATH_PROTOCOL  *Path
  )
{
  CONST UINT8  *Node = (CONST UINT8 *)Path;

  for ( ; ; ) {
    CONST EFI_DEVICE_PATH_PROTOCOL  *Header = (CONST EFI_DEVICE_PATH_PROTOCOL *)Node;
    UINTN                           Length  = Header->Length[0] | (Header->Length[1] << 8);
    if ((Header->Type == END_DEVICE_PATH_TYPE) && (Header->SubType == END_ENTIRE_DEVICE_PATH_SUBTYPE)) {
      return (UINTN)(Node - (CONST UINT8 *)Path) + Length;
    }

    if (Length < sizeof (EFI_DEVICE_PATH_PROTOCOL)) {
      return 0;
    }

    Node += Length;
  }
}

EFI_STATUS
OpenHarnessDisk (
  IN EFI_HANDLE  ImageHandle
  )
{
  EFI_LOADED_IMAGE_PROTOCOL        *LoadedImage;
  EFI_SIMPLE_FILE_SYSTEM_PROTOCOL  *FileSystem;
  EFI_STATUS                       Status;

  Status = gBS->HandleProtocol (ImageHandle, &mLoadedImageGuid, (VOID **)&LoadedImage);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  mDisk.Device = LoadedImage->DeviceHandle;
  Status       = gBS->HandleProtocol (mDisk.Device, &mDevicePathGuid, (VOID **)&mDisk.DevicePath);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  Status = gBS->HandleProtocol (mDisk.Device, &mFileSystemGuid, (VOID **)&FileSystem);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  return FileSystem->OpenVolume (FileSystem, &mDisk.Root);
}

EFI_STATUS
ReadDiskFile (
  IN  CONST CHAR16  *Path,
  OUT VOID          **Data,
  OUT UINTN         *Size
  )
{
  EFI_FILE_PROTOCOL  *File;
  EFI_FILE_INFO      *Info;
  EFI_STATUS         Status;

  *Data  = NULL;
  *Size  = 0;
  Status = mDisk.Root->Open (mDisk.Root, &File, (CHAR16 *)Path, EFI_FILE_MODE_READ, 0);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  Info = FileInfo (File);
  if (Info == NULL) {
    File->Close (File);
    return EFI_DEVICE_ERROR;
  }

  *Size = (UINTN)Info->FileSize;
  FreePool (Info);
  *Data = AllocatePool (*Size + 1);
  if (*Data == NULL) {
    File->Close (File);
    return EFI_OUT_OF_RESOURCES;
  }

  Status = File->Read (File, Size, *Data);
  File->Close (File);
  if (EFI_ERROR (Status)) {
    FreePool (*Data);
    *Data = NULL;
  }

  return Status;
}

VOID
ListDirectory (
  IN CONST CHAR16  *Path
  )
{
  EFI_FILE_PROTOCOL  *Directory;
  EFI_STATUS         Status;

  Status = mDisk.Root->Open (mDisk.Root, &Directory, (CHAR16 *)Path, EFI_FILE_MODE_READ, 0);
  if (EFI_ERROR (Status)) {
    DebugPortPrint ("[dir] %s: open %a\n", Path, StatusText (Status));
    return;
  }

  for ( ; ; ) {
    UINTN  Size = 0;

    Status = Directory->Read (Directory, &Size, NULL);
    if (Status != EFI_BUFFER_TOO_SMALL) {
      //
      // The end of the directory reads as success with a size of 0.
      //
      DebugPortPrint ("[dir] %s: end, Read with no buffer gave %a, size %u\n", Path, StatusText (Status), (UINT32)Size);
      break;
    }

    EFI_FILE_INFO  *Info = (EFI_FILE_INFO *)AllocatePool (Size);
    if (Info == NULL) {
      break;
    }

    Status = Directory->Read (Directory, &Size, Info);
    if (!EFI_ERROR (Status) && (Size > 0)) {
      DebugPortPrint (
        "[dir] %s: entry \"%s\" attr %lx size %lu\n",
        Path,
        Info->FileName,
        Info->Attribute,
        Info->FileSize
        );
    }

    FreePool (Info);
    if (EFI_ERROR (Status) || (Size == 0)) {
      break;
    }
  }

  Directory->Close (Directory);
}

VOID
ProbeFileBehaviour (
  IN CONST CHAR16  *Directory
  )
{
  EFI_FILE_PROTOCOL  *Dir;
  EFI_FILE_PROTOCOL  *File;
  EFI_STATUS         Status;

  Status = mDisk.Root->Open (mDisk.Root, &Dir, (CHAR16 *)Directory, EFI_FILE_MODE_READ, 0);
  if (EFI_ERROR (Status)) {
    DebugPortPrint ("[probe] open %s: %a\n", Directory, StatusText (Status));
    return;
  }

  //
  // Read-write open of a read-only file, as capsule file intake opens every
  // candidate.
  //
  Status = Dir->Open (Dir, &File, WSTR ("PROBE.RO"), EFI_FILE_MODE_READ | EFI_FILE_MODE_WRITE, 0);
  DebugPortPrint ("[probe] read-write open of a read-only file: %a\n", StatusText (Status));
  if (!EFI_ERROR (Status)) {
    File->Close (File);
  }

  //
  // Delete of a read-only file opened for reading.
  //
  Status = Dir->Open (Dir, &File, WSTR ("PROBE.RO"), EFI_FILE_MODE_READ, 0);
  if (!EFI_ERROR (Status)) {
    Status = File->Delete (File);
    DebugPortPrint ("[probe] delete of a read-only file opened for reading: %a\n", StatusText (Status));
  } else {
    DebugPortPrint ("[probe] read open of a read-only file: %a\n", StatusText (Status));
  }

  //
  // Delete of a writable file opened for reading only.
  //
  Status = Dir->Open (Dir, &File, WSTR ("PROBE.RW"), EFI_FILE_MODE_READ, 0);
  if (!EFI_ERROR (Status)) {
    Status = File->Delete (File);
    DebugPortPrint ("[probe] delete of a writable file opened for reading: %a\n", StatusText (Status));
    Status = Dir->Open (Dir, &File, WSTR ("PROBE.RW"), EFI_FILE_MODE_READ, 0);
    DebugPortPrint ("[probe]   the file %a\n", EFI_ERROR (Status) ? "is gone" : "is still there");
    if (!EFI_ERROR (Status)) {
      File->Close (File);
    }
  }

  //
  // Read with a buffer too small for the next directory entry: the size the
  // entry needs comes back.
  //
  UINTN  Size = 1;
  UINT8  Small[1];
  Dir->SetPosition (Dir, 0);
  Status = Dir->Read (Dir, &Size, Small);
  DebugPortPrint ("[probe] directory Read with a 1-byte buffer: %a, size %u\n", StatusText (Status), (UINT32)Size);

  //
  // Open of a file that does not exist.
  //
  Status = Dir->Open (Dir, &File, WSTR ("ABSENT.BIN"), EFI_FILE_MODE_READ, 0);
  DebugPortPrint ("[probe] open of an absent file: %a\n", StatusText (Status));
  if (!EFI_ERROR (Status)) {
    File->Close (File);
  }

  Dir->Close (Dir);
}

EFI_DEVICE_PATH_PROTOCOL *
DiskFileDevicePath (
  IN CONST CHAR16  *Path
  )
{
  UINTN  PartitionSize = DevicePathSize (mDisk.DevicePath) - sizeof (EFI_DEVICE_PATH_PROTOCOL);
  UINTN  NameSize      = 0;

  while (Path[NameSize] != 0) {
    NameSize++;
  }

  NameSize = (NameSize + 1) * sizeof (CHAR16);
  UINTN  NodeSize = sizeof (EFI_DEVICE_PATH_PROTOCOL) + NameSize;
  UINT8  *Result  = (UINT8 *)AllocatePool (PartitionSize + NodeSize + sizeof (EFI_DEVICE_PATH_PROTOCOL));
  if (Result == NULL) {
    return NULL;
  }

  CopyMem (Result, mDisk.DevicePath, PartitionSize);
  EFI_DEVICE_PATH_PROTOCOL  *Node = (EFI_DEVICE_PATH_PROTOCOL *)(Result + PartitionSize);
  Node->Type      = MEDIA_DEVICE_PATH;
  Node->SubType   = MEDIA_FILEPATH_DP;
  Node->Length[0] = (UINT8)NodeSize;
  Node->Length[1] = (UINT8)(NodeSize >> 8);
  CopyMem (Result + PartitionSize + sizeof (EFI_DEVICE_PATH_PROTOCOL), Path, NameSize);

  EFI_DEVICE_PATH_PROTOCOL  *End = (EFI_DEVICE_PATH_PROTOCOL *)(Result + PartitionSize + NodeSize);
  End->Type      = END_DEVICE_PATH_TYPE;
  End->SubType   = END_ENTIRE_DEVICE_PATH_SUBTYPE;
  End->Length[0] = sizeof (EFI_DEVICE_PATH_PROTOCOL);
  End->Length[1] = 0;
  return (EFI_DEVICE_PATH_PROTOCOL *)Result;
}
