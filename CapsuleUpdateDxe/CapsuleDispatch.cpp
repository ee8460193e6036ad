/** @file
  Capsule intake and dispatch: capsules from capsule HOBs and from the update
  backup file, and the routing of every capsule by its GUID (wrapper removal,
  FMP capsules, capsules handled by a platform protocol).
**/
#include "CapsuleUpdateDxe.h"

///
/// Capsule kinds that wrap another capsule; one level is removed.
///
STATIC CONST EFI_GUID  mWrapperCapsuleGuids[] = {
  { 0x0053e4ba, 0x9d91, 0x52aa, { 0xb9, 0x5b, 0x2b, 0x5c, 0x1c, 0xf7, 0x56, 0xf9 } },
  { 0x69585d92, 0xb50a, 0x4ad7, { 0xb2, 0x65, 0x2e, 0xb1, 0xae, 0x06, 0x65, 0x74 } },
  { 0x4e88068b, 0x41b2, 0x4e05, { 0x89, 0x3c, 0xdb, 0x0b, 0x43, 0xf7, 0xd3, 0x48 } },
  { 0x0eab05c1, 0x766a, 0x4805, { 0xa0, 0x39, 0x30, 0x81, 0xde, 0x02, 0x10, 0xc7 } },
  { 0xeed54281, 0x1c11, 0x4358, { 0xbf, 0x5a, 0xf6, 0x49, 0x95, 0xfb, 0xf1, 0x1b } },
};

BYTE_VIEW
CapsuleInMemory (
  IN CONST VOID  *Capsule
  )
{
  UINT32  CapsuleImageSize;

  CopyMem (
    &CapsuleImageSize,
    (CONST UINT8 *)Capsule + OFFSET_OF (EFI_CAPSULE_HEADER, CapsuleImageSize),
    sizeof (CapsuleImageSize)
    );
  return { (CONST UINT8 *)Capsule, CapsuleImageSize };
}

BOOLEAN
OpenCapsule (
  IN  BYTE_VIEW           Bytes,
  OUT EFI_CAPSULE_HEADER  *Header,
  OUT BYTE_VIEW           *Capsule
  )
{
  if (!Bytes.Read (0, Header)) {
    return FALSE;
  }

  if (Header->CapsuleImageSize < sizeof (EFI_CAPSULE_HEADER)) {
    return FALSE;
  }

  return Bytes.Sub (0, Header->CapsuleImageSize, Capsule);
}

/**
  Tells whether Guid names a wrapper capsule kind.
**/
STATIC
BOOLEAN
IsWrapperCapsule (
  IN CONST EFI_GUID  *Guid
  )
{
  for (UINTN Index = 0; Index < ARRAY_SIZE (mWrapperCapsuleGuids); Index++) {
    if (CompareGuid (Guid, &mWrapperCapsuleGuids[Index])) {
      return TRUE;
    }
  }

  return FALSE;
}

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
  BYTE_VIEW                 Bytes;
  BYTE_VIEW                 Inner;
  CAPSULE_HANDLER_PROTOCOL  *Handler;

  if (!OpenCapsule (CapsuleInMemory (Capsule), &Header, &Bytes)) {
    return;
  }

  if (IsWrapperCapsule (&Header.CapsuleGuid)) {
    //
    // The inner capsule starts HeaderSize bytes in and must end inside the
    // wrapper; its header is never compared with the wrapper table again.
    //
    if ((Header.HeaderSize < sizeof (EFI_CAPSULE_HEADER)) ||
        !Bytes.Sub (Header.HeaderSize, Bytes.Size - Header.HeaderSize, &Inner) ||
        !OpenCapsule (Inner, &Header, &Inner))
    {
      return;
    }

    Capsule = (EFI_CAPSULE_HEADER *)Inner.Data;
  }

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
}
