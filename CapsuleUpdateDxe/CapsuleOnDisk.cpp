/** @file
  Capsule files an operating system left in \EFI\UpdateCapsule on the boot
  device after setting the file-capsule bit of OsIndications: the request is
  taken up (and cleared) once, and each eligible file is size-tested, then
  deferred, or dispatched and deleted, in directory order.
**/
#include "CapsuleUpdateDxe.h"

#define CAPSULE_DIRECTORY  WSTR ("\\EFI\\UpdateCapsule")

///
/// Read-only, hidden, system, reserved or directory: never a candidate.
///
#define INELIGIBLE_ATTRIBUTES  0x1FULL

EFI_FILE_PROTOCOL  *mCapsuleFileInProcess = NULL;

/**
  Deletes the capsule file whose capsule is being dispatched, if any. The
  status of Delete is not examined: a failed delete leaves the file.
**/
VOID
DeleteCapsuleFileInProcess (
  VOID
  )
{
  EFI_FILE_PROTOCOL  *File = mCapsuleFileInProcess;

  if (File != NULL) {
    mCapsuleFileInProcess = NULL;
    File->Delete (File);
  }
}

/**
  Takes in one directory entry: skips what is not a plain file, deletes a
  file whose size does not match its capsule header, leaves a deferred
  file, and dispatches every other capsule before deleting its file.

  @param[in] Directory  The open update directory.
  @param[in] Entry      One entry of its listing.
**/
VOID
ProcessCapsuleFile (
  IN EFI_FILE_PROTOCOL  *Directory,
  IN EFI_FILE_INFO      *Entry
  )
{
  FILE_HANDLE  File;
  UINTN        ReadSize;
  UINT32       CapsuleImageSize;
  EFI_STATUS   Status;

  if ((Entry->Attribute & INELIGIBLE_ATTRIBUTES) != 0) {
    return;
  }

  if (EFI_ERROR (Directory->Open (Directory, File.Out (), Entry->FileName, EFI_FILE_MODE_READ | EFI_FILE_MODE_WRITE, 0))) {
    return;
  }

  POOL_BUFFER<UINT8>  Contents ((UINT8 *)AllocatePool ((UINTN)Entry->FileSize));
  if (Contents.Get () == NULL) {
    return;
  }

  ReadSize = (UINTN)Entry->FileSize;
  if (EFI_ERROR (File.Get ()->Read (File.Get (), &ReadSize, Contents.Get ())) || (ReadSize == 0)) {
    return;
  }

  //
  // A file shorter than a capsule header cannot match its header's size:
  // it is deleted like any other mismatch, without reading past it.
  //
  if (!BYTE_VIEW { Contents.Get (), ReadSize }.Read (OFFSET_OF (EFI_CAPSULE_HEADER, CapsuleImageSize), &CapsuleImageSize) ||
      (ReadSize != CapsuleImageSize))
  {
    File.Delete ();
    return;
  }

  Status = DeferCapsuleFile (Contents.Get (), ReadSize, Entry->FileName);
  if (Status != EFI_NOT_FOUND) {
    //
    // Deferred, or of a deferred kind that could not be remembered: either
    // way the file stays for the flash update component.
    //
    return;
  }

  mCapsuleFileInProcess = File.Release ();
  ProcessCapsule ((EFI_CAPSULE_HEADER *)(VOID *)Contents.Get (), Entry->FileName);
  DeleteCapsuleFileInProcess ();
}

/**
  Takes up the operating system's request for capsule files, if OsIndications
  carries it: clears the request, resolves the boot device and takes in
  every entry of \EFI\UpdateCapsule in order.
**/
VOID
ProcessCapsulesOnDisk (
  VOID
  )
{
  UINT64                           OsIndications;
  UINT32                           Attributes;
  UINTN                            Size;
  EFI_SIMPLE_FILE_SYSTEM_PROTOCOL  *FileSystem;
  FILE_HANDLE                      Root;
  FILE_HANDLE                      Directory;
  EFI_FILE_INFO                    **Entries;

  OsIndications = 0;
  Size          = sizeof (OsIndications);
  if (EFI_ERROR (gRT->GetVariable (WSTR ("OsIndications"), &gEfiGlobalVariableGuid, &Attributes, &Size, &OsIndications)) ||
      ((OsIndications & EFI_OS_INDICATIONS_FILE_CAPSULE_DELIVERY_SUPPORTED) == 0))
  {
    return;
  }

  OsIndications &= ~EFI_OS_INDICATIONS_FILE_CAPSULE_DELIVERY_SUPPORTED;
  if (EFI_ERROR (gRT->SetVariable (WSTR ("OsIndications"), &gEfiGlobalVariableGuid, Attributes, Size, &OsIndications))) {
    return;
  }

  mCapsuleOnDiskBootDevice = LocateBootDevice ();
  if ((mCapsuleOnDiskBootDevice == NULL) ||
      EFI_ERROR (gBS->HandleProtocol (mCapsuleOnDiskBootDevice, &gEfiSimpleFileSystemProtocolGuid, (VOID **)&FileSystem)) ||
      EFI_ERROR (FileSystem->OpenVolume (FileSystem, Root.Out ())) ||
      EFI_ERROR (Root.Get ()->Open (Root.Get (), Directory.Out (), CAPSULE_DIRECTORY, EFI_FILE_MODE_READ, 0)))
  {
    return;
  }

  Entries = ReadUpdateDirectory (Directory.Get ());
  if (Entries == NULL) {
    return;
  }

  POOL_BUFFER<EFI_FILE_INFO *>  List (Entries);
  for (UINTN Index = 0; Entries[Index] != NULL; Index++) {
    POOL_BUFFER<EFI_FILE_INFO>  Entry (Entries[Index]);

    ProcessCapsuleFile (Directory.Get (), Entry.Get ());
  }
}
