/** @file
  Capsule bytes for the scenarios, laid out as the UEFI capsule formats
  define them: a plain capsule (header and body), and an FMP capsule whose
  embedded drivers and payload items follow the item offset list back to
  back.
**/
#include "Runner.h"

#include <cstring>

namespace E2e {

namespace {

template<typename T>
void
Append (
  Bytes     &Target,
  const T   &Value
  )
{
  const uint8_t  *Raw = reinterpret_cast<const uint8_t *>(&Value);

  Target.insert (Target.end (), Raw, Raw + sizeof (T));
}

/// Capsule header plus padding up to HeaderSize.
Bytes
CapsuleHeader (
  const EFI_GUID  &Guid,
  uint32_t        HeaderSize,
  uint32_t        Flags,
  size_t          BodySize
  )
{
  EFI_CAPSULE_HEADER  Header;

  std::memset (&Header, 0, sizeof (Header));
  Header.CapsuleGuid      = Guid;
  Header.HeaderSize       = HeaderSize;
  Header.Flags            = Flags;
  Header.CapsuleImageSize = static_cast<uint32_t>(HeaderSize + BodySize);

  Bytes  Data;
  Append (Data, Header);
  Data.resize (HeaderSize, 0);
  return Data;
}

}  // namespace

Bytes
MakeCapsule (
  const EFI_GUID  &Guid,
  const Bytes     &Body
  )
{
  Bytes  Capsule = CapsuleHeader (Guid, sizeof (EFI_CAPSULE_HEADER), 0, Body.size ());

  Capsule.insert (Capsule.end (), Body.begin (), Body.end ());
  return Capsule;
}

Bytes
MakeFmpCapsule (
  const std::vector<Bytes>    &Drivers,
  const std::vector<Payload>  &Payloads
  )
{
  std::vector<Bytes>  Items = Drivers;

  for (const Payload &Each : Payloads) {
    //
    // Image header version 2: 40 bytes, the image right after it.
    //
    EFI_FIRMWARE_MANAGEMENT_CAPSULE_IMAGE_HEADER  Header;
    std::memset (&Header, 0, sizeof (Header));
    Header.Version                = 2;
    Header.UpdateImageTypeId      = Each.ImageTypeId;
    Header.UpdateImageIndex       = Each.ImageIndex;
    Header.UpdateImageSize        = static_cast<uint32_t>(Each.Image.size ());
    Header.UpdateVendorCodeSize   = static_cast<uint32_t>(Each.VendorCode.size ());
    Header.UpdateHardwareInstance = 0;

    Bytes  Item (reinterpret_cast<const uint8_t *>(&Header), reinterpret_cast<const uint8_t *>(&Header) + 40);
    Item.insert (Item.end (), Each.Image.begin (), Each.Image.end ());
    Item.insert (Item.end (), Each.VendorCode.begin (), Each.VendorCode.end ());
    Items.push_back (Item);
  }

  EFI_FIRMWARE_MANAGEMENT_CAPSULE_HEADER  Fmp;
  Fmp.Version             = EFI_FIRMWARE_MANAGEMENT_CAPSULE_HEADER_INIT_VERSION;
  Fmp.EmbeddedDriverCount = static_cast<uint16_t>(Drivers.size ());
  Fmp.PayloadItemCount    = static_cast<uint16_t>(Payloads.size ());

  Bytes     Body;
  uint64_t  Offset = sizeof (Fmp) + 8 * Items.size ();
  Append (Body, Fmp);
  for (const Bytes &Item : Items) {
    Append (Body, Offset);
    Offset += Item.size ();
  }

  for (const Bytes &Item : Items) {
    Body.insert (Body.end (), Item.begin (), Item.end ());
  }

  //
  // A header padded to 32 bytes, as capsule tools commonly write it: the
  // FMP capsule header starts HeaderSize bytes in, not right after the
  // 28-byte capsule header.
  //
  Bytes  Capsule = CapsuleHeader (gFmpCapsuleGuid, 32, 0, Body.size ());
  Capsule.insert (Capsule.end (), Body.begin (), Body.end ());
  return Capsule;
}

Bytes
PatternImage (
  size_t   Size,
  uint8_t  First
  )
{
  Bytes  Image (Size);

  for (size_t Index = 0; Index < Size; Index++) {
    Image[Index] = static_cast<uint8_t>(First + Index * 13 + (Index >> 8));
  }

  return Image;
}

}  // namespace E2e
