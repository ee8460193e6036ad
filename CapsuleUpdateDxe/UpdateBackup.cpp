/** @file
  The update backup file "CapUptBkTemp" in the root of the boot device: a
  memory capsule is copied there before its FMP update starts and removed
  right before the reset that ends the update, so that an update cut off by
  power loss is applied again at the next boot.
**/
#include "CapsuleUpdateDxe.h"

#define BACKUP_FILE_NAME   WSTR ("CapUptBkTemp")
#define BACKUP_CHUNK_SIZE  4096

/**
  Opens the backup file on mBackupBootDevice with Mode.

  @param[in]  Mode  The open mode.
  @param[out] Root  The volume's root directory.
  @param[out] File  The backup file.

  @return The failing status of the file system, the volume or Open;
          EFI_UNSUPPORTED when Open gives no handle.
**/
STATIC
EFI_STATUS
OpenBackupFile (
  IN  UINT64       Mode,
  OUT FILE_HANDLE  *Root,
  OUT FILE_HANDLE  *File
  )
{
  EFI_SIMPLE_FILE_SYSTEM_PROTOCOL  *FileSystem;
  EFI_STATUS                       Status;

  Status = gBS->HandleProtocol (mBackupBootDevice, &gEfiSimpleFileSystemProtocolGuid, (VOID **)&FileSystem);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  Status = FileSystem->OpenVolume (FileSystem, Root->Out ());
  if (EFI_ERROR (Status)) {
    return Status;
  }

  Status = Root->Get ()->Open (Root->Get (), File->Out (), BACKUP_FILE_NAME, Mode, 0);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  return (File->Get () == NULL) ? EFI_UNSUPPORTED : EFI_SUCCESS;
}

/**
  Deletes the backup file.

  @retval EFI_SUCCESS  Deleted, or there was none.
  @return The error of opening it, or EFI_WARN_DELETE_FAILURE.
**/
EFI_STATUS
DeleteUpdateBackup (
  VOID
  )
{
  FILE_HANDLE  Root;
  FILE_HANDLE  File;
  EFI_STATUS   Status;

  Status = OpenBackupFile (EFI_FILE_MODE_READ | EFI_FILE_MODE_WRITE, &Root, &File);
  if (Status == EFI_NOT_FOUND) {
    return EFI_SUCCESS;
  }

  return EFI_ERROR (Status) ? Status : File.Delete ();
}

/**
  Writes Size bytes from Capsule to the backup file in pieces of at most
  4096 bytes, straight from the caller's memory. A backup file left from an
  earlier capsule is removed first, so that a write cut off by power loss
  can never leave the new capsule's start in front of the old one's bytes.

  @param[in] Capsule  The capsule's first byte.
  @param[in] Size     The bytes to write.

  @return The status of the last step performed; EFI_DEVICE_ERROR when the
          file system accepts no bytes, or claims more than it was given.
**/
EFI_STATUS
SaveUpdateBackup (
  IN CONST VOID  *Capsule,
  IN UINTN       Size
  )
{
  FILE_HANDLE  Root;
  FILE_HANDLE  File;
  EFI_STATUS   Status;
  CONST UINT8  *Next;
  UINTN        Chunk;

  Status = DeleteUpdateBackup ();
  if (EFI_ERROR (Status)) {
    return Status;
  }

  Status = OpenBackupFile (EFI_FILE_MODE_CREATE | EFI_FILE_MODE_READ | EFI_FILE_MODE_WRITE, &Root, &File);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  Next = (CONST UINT8 *)Capsule;
  do {
    UINTN  Asked = (Size < BACKUP_CHUNK_SIZE) ? Size : BACKUP_CHUNK_SIZE;

    Chunk  = Asked;
    Status = File.Get ()->Write (File.Get (), &Chunk, (VOID *)Next);
    if (EFI_ERROR (Status)) {
      break;
    }

    if ((Chunk > Asked) || ((Chunk == 0) && (Size != 0))) {
      Status = EFI_DEVICE_ERROR;
      break;
    }

    Next += Chunk;
    Size -= Chunk;
  } while (Size != 0);

  return Status;
}

/**
  Reads the whole backup file into a new pool buffer that the caller owns.

  @param[out] Capsule  The buffer; NULL for an empty file.
  @param[out] Size     The bytes read.

  @retval EFI_SUCCESS           The file was read.
  @retval EFI_NOT_FOUND         There is no backup file.
  @retval EFI_OUT_OF_RESOURCES  A buffer could not be allocated.
  @return Another error of the file system; no buffer is handed over.
**/
EFI_STATUS
LoadUpdateBackup (
  OUT VOID   **Capsule,
  OUT UINTN  *Size
  )
{
  FILE_HANDLE  Root;
  FILE_HANDLE  File;
  EFI_STATUS   Status;
  UINTN        InfoSize;
  UINT64       FileSize;

  *Capsule = NULL;
  *Size    = 0;
  Status   = OpenBackupFile (EFI_FILE_MODE_READ, &Root, &File);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  InfoSize = 0;
  Status   = File.Get ()->GetInfo (File.Get (), &gEfiFileInfoGuid, &InfoSize, NULL);
  if (EFI_ERROR (Status) && (Status != EFI_BUFFER_TOO_SMALL)) {
    return Status;
  }

  POOL_BUFFER<UINT8>  Info ((UINT8 *)AllocatePool (InfoSize));
  if (Info.Get () == NULL) {
    return EFI_OUT_OF_RESOURCES;
  }

  Status = File.Get ()->GetInfo (File.Get (), &gEfiFileInfoGuid, &InfoSize, Info.Get ());
  if (EFI_ERROR (Status)) {
    return Status;
  }

  if (!BYTE_VIEW { Info.Get (), InfoSize }.Read (OFFSET_OF (EFI_FILE_INFO, FileSize), &FileSize)) {
    return EFI_VOLUME_CORRUPTED;
  }

  *Size = (UINT32)FileSize;
  if (*Size == 0) {
    return EFI_SUCCESS;
  }

  POOL_BUFFER<VOID>  Contents (AllocateZeroPool (*Size));
  if (Contents.Get () == NULL) {
    *Size = 0;
    return EFI_OUT_OF_RESOURCES;
  }

  Status = File.Get ()->Read (File.Get (), Size, Contents.Get ());
  if (EFI_ERROR (Status)) {
    *Size = 0;
    return Status;
  }

  *Capsule = Contents.Release ();
  return EFI_SUCCESS;
}
