/** @file
  Builds capsule bytes for tests: plain capsules, wrapper capsules and FMP
  capsules with embedded drivers and payload items, laid out as the UEFI
  capsule formats define them. Every field can be overridden afterwards to
  make a malformed capsule.
**/
#ifndef CAPSULE_BUILDER_H_
#define CAPSULE_BUILDER_H_

extern "C" {
#include <Uefi.h>
#include <Guid/FmpCapsule.h>
}

#include <cstring>
#include <vector>

namespace Harness {

using Bytes = std::vector<UINT8>;

template<typename T>
void
Put (
  Bytes     &Target,
  size_t    Offset,
  const T   &Value
  )
{
  if (Target.size () < Offset + sizeof (T)) {
    Target.resize (Offset + sizeof (T));
  }

  std::memcpy (Target.data () + Offset, &Value, sizeof (T));
}

template<typename T>
T
Get (
  const Bytes  &Source,
  size_t       Offset
  )
{
  T  Value;

  std::memcpy (&Value, Source.data () + Offset, sizeof (T));
  return Value;
}

/// Size bytes counting up from First (wrapping), easy to tell apart.
Bytes Fill (size_t Size, UINT8 First);

/// A capsule of kind Guid whose body is Body; HeaderSize 28.
Bytes MakeCapsule (const EFI_GUID &Guid, const Bytes &Body, UINT32 Flags = 0);

/// One FMP payload item.
struct Payload {
  EFI_GUID    ImageTypeId;
  UINT8       ImageIndex       = 1;
  UINT32      Version          = 2;
  UINT64      HardwareInstance = 0;
  Bytes       Image;
  Bytes       VendorCode;
};

/// The body of an FMP capsule (from the FMP capsule header on), items laid
/// back to back right after the offset list.
Bytes MakeFmpBody (const std::vector<Bytes> &Drivers, const std::vector<Payload> &Payloads);

/// The bytes of one payload item: 40-byte image header, image, vendor code.
Bytes MakePayloadItem (const Payload &Item);

/// A whole FMP capsule.
Bytes MakeFmpCapsule (const std::vector<Bytes> &Drivers, const std::vector<Payload> &Payloads);

}  // namespace Harness

#endif
