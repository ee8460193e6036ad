#include "CapsuleBuilder.h"

extern "C" {
#include <Guid/FmpCapsule.h>
}

namespace Harness {

Bytes
Fill (
  size_t  Size,
  UINT8   First
  )
{
  Bytes  Result (Size);

  for (size_t Index = 0; Index < Size; Index++) {
    Result[Index] = (UINT8)(First + Index);
  }

  return Result;
}

Bytes
MakeCapsule (
  const EFI_GUID  &Guid,
  const Bytes     &Body,
  UINT32          Flags
  )
{
  EFI_CAPSULE_HEADER  Header;

  Header.CapsuleGuid      = Guid;
  Header.HeaderSize       = sizeof (Header);
  Header.Flags            = Flags;
  Header.CapsuleImageSize = (UINT32)(sizeof (Header) + Body.size ());

  Bytes  Result ((UINT8 *)&Header, (UINT8 *)&Header + sizeof (Header));
  Result.insert (Result.end (), Body.begin (), Body.end ());
  return Result;
}

Bytes
MakePayloadItem (
  const Payload  &Item
  )
{
  Bytes  Result (40, 0);

  Put<UINT32>(Result, 0, Item.Version);
  Put<EFI_GUID>(Result, 4, Item.ImageTypeId);
  Put<UINT8>(Result, 20, Item.ImageIndex);
  Put<UINT32>(Result, 24, (UINT32)Item.Image.size ());
  Put<UINT32>(Result, 28, (UINT32)Item.VendorCode.size ());
  Put<UINT64>(Result, 32, Item.HardwareInstance);
  Result.insert (Result.end (), Item.Image.begin (), Item.Image.end ());
  Result.insert (Result.end (), Item.VendorCode.begin (), Item.VendorCode.end ());
  return Result;
}

Bytes
MakeFmpBody (
  const std::vector<Bytes>    &Drivers,
  const std::vector<Payload>  &Payloads
  )
{
  std::vector<Bytes>  Items (Drivers);

  for (auto &P : Payloads) {
    Items.push_back (MakePayloadItem (P));
  }

  Bytes  Body (8 + 8 * Items.size (), 0);
  Put<UINT32>(Body, 0, EFI_FIRMWARE_MANAGEMENT_CAPSULE_HEADER_INIT_VERSION);
  Put<UINT16>(Body, 4, (UINT16)Drivers.size ());
  Put<UINT16>(Body, 6, (UINT16)Payloads.size ());
  for (size_t Index = 0; Index < Items.size (); Index++) {
    Put<UINT64>(Body, 8 + 8 * Index, Body.size ());
    Body.insert (Body.end (), Items[Index].begin (), Items[Index].end ());
  }

  return Body;
}

Bytes
MakeFmpCapsule (
  const std::vector<Bytes>    &Drivers,
  const std::vector<Payload>  &Payloads
  )
{
  return MakeCapsule (gEfiFmpCapsuleGuid, MakeFmpBody (Drivers, Payloads));
}

}  // namespace Harness
