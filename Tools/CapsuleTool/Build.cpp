// build: an FMP capsule from embedded drivers and payload images, or a plain
// capsule of any GUID around a body, optionally wrapped once; from options
// or from a JSON description.
#include <nlohmann/json.hpp>

#include "CapsuleTool.h"

#include <ostream>

namespace CapsuleTool {

namespace {

const char  BuildHelp[] =
  "usage: CapsuleTool build -o OUT [--driver FILE]... [--payload ITEM]... [--wrap GUID] [--flags N]\n"
  "       CapsuleTool build -o OUT --guid GUID --body FILE [--wrap GUID] [--flags N]\n"
  "       CapsuleTool build -o OUT --from DESCRIPTION.json\n"
  "\n"
  "Builds a capsule file.\n"
  "\n"
  "  -o, --output FILE   where to write the capsule (written whole or not at all)\n"
  "  --driver FILE       an embedded driver image; repeat for more, kept in order\n"
  "  --payload ITEM      a payload item; repeat for more, kept in order. ITEM is\n"
  "                      comma-separated key=value pairs:\n"
  "                        image=FILE     the image (required)\n"
  "                        type=GUID      UpdateImageTypeId (required)\n"
  "                        index=N        UpdateImageIndex, 0-255 (default 1)\n"
  "                        version=N      image header Version (default 2)\n"
  "                        instance=N     UpdateHardwareInstance (default 0: any)\n"
  "                        vendor=FILE    vendor code placed after the image\n"
  "  --guid GUID         build a plain capsule of this GUID instead of an FMP one\n"
  "  --body FILE         the plain capsule's body\n"
  "  --wrap GUID         wrap the capsule once in a capsule of this wrapper GUID\n"
  "  --flags N           capsule header Flags of every header built (default 0)\n"
  "  --from FILE         take all of the above from a JSON description\n"
  "\n"
  "Numbers are decimal or 0x-prefixed hexadecimal; GUIDs are in registry form\n"
  "(6DCBD5ED-E82D-4C44-BDA1-7194199AD92A). Every image header is 40 bytes and\n"
  "the image follows it, whatever its Version, as the driver reads it.\n"
  "\n"
  "Exit status: 0 written, 2 bad options, unreadable input or write failure.\n";

void
PutHeader (
  Bytes           &Target,
  const EFI_GUID  &Guid,
  UINT32          Flags,
  UINT64          Size
  )
{
  EFI_CAPSULE_HEADER  Header;

  if (Size > MAX_UINT32) {
    Fail (ExitUsage, "the capsule would hold " + std::to_string (Size) + " bytes, more than CapsuleImageSize can say");
  }

  Header.CapsuleGuid      = Guid;
  Header.HeaderSize       = sizeof (EFI_CAPSULE_HEADER);
  Header.Flags            = Flags;
  Header.CapsuleImageSize = (UINT32)Size;
  Target.insert (Target.end (), (const UINT8 *)&Header, (const UINT8 *)&Header + sizeof (Header));
}

Bytes
PayloadItem (
  const PayloadInput  &Payload,
  size_t             Index
  )
{
  EFI_FIRMWARE_MANAGEMENT_CAPSULE_IMAGE_HEADER  Header;
  Bytes                                         Item;

  if ((Payload.Image.size () > MAX_UINT32) || (Payload.VendorCode.size () > MAX_UINT32)) {
    Fail (ExitUsage, "payload " + std::to_string (Index) + ": image or vendor code larger than its 32-bit size field");
  }

  ZeroMem (&Header, sizeof (Header));
  Header.Version                = Payload.Version;
  Header.UpdateImageTypeId      = Payload.ImageTypeId;
  Header.UpdateImageIndex       = Payload.ImageIndex;
  Header.UpdateImageSize        = (UINT32)Payload.Image.size ();
  Header.UpdateVendorCodeSize   = (UINT32)Payload.VendorCode.size ();
  Header.UpdateHardwareInstance = Payload.HardwareInstance;

  Item.assign ((const UINT8 *)&Header, (const UINT8 *)&Header + FMP_IMAGE_HEADER_SIZE);
  Item.insert (Item.end (), Payload.Image.begin (), Payload.Image.end ());
  Item.insert (Item.end (), Payload.VendorCode.begin (), Payload.VendorCode.end ());
  return Item;
}

Bytes
FmpBody (
  const CapsuleDescription  &Description
  )
{
  EFI_FIRMWARE_MANAGEMENT_CAPSULE_HEADER  Header;
  std::vector<Bytes>                      Items;
  Bytes                                   Body;
  UINT64                                  Offset;

  if (Description.Drivers.empty () && Description.Payloads.empty ()) {
    Fail (ExitUsage, "nothing to build: give --driver or --payload (or --guid and --body)");
  }

  if ((Description.Drivers.size () > MAX_UINT16) || (Description.Payloads.size () > MAX_UINT16)) {
    Fail (ExitUsage, "an FMP capsule holds at most 65535 drivers and 65535 payloads");
  }

  for (size_t Index = 0; Index < Description.Drivers.size (); Index++) {
    //
    // An empty item would give two equal offsets (or a last offset at the
    // end), which the driver refuses.
    //
    if (Description.Drivers[Index].empty ()) {
      Fail (ExitUsage, "driver " + std::to_string (Index) + " is empty; the driver refuses a capsule with an empty item");
    }

    Items.push_back (Description.Drivers[Index]);
  }

  for (size_t Index = 0; Index < Description.Payloads.size (); Index++) {
    Items.push_back (PayloadItem (Description.Payloads[Index], Index));
  }

  Header.Version             = EFI_FIRMWARE_MANAGEMENT_CAPSULE_HEADER_INIT_VERSION;
  Header.EmbeddedDriverCount = (UINT16)Description.Drivers.size ();
  Header.PayloadItemCount    = (UINT16)Description.Payloads.size ();
  Body.assign ((const UINT8 *)&Header, (const UINT8 *)&Header + sizeof (Header));

  //
  // Items lie back to back right after the offset list; each offset counts
  // from the start of the FMP capsule header.
  //
  Offset = sizeof (Header) + Items.size () * sizeof (UINT64);
  for (auto &Item : Items) {
    Body.insert (Body.end (), (const UINT8 *)&Offset, (const UINT8 *)&Offset + sizeof (Offset));
    Offset += Item.size ();
  }

  for (auto &Item : Items) {
    Body.insert (Body.end (), Item.begin (), Item.end ());
  }

  return Body;
}

std::string
DirectoryOf (
  const std::string  &Path
  )
{
  size_t  Slash = Path.rfind ('/');

  return Slash == std::string::npos ? "" : Path.substr (0, Slash + 1);
}

EFI_GUID
GuidValue (
  const std::string  &Text,
  const std::string  &What
  )
{
  EFI_GUID  Guid;

  if (!ParseGuid (Text, &Guid)) {
    Fail (ExitUsage, What + ": \"" + Text + "\" is not a GUID (want 8-4-4-4-12 hexadecimal digits)");
  }

  return Guid;
}

UINT64
NumberValue (
  const std::string  &Text,
  UINT64             Max,
  const std::string  &What
  )
{
  UINT64  Value;

  if (!ParseNumber (Text, Max, &Value)) {
    Fail (ExitUsage, What + ": \"" + Text + "\" is not a number from 0 to " + std::to_string (Max));
  }

  return Value;
}

//
// JSON description.
//
using json = nlohmann::ordered_json;

std::string
Where (
  const std::string  &Path,
  const std::string  &Key
  )
{
  return Path + ": " + Key;
}

std::string
JsonString (
  const json         &Value,
  const std::string  &What
  )
{
  if (!Value.is_string ()) {
    Fail (ExitUsage, What + ": want a string, found " + Value.dump ());
  }

  return Value.get<std::string>();
}

UINT64
JsonNumber (
  const json         &Value,
  UINT64             Max,
  const std::string  &What
  )
{
  if (Value.is_number_unsigned ()) {
    if (Value.get<UINT64>() > Max) {
      Fail (ExitUsage, What + ": " + Value.dump () + " is larger than " + std::to_string (Max));
    }

    return Value.get<UINT64>();
  }

  if (Value.is_string ()) {
    return NumberValue (Value.get<std::string>(), Max, What);
  }

  Fail (ExitUsage, What + ": want a number (or a \"0x...\" string) from 0 to " + std::to_string (Max) + ", found " + Value.dump ());
}

void
OnlyKeys (
  const json                       &Object,
  const std::vector<std::string>   &Allowed,
  const std::string                &What
  )
{
  for (auto &Item : Object.items ()) {
    bool  Known = false;
    for (auto &Key : Allowed) {
      Known = Known || (Item.key () == Key);
    }

    if (!Known) {
      std::string  List;
      for (auto &Key : Allowed) {
        List += (List.empty () ? "" : ", ") + Key;
      }

      Fail (ExitUsage, What + ": unknown key \"" + Item.key () + "\" (known: " + List + ")");
    }
  }
}

}  // namespace

Bytes
BuildCapsule (
  const CapsuleDescription  &Description
  )
{
  Bytes  Inner;
  Bytes  Capsule;
  Bytes  Body;

  if (Description.Plain) {
    Body = Description.Body;
    PutHeader (Inner, Description.Guid, Description.Flags, sizeof (EFI_CAPSULE_HEADER) + (UINT64)Body.size ());
  } else {
    Body = FmpBody (Description);
    PutHeader (Inner, gEfiFmpCapsuleGuid, Description.Flags, sizeof (EFI_CAPSULE_HEADER) + (UINT64)Body.size ());
  }

  Inner.insert (Inner.end (), Body.begin (), Body.end ());
  if (!Description.Wrap) {
    return Inner;
  }

  if (!IsWrapperCapsule (&Description.WrapGuid)) {
    Fail (ExitUsage, "--wrap " + FormatGuid (Description.WrapGuid) + " is not one of the driver's wrapper GUIDs");
  }

  PutHeader (Capsule, Description.WrapGuid, Description.Flags, sizeof (EFI_CAPSULE_HEADER) + (UINT64)Inner.size ());
  Capsule.insert (Capsule.end (), Inner.begin (), Inner.end ());
  return Capsule;
}

PayloadInput
ParsePayloadOption (
  const std::string  &Text
  )
{
  PayloadInput               Payload;
  std::vector<std::string>  Seen;
  size_t                    Start = 0;

  while (Start <= Text.size ()) {
    size_t       Comma = Text.find (',', Start);
    std::string  Pair  = Text.substr (Start, Comma == std::string::npos ? std::string::npos : Comma - Start);
    size_t       Equal = Pair.find ('=');
    std::string  Key   = Pair.substr (0, Equal);
    std::string  Value = Equal == std::string::npos ? "" : Pair.substr (Equal + 1);
    std::string  What  = "--payload " + Key;

    if ((Equal == std::string::npos) || Value.empty ()) {
      Fail (ExitUsage, "--payload \"" + Text + "\": \"" + Pair + "\" is not key=value");
    }

    for (auto &Earlier : Seen) {
      if (Earlier == Key) {
        Fail (ExitUsage, "--payload \"" + Text + "\": " + Key + " given twice");
      }
    }

    Seen.push_back (Key);
    if (Key == "image") {
      Payload.Image = ReadFile (Value);
    } else if (Key == "type") {
      Payload.ImageTypeId = GuidValue (Value, What);
    } else if (Key == "index") {
      Payload.ImageIndex = (UINT8)NumberValue (Value, MAX_UINT8, What);
    } else if (Key == "version") {
      Payload.Version = (UINT32)NumberValue (Value, MAX_UINT32, What);
    } else if (Key == "instance") {
      Payload.HardwareInstance = NumberValue (Value, MAX_UINT64, What);
    } else if (Key == "vendor") {
      Payload.VendorCode = ReadFile (Value);
    } else {
      Fail (ExitUsage, "--payload \"" + Text + "\": unknown key \"" + Key + "\" (known: image, type, index, version, instance, vendor)");
    }

    if (Comma == std::string::npos) {
      break;
    }

    Start = Comma + 1;
  }

  for (const char *Required : { "image", "type" }) {
    bool  Given = false;
    for (auto &Key : Seen) {
      Given = Given || (Key == Required);
    }

    if (!Given) {
      Fail (ExitUsage, "--payload \"" + Text + "\": " + Required + "= is required");
    }
  }

  return Payload;
}

CapsuleDescription
ReadDescription (
  const std::string  &Path
  )
{
  Bytes               Text = ReadFile (Path);
  std::string         Base = DirectoryOf (Path);
  CapsuleDescription  Description;
  json                Root;

  auto  FileAt = [&](const std::string &Name) {
                   return ReadFile ((!Name.empty () && (Name[0] == '/')) ? Name : Base + Name);
                 };

  try {
    Root = json::parse (Text.begin (), Text.end (), nullptr, true, true);
  } catch (const json::parse_error &Error) {
    std::string  What = Error.what ();
    size_t       At   = What.find ("] ");
    Fail (ExitUsage, Path + ": not JSON at byte " + std::to_string (Error.byte) + ": " + (At == std::string::npos ? What : What.substr (At + 2)));
  }

  if (!Root.is_object ()) {
    Fail (ExitUsage, Path + ": want a JSON object at the top");
  }

  OnlyKeys (Root, { "guid", "body", "drivers", "payloads", "wrap", "flags" }, Path);
  if (Root.contains ("guid")) {
    if (Root.contains ("drivers") || Root.contains ("payloads")) {
      Fail (ExitUsage, Path + ": \"guid\" (a plain capsule) cannot have \"drivers\" or \"payloads\"");
    }

    if (!Root.contains ("body")) {
      Fail (ExitUsage, Path + ": \"guid\" needs \"body\"");
    }

    Description.Plain = true;
    Description.Guid  = GuidValue (JsonString (Root["guid"], Where (Path, "guid")), Where (Path, "guid"));
    Description.Body  = FileAt (JsonString (Root["body"], Where (Path, "body")));
  } else if (Root.contains ("body")) {
    Fail (ExitUsage, Path + ": \"body\" needs \"guid\"");
  }

  if (Root.contains ("drivers")) {
    const json  &Drivers = Root["drivers"];
    if (!Drivers.is_array ()) {
      Fail (ExitUsage, Where (Path, "drivers") + ": want an array of file names");
    }

    for (size_t Index = 0; Index < Drivers.size (); Index++) {
      Description.Drivers.push_back (FileAt (JsonString (Drivers[Index], Where (Path, "drivers[" + std::to_string (Index) + "]"))));
    }
  }

  if (Root.contains ("payloads")) {
    const json  &Payloads = Root["payloads"];
    if (!Payloads.is_array ()) {
      Fail (ExitUsage, Where (Path, "payloads") + ": want an array of objects");
    }

    for (size_t Index = 0; Index < Payloads.size (); Index++) {
      const json   &Item = Payloads[Index];
      std::string  What  = Where (Path, "payloads[" + std::to_string (Index) + "]");
      PayloadInput  Payload;

      if (!Item.is_object ()) {
        Fail (ExitUsage, What + ": want an object");
      }

      OnlyKeys (Item, { "image", "type", "index", "version", "instance", "vendor" }, What);
      if (!Item.contains ("image") || !Item.contains ("type")) {
        Fail (ExitUsage, What + ": \"image\" and \"type\" are required");
      }

      Payload.Image       = FileAt (JsonString (Item["image"], What + ".image"));
      Payload.ImageTypeId = GuidValue (JsonString (Item["type"], What + ".type"), What + ".type");
      if (Item.contains ("index")) {
        Payload.ImageIndex = (UINT8)JsonNumber (Item["index"], MAX_UINT8, What + ".index");
      }

      if (Item.contains ("version")) {
        Payload.Version = (UINT32)JsonNumber (Item["version"], MAX_UINT32, What + ".version");
      }

      if (Item.contains ("instance")) {
        Payload.HardwareInstance = JsonNumber (Item["instance"], MAX_UINT64, What + ".instance");
      }

      if (Item.contains ("vendor")) {
        Payload.VendorCode = FileAt (JsonString (Item["vendor"], What + ".vendor"));
      }

      Description.Payloads.push_back (Payload);
    }
  }

  if (Root.contains ("wrap")) {
    Description.Wrap     = true;
    Description.WrapGuid = GuidValue (JsonString (Root["wrap"], Where (Path, "wrap")), Where (Path, "wrap"));
  }

  if (Root.contains ("flags")) {
    Description.Flags = (UINT32)JsonNumber (Root["flags"], MAX_UINT32, Where (Path, "flags"));
  }

  return Description;
}

int
RunBuild (
  const Args    &Arguments,
  std::ostream  &Out,
  std::ostream  &Err
  )
{
  ParsedArgs  Parsed = ParseArgs (
                         Arguments,
                         {
                           { "help",    'h', false },
                           { "output",  'o', true  },
                           { "driver",  0,   true  },
                           { "payload", 0,   true  },
                           { "guid",    0,   true  },
                           { "body",    0,   true  },
                           { "wrap",    0,   true  },
                           { "flags",   0,   true  },
                           { "from",    0,   true  },
                         },
                         "build"
                         );
  CapsuleDescription  Description;

  if (Parsed.Has ("help")) {
    Out << BuildHelp;
    return ExitOk;
  }

  if (!Parsed.Positional.empty ()) {
    Fail (ExitUsage, "unexpected argument \"" + Parsed.Positional[0] + "\" (see build --help)");
  }

  if (!Parsed.Has ("output")) {
    Fail (ExitUsage, "-o OUT is required (see build --help)");
  }

  if (Parsed.Has ("from")) {
    for (const char *Other : { "driver", "payload", "guid", "body", "wrap", "flags" }) {
      if (Parsed.Has (Other)) {
        Fail (ExitUsage, std::string ("--from cannot be combined with --") + Other + "; put it in the description");
      }
    }

    Description = ReadDescription (Parsed.Value ("from"));
  } else {
    if (Parsed.Has ("guid") != Parsed.Has ("body")) {
      Fail (ExitUsage, "--guid and --body go together");
    }

    if (Parsed.Has ("guid")) {
      if (Parsed.Has ("driver") || Parsed.Has ("payload")) {
        Fail (ExitUsage, "--guid/--body build a plain capsule; they cannot be combined with --driver or --payload");
      }

      Description.Plain = true;
      Description.Guid  = GuidValue (Parsed.Value ("guid"), "--guid");
      Description.Body  = ReadFile (Parsed.Value ("body"));
    }

    for (auto &Driver : Parsed.Values ("driver")) {
      Description.Drivers.push_back (ReadFile (Driver));
    }

    for (auto &Payload : Parsed.Values ("payload")) {
      Description.Payloads.push_back (ParsePayloadOption (Payload));
    }

    if (Parsed.Has ("wrap")) {
      Description.Wrap     = true;
      Description.WrapGuid = GuidValue (Parsed.Value ("wrap"), "--wrap");
    }

    if (Parsed.Has ("flags")) {
      Description.Flags = (UINT32)NumberValue (Parsed.Value ("flags"), MAX_UINT32, "--flags");
    }
  }

  for (size_t Index = 0; Index < Description.Payloads.size (); Index++) {
    if (Description.Payloads[Index].Version >= 3) {
      Err << "CapsuleTool build: note: payload " << Index << " has image header version "
          << Description.Payloads[Index].Version << "; its image still starts 40 bytes after the header\n";
    }
  }

  Bytes  Capsule = BuildCapsule (Description);
  WriteFileAtomic (Parsed.Value ("output"), Capsule);

  Out << "wrote " << Parsed.Value ("output") << " (" << Capsule.size () << " bytes): ";
  if (Description.Plain) {
    Out << "capsule " << FormatGuid (Description.Guid) << " with a " << Description.Body.size () << "-byte body";
  } else {
    Out << "FMP capsule with " << Description.Drivers.size () << " driver(s) and " << Description.Payloads.size () << " payload(s)";
  }

  if (Description.Wrap) {
    Out << ", wrapped in " << FormatGuid (Description.WrapGuid);
  }

  Out << "\n" << VerdictSummary (Judge (Capsule, FileContext ())) << "\n";
  return ExitOk;
}

}  // namespace CapsuleTool
