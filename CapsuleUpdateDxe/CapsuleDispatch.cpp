/** @file
  Capsule intake and dispatch: capsules from capsule HOBs and from the update
  backup file, and the routing of every capsule by its GUID (wrapper removal,
  FMP capsules, capsules handled by a platform protocol).
**/
#include "CapsuleUpdateDxe.h"

/**
  Routes one capsule by its GUID. A wrapper capsule is unwrapped by one level
  first; the inner capsule must lie wholly inside the wrapper, or the capsule
  is dropped. An FMP capsule is applied (which ends in a reset when its
  checks pass); any other capsule goes to the protocol installed under its
  own GUID, or is dropped when there is none.

  @param[in] Capsule          The capsule header; CapsuleImageSize bytes of
                              memory from it on must be readable.
  @param[in] CapsuleFileName  The capsule file's name, or NULL; only passed on
                              to the result records.
**/
VOID
ProcessCapsule (
  IN EFI_CAPSULE_HEADER  *Capsule,
  IN CHAR16              *CapsuleFileName
  )
{
  EFI_CAPSULE_HEADER        Header;
  BYTE_VIEW                 Routed;
  CAPSULE_HANDLER_PROTOCOL  *Handler;

  if (!UnwrapCapsule (CapsuleInMemory (Capsule), &Header, &Routed)) {
    return;
  }

  Capsule = (EFI_CAPSULE_HEADER *)(VOID *)Routed.Data;

  if (CompareGuid (&Header.CapsuleGuid, &gEfiFmpCapsuleGuid)) {
    ApplyFmpCapsule (Capsule, CapsuleFileName);
    return;
  }

  if (EFI_ERROR (gBS->LocateProtocol (&Header.CapsuleGuid, NULL, (VOID **)&Handler))) {
    return;
  }

  Handler->HandleCapsule (Handler, Capsule, Header.CapsuleImageSize);
}

/**
  Dispatches the capsules of the capsule HOBs in list order, then the capsule
  of the update backup file when there is one.
**/
VOID
ProcessMemoryCapsules (
  VOID
  )
{
  EFI_PEI_HOB_POINTERS  Hob;
  VOID                  *Backup;
  UINTN                 BackupSize;
  EFI_CAPSULE_HEADER    Header;
  BYTE_VIEW             Capsule;

  Hob.Raw = (UINT8 *)GetHobList ();
  if (Hob.Raw == NULL) {
    return;
  }

  //
  // A HOB shorter than its generic header would never advance the walk.
  //
  while (Hob.Header->HobType != EFI_HOB_TYPE_END_OF_HOB_LIST &&
         Hob.Header->HobLength >= sizeof (EFI_HOB_GENERIC_HEADER))
  {
    if ((Hob.Header->HobType == EFI_HOB_TYPE_UEFI_CAPSULE) &&
        (Hob.Header->HobLength >= sizeof (EFI_HOB_UEFI_CAPSULE)))
    {
      mCapsuleFromHob = TRUE;
      ProcessCapsule ((EFI_CAPSULE_HEADER *)(UINTN)Hob.Capsule->BaseAddress, NULL);
    }

    Hob.Raw += Hob.Header->HobLength;
  }

  //
  // An update that did not run to its end left its capsule in the backup
  // file: apply it again.
  //
  if (mBackupBootDevice == NULL) {
    mBackupBootDevice = LocateBootDevice ();
    if (mBackupBootDevice == NULL) {
      return;
    }
  }

  if (EFI_ERROR (LoadUpdateBackup (&Backup, &BackupSize)) || (Backup == NULL)) {
    return;
  }

  POOL_BUFFER<VOID>  Buffer (Backup);

  //
  // A copy cut short by power loss while it was written holds less than
  // its header promises: it is not dispatched.
  //
  if (!OpenCapsule ({ (CONST UINT8 *)Backup, BackupSize }, &Header, &Capsule)) {
    return;
  }

  mCapsuleFromHob = FALSE;
  ProcessCapsule ((EFI_CAPSULE_HEADER *)Backup, NULL);
}
