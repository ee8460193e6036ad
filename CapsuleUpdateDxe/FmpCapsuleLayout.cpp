/** @file
  Layout and checks of an FMP capsule. Nothing here calls a firmware
  service, so the capsule tool runs exactly the checks the driver runs.

  The FMP part starts HeaderSize bytes into the capsule and runs to its end
  (S bytes): an 8-byte header, the offset list of the E driver and P payload
  items, then the items back to back. Item i has the size its offsets give
  (the next offset minus its own, the last one up to S) and is read from
  8 + 8N + ItemOffsetList[i] - ItemOffsetList[0] bytes into the FMP part.
**/
#include "CapsuleUpdateDxe.h"

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
