/** @file
  Capsule HOBs in a running OVMF: the PEI phase has long ended, so the
  harness installs a copy of the firmware's HOB list, with capsule HOBs for
  capsules it read from the disk added before the end-of-list HOB, as the
  configuration table that GetHobList finds. The original list is put back
  once the update pass returns.
**/
#include "E2eHarness.h"

namespace {

EFI_GUID  mHobListGuid = HOB_LIST_GUID;

struct HOB_CAPSULE {
  VOID     *Capsule;
  UINT64   Length;
};

HOB_CAPSULE  mCapsules[HARNESS_MAX_HOB_CAPSULES];
UINTN        mCapsuleCount;
VOID         *mOriginalHobList;

VOID *
FirmwareHobList (
  VOID
  )
{
  for (UINTN Index = 0; Index < gST->NumberOfTableEntries; Index++) {
    if (CompareGuid (&gST->ConfigurationTable[Index].VendorGuid, &mHobListGuid)) {
      return gST->ConfigurationTable[Index].VendorTable;
    }
  }

  return NULL;
}

}  // namespace

EFI_STATUS
AddHobCapsule (
  IN CONST CHAR16  *Path
  )
{
  VOID        *Data;
  UINTN       Size;
  EFI_STATUS  Status;

  if (mCapsuleCount == HARNESS_MAX_HOB_CAPSULES) {
    return EFI_OUT_OF_RESOURCES;
  }

  Status = ReadDiskFile (Path, &Data, &Size);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  mCapsules[mCapsuleCount].Capsule = Data;
  mCapsules[mCapsuleCount].Length  = Size;
  mCapsuleCount++;
  DebugPortPrint ("[harness] capsule of %u bytes at %p\n", (UINT32)Size, Data);
  return EFI_SUCCESS;
}

EFI_STATUS
InstallHobListCopy (
  VOID
  )
{
  EFI_PEI_HOB_POINTERS  Hob;
  UINTN                 Used;

  if (mCapsuleCount == 0) {
    return EFI_SUCCESS;
  }

  mOriginalHobList = FirmwareHobList ();
  if (mOriginalHobList == NULL) {
    DebugPortPrint ("[harness] the firmware has no HOB list\n");
    return EFI_NOT_FOUND;
  }

  //
  // The HOBs before the end-of-list HOB are copied as they are.
  //
  Hob.Raw = (UINT8 *)mOriginalHobList;
  while (Hob.Header->HobType != EFI_HOB_TYPE_END_OF_HOB_LIST) {
    Hob.Raw += Hob.Header->HobLength;
  }

  Used = (UINTN)(Hob.Raw - (UINT8 *)mOriginalHobList);
  UINTN  Size = Used + mCapsuleCount * sizeof (EFI_HOB_UEFI_CAPSULE) + sizeof (EFI_HOB_GENERIC_HEADER);
  UINT8  *Copy = (UINT8 *)AllocateZeroPool (Size);
  if (Copy == NULL) {
    return EFI_OUT_OF_RESOURCES;
  }

  CopyMem (Copy, mOriginalHobList, Used);
  for (UINTN Index = 0; Index < mCapsuleCount; Index++) {
    EFI_HOB_UEFI_CAPSULE  *Capsule = (EFI_HOB_UEFI_CAPSULE *)(Copy + Used + Index * sizeof (EFI_HOB_UEFI_CAPSULE));
    Capsule->Header.HobType   = EFI_HOB_TYPE_UEFI_CAPSULE;
    Capsule->Header.HobLength = sizeof (EFI_HOB_UEFI_CAPSULE);
    Capsule->BaseAddress      = (EFI_PHYSICAL_ADDRESS)(UINTN)mCapsules[Index].Capsule;
    Capsule->Length           = mCapsules[Index].Length;
  }

  EFI_HOB_GENERIC_HEADER  *End = (EFI_HOB_GENERIC_HEADER *)(Copy + Size - sizeof (EFI_HOB_GENERIC_HEADER));
  End->HobType   = EFI_HOB_TYPE_END_OF_HOB_LIST;
  End->HobLength = sizeof (EFI_HOB_GENERIC_HEADER);

  Hob.Raw = Copy;
  if (Hob.Header->HobType == EFI_HOB_TYPE_HANDOFF) {
    Hob.HandoffInformationTable->EfiEndOfHobList = (EFI_PHYSICAL_ADDRESS)(UINTN)End;
  }

  EFI_STATUS  Status = gBS->InstallConfigurationTable (&mHobListGuid, Copy);
  DebugPortPrint (
    "[harness] HOB list copy with %u capsule HOB(s) installed: %a (firmware list %u bytes at %p, copy at %p)\n",
    (UINT32)mCapsuleCount,
    StatusText (Status),
    (UINT32)Used,
    mOriginalHobList,
    Copy
    );
  return Status;
}

VOID
RestoreHobList (
  VOID
  )
{
  if (mOriginalHobList != NULL) {
    gBS->InstallConfigurationTable (&mHobListGuid, mOriginalHobList);
    mOriginalHobList = NULL;
  }
}
