/** @file
  Capsule layouts and the checks a capsule must pass before any of it is
  used: the capsule header, wrapper removal, the deferred kinds, and the FMP
  capsule's items. Nothing here calls a firmware service, so host tools run
  exactly the checks the driver runs.

  The FMP part starts HeaderSize bytes into the capsule and runs to its end
  (S bytes): an 8-byte header, the offset list of the E driver and P payload
  items, then the items back to back. Item i has the size its offsets give
  (the next offset minus its own, the last one up to S) and is read from
  8 + 8N + ItemOffsetList[i] - ItemOffsetList[0] bytes into the FMP part.
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

///
/// Capsule kinds whose files are left for the platform's flash update
/// component instead of being applied here.
///
STATIC CONST EFI_GUID  mDeferredCapsuleGuids[] = {
  { 0x4a3ca68b, 0x7723, 0x48fb, { 0x80, 0x3d, 0x57, 0x8c, 0xc1, 0xfe, 0xc4, 0x4d } },
  { 0x0053e4ba, 0x9d91, 0x52aa, { 0xb9, 0x5b, 0x2b, 0x5c, 0x1c, 0xf7, 0x56, 0xf9 } },
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
  TRUE when Guid is one of the Count GUIDs of Table.
**/
STATIC
BOOLEAN
IsGuidInTable (
  IN CONST EFI_GUID  *Guid,
  IN CONST EFI_GUID  *Table,
  IN UINTN           Count
  )
{
  for (UINTN Index = 0; Index < Count; Index++) {
    if (CompareGuid (Guid, &Table[Index])) {
      return TRUE;
    }
  }

  return FALSE;
}

BOOLEAN
IsWrapperCapsule (
  IN CONST EFI_GUID  *Guid
  )
{
  return IsGuidInTable (Guid, mWrapperCapsuleGuids, ARRAY_SIZE (mWrapperCapsuleGuids));
}

BOOLEAN
IsDeferredCapsule (
  IN CONST EFI_GUID  *Guid
  )
{
  return IsGuidInTable (Guid, mDeferredCapsuleGuids, ARRAY_SIZE (mDeferredCapsuleGuids));
}

BOOLEAN
UnwrapCapsule (
  IN  BYTE_VIEW           Bytes,
  OUT EFI_CAPSULE_HEADER  *Header,
  OUT BYTE_VIEW           *Capsule
  )
{
  BYTE_VIEW  Inner;

  if (!OpenCapsule (Bytes, Header, Capsule)) {
    return FALSE;
  }

  if (!IsWrapperCapsule (&Header->CapsuleGuid)) {
    return TRUE;
  }

  //
  // The inner capsule starts HeaderSize bytes in and must end inside the
  // wrapper; its header is never compared with the wrapper table again.
  //
  return (BOOLEAN)((Header->HeaderSize >= sizeof (EFI_CAPSULE_HEADER)) &&
                   Capsule->Sub (Header->HeaderSize, Capsule->Size - Header->HeaderSize, &Inner) &&
                   OpenCapsule (Inner, Header, Capsule));
}


STATIC
UINT64
ItemOffset (
  IN CONST BYTE_VIEW  &Fmp,
  IN UINT32           Index
  )
{
  UINT64  Offset;

  //
  // Only called for indices inside an offset list already found to fit.
  //
  Offset = 0;
  Fmp.Read (sizeof (EFI_FIRMWARE_MANAGEMENT_CAPSULE_HEADER) + (UINT64)Index * sizeof (UINT64), &Offset);
  return Offset;
}

FMP_CAPSULE_CHECK
CheckFmpCapsule (
  IN  BYTE_VIEW           Capsule,
  OUT FMP_CAPSULE_LAYOUT  *Layout,
  OUT UINT32              *FailedItem OPTIONAL
  )
{
  EFI_CAPSULE_HEADER                      Header;
  EFI_FIRMWARE_MANAGEMENT_CAPSULE_HEADER  FmpHeader;
  UINT64                                  ItemCount;
  UINT64                                  ListEnd;

  if (!Capsule.Read (0, &Header) || (Header.HeaderSize < sizeof (EFI_CAPSULE_HEADER)) ||
      !Capsule.Sub (Header.HeaderSize, Capsule.Size - Header.HeaderSize, &Layout->Fmp))
  {
    return FmpCapsuleHeaderSizeInvalid;
  }

  if (!Layout->Fmp.Read (0, &FmpHeader)) {
    return FmpCapsuleHeaderTruncated;
  }

  Layout->EmbeddedDriverCount = FmpHeader.EmbeddedDriverCount;
  Layout->PayloadItemCount    = FmpHeader.PayloadItemCount;
  ItemCount                   = (UINT64)FmpHeader.EmbeddedDriverCount + FmpHeader.PayloadItemCount;
  if (ItemCount == 0) {
    return FmpCapsuleNoItems;
  }

  ListEnd = sizeof (FmpHeader) + ItemCount * sizeof (UINT64);
  if (!Layout->Fmp.Contains (0, ListEnd)) {
    return FmpCapsuleOffsetListTruncated;
  }

  //
  // The last offset lies below S and the offsets strictly ascend, so every
  // offset and every item size is below S and no sum below can wrap.
  //
  if (ItemOffset (Layout->Fmp, (UINT32)(ItemCount - 1)) >= Layout->Fmp.Size) {
    return FmpCapsuleLastOffsetNotBelowEnd;
  }

  for (UINT64 Index = ItemCount - 1; Index >= 1; Index--) {
    if (ItemOffset (Layout->Fmp, (UINT32)(Index - 1)) >= ItemOffset (Layout->Fmp, (UINT32)Index)) {
      return FmpCapsuleOffsetsNotAscending;
    }
  }

  //
  // The items together span S - ItemOffsetList[0] bytes from the end of the
  // list: they stay inside the capsule only if the first offset is not
  // smaller than the list's end.
  //
  if (ItemOffset (Layout->Fmp, 0) < ListEnd) {
    return FmpCapsuleItemsPastEnd;
  }

  for (UINT32 Index = Layout->EmbeddedDriverCount; Index < ItemCount; Index++) {
    if (FmpCapsuleItem (Layout, Index).Size < FMP_IMAGE_HEADER_SIZE) {
      if (FailedItem != NULL) {
        *FailedItem = Index;
      }

      return FmpCapsulePayloadTooShort;
    }
  }

  return FmpCapsuleValid;
}

BYTE_VIEW
FmpCapsuleItem (
  IN CONST FMP_CAPSULE_LAYOUT  *Layout,
  IN UINT32                    Index
  )
{
  UINT32     ItemCount;
  UINT64     First;
  UINT64     Offset;
  UINT64     Next;
  BYTE_VIEW  Item;

  ItemCount = (UINT32)Layout->EmbeddedDriverCount + Layout->PayloadItemCount;
  First     = ItemOffset (Layout->Fmp, 0);
  Offset    = ItemOffset (Layout->Fmp, Index);
  Next      = (Index + 1 < ItemCount) ? ItemOffset (Layout->Fmp, Index + 1) : Layout->Fmp.Size;

  Item = { NULL, 0 };
  Layout->Fmp.Sub (
                sizeof (EFI_FIRMWARE_MANAGEMENT_CAPSULE_HEADER) + (UINT64)ItemCount * sizeof (UINT64) + Offset - First,
                Next - Offset,
                &Item
                );
  return Item;
}

BOOLEAN
ReadPayloadHeader (
  IN  BYTE_VIEW                                     Item,
  OUT EFI_FIRMWARE_MANAGEMENT_CAPSULE_IMAGE_HEADER  *Header
  )
{
  ZeroMem (Header, sizeof (*Header));
  if (!Item.Contains (0, FMP_IMAGE_HEADER_SIZE)) {
    return FALSE;
  }

  CopyMem (Header, Item.Data, FMP_IMAGE_HEADER_SIZE);
  return Item.Contains (FMP_IMAGE_HEADER_SIZE, (UINT64)Header->UpdateImageSize + Header->UpdateVendorCodeSize);
}

UINT64
PayloadHardwareInstance (
  IN CONST EFI_FIRMWARE_MANAGEMENT_CAPSULE_IMAGE_HEADER  *Header
  )
{
  return (Header->Version >= 2) ? Header->UpdateHardwareInstance : 0;
}
