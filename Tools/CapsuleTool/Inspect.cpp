// inspect: the structure of a capsule and the driver's verdict on it. The
// verdict is taken from the driver's own code (UnwrapCapsule,
// CheckFmpCapsule, FmpCapsuleItem, ReadPayloadHeader, IsDeferredCapsule);
// this file only adds where in the file each part lies and, for a refusal,
// which field caused it.
#include <nlohmann/json.hpp>

#include "CapsuleTool.h"

#include <iomanip>
#include <ostream>
#include <sstream>

namespace CapsuleTool {

namespace {

using json = nlohmann::ordered_json;

const char  InspectHelp[] =
  "usage: CapsuleTool inspect FILE [--as-file] [--name NAME] [--json]\n"
  "\n"
  "Prints the structure of a capsule (headers, items with their offsets and\n"
  "sizes, image headers) and what the capsule update driver will do with it:\n"
  "the path it takes (wrapper removed, FMP capsule or handler protocol by\n"
  "GUID), whether the FMP checks pass (and which check fails, at which byte),\n"
  "and which payload items would be refused and why. The verdict runs the\n"
  "driver's own check code.\n"
  "\n"
  "  --as-file     judge FILE as a capsule file in EFI/UpdateCapsule: its size\n"
  "                must equal CapsuleImageSize, and the deferred kinds are left\n"
  "                for the flash update component\n"
  "  --name NAME   the file's name there (default: FILE's own name); implies\n"
  "                --as-file\n"
  "  --json        print one JSON object instead of text\n"
  "\n"
  "Offsets are bytes from the start of FILE.\n"
  "\n"
  "Exit status: 0 the driver takes the capsule whole, 1 the driver refuses\n"
  "the capsule, drops it, deletes or ignores the file, or refuses a payload\n"
  "item; 2 bad options or unreadable file.\n";

/// Capsule header Flags by name.
std::string
FlagNames (
  UINT32  Flags
  )
{
  static const struct {
    UINT32        Bit;
    const char    *Name;
  } Known[] = {
    { CAPSULE_FLAGS_PERSIST_ACROSS_RESET,  "PERSIST_ACROSS_RESET"  },
    { CAPSULE_FLAGS_POPULATE_SYSTEM_TABLE, "POPULATE_SYSTEM_TABLE" },
    { CAPSULE_FLAGS_INITIATE_RESET,        "INITIATE_RESET"        },
  };
  std::string  Names;

  for (auto &Flag : Known) {
    if ((Flags & Flag.Bit) != 0) {
      Names += (Names.empty () ? "" : " | ") + std::string (Flag.Name);
    }
  }

  return Names;
}

struct Field {
  std::string    Name;
  json           Value;
  std::string    Text;
};

struct Region {
  UINT64                Offset;
  UINT64                Size;
  std::string           What;
  std::vector<Field>    Fields;
};

UINT64
OffsetIn (
  const Bytes      &Data,
  const BYTE_VIEW  &View
  )
{
  return (UINT64)(View.Data - Data.data ());
}

std::string
GuidText (
  const EFI_GUID  &Guid
  )
{
  std::string  Kind = CapsuleKindName (Guid);

  return FormatGuid (Guid) + (Kind.empty () ? "" : " (" + Kind + ")");
}

Region
CapsuleHeaderRegion (
  UINT64                    Offset,
  const EFI_CAPSULE_HEADER  &Header,
  const std::string         &What
  )
{
  Region  Result { Offset, sizeof (EFI_CAPSULE_HEADER), What, {} };
  std::string  Flags = FlagNames (Header.Flags);

  Result.Fields = {
    { "CapsuleGuid",      FormatGuid (Header.CapsuleGuid), GuidText (Header.CapsuleGuid) },
    { "HeaderSize",       Header.HeaderSize,               std::to_string (Header.HeaderSize) },
    { "Flags",            Header.Flags,                    Hex (Header.Flags, 8) + (Flags.empty () ? "" : " (" + Flags + ")") },
    { "CapsuleImageSize", Header.CapsuleImageSize,         std::to_string (Header.CapsuleImageSize) },
  };
  return Result;
}

/// The item offset at Index of the list that starts at byte 8 of Fmp, when
/// it lies inside Fmp.
bool
ReadItemOffset (
  const BYTE_VIEW  &Fmp,
  UINT64           Index,
  UINT64           *Offset
  )
{
  return Fmp.Read (sizeof (EFI_FIRMWARE_MANAGEMENT_CAPSULE_HEADER) + Index * sizeof (UINT64), Offset);
}

/// Names the field that made CheckFmpCapsule fail, and where it lies.
void
ExplainFmpCheck (
  const Bytes      &Data,
  const BYTE_VIEW  &Capsule,
  UINT32           FailedItem,
  Verdict          &Result
  )
{
  EFI_CAPSULE_HEADER                      Header;
  EFI_FIRMWARE_MANAGEMENT_CAPSULE_HEADER  FmpHeader = {};
  UINT64                                  Start = OffsetIn (Data, Capsule);
  UINT64                                  End   = Start + Capsule.Size;
  UINT64                                  Fmp;
  UINT64                                  Count;
  BYTE_VIEW                               FmpView {};

  Capsule.Read (0, &Header);
  Fmp = Start + Header.HeaderSize;
  Capsule.Sub (Header.HeaderSize, Capsule.Size - Header.HeaderSize, &FmpView);
  FmpView.Read (0, &FmpHeader);
  Count                  = (UINT64)FmpHeader.EmbeddedDriverCount + FmpHeader.PayloadItemCount;
  Result.HasReasonOffset = true;

  switch (Result.FmpCheck) {
    case FmpCapsuleHeaderSizeInvalid:
      Result.ReasonOffset = Start + OFFSET_OF (EFI_CAPSULE_HEADER, HeaderSize);
      Result.Reason       = "HeaderSize " + std::to_string (Header.HeaderSize) +
                            (Header.HeaderSize < sizeof (EFI_CAPSULE_HEADER)
                             ? " is less than the 28-byte capsule header"
                             : " reaches past the capsule's end (CapsuleImageSize " + std::to_string (Header.CapsuleImageSize) + ")");
      break;

    case FmpCapsuleHeaderTruncated:
      Result.ReasonOffset = Fmp;
      Result.Reason       = "the 8-byte FMP capsule header at byte " + ByteText (Fmp) +
                            " does not fit before the capsule's end at byte " + ByteText (End);
      break;

    case FmpCapsuleNoItems:
      Result.ReasonOffset = Fmp + OFFSET_OF (EFI_FIRMWARE_MANAGEMENT_CAPSULE_HEADER, EmbeddedDriverCount);
      Result.Reason       = "EmbeddedDriverCount and PayloadItemCount are both 0";
      break;

    case FmpCapsuleOffsetListTruncated:
      Result.ReasonOffset = Fmp + sizeof (FmpHeader);
      Result.Reason       = "the offset list of " + std::to_string (Count) + " items needs " + std::to_string (8 * Count) +
                            " bytes from byte " + ByteText (Fmp + sizeof (FmpHeader)) +
                            ", the capsule ends at byte " + ByteText (End);
      break;

    case FmpCapsuleLastOffsetNotBelowEnd: {
      UINT64  Last = 0;
      ReadItemOffset (FmpView, Count - 1, &Last);
      Result.ReasonOffset = Fmp + sizeof (FmpHeader) + 8 * (Count - 1);
      Result.Reason       = "ItemOffsetList[" + std::to_string (Count - 1) + "] = " + Hex (Last) +
                            " is not below the FMP part's size " + Hex (FmpView.Size);
      break;
    }

    case FmpCapsuleOffsetsNotAscending:
      //
      // The driver compares from the end of the list down; name the first
      // pair it trips on.
      //
      for (UINT64 Index = Count - 1; Index >= 1; Index--) {
        UINT64  Lower = 0;
        UINT64  Upper = 0;
        ReadItemOffset (FmpView, Index - 1, &Lower);
        ReadItemOffset (FmpView, Index, &Upper);
        if (Lower >= Upper) {
          Result.ReasonOffset = Fmp + sizeof (FmpHeader) + 8 * (Index - 1);
          Result.Reason       = "ItemOffsetList[" + std::to_string (Index - 1) + "] = " + Hex (Lower) +
                                " is not below ItemOffsetList[" + std::to_string (Index) + "] = " + Hex (Upper);
          break;
        }
      }

      break;

    case FmpCapsuleItemsPastEnd: {
      UINT64  First = 0;
      ReadItemOffset (FmpView, 0, &First);
      Result.ReasonOffset = Fmp + sizeof (FmpHeader);
      Result.Reason       = "ItemOffsetList[0] = " + Hex (First) + " lies inside the offset list (which ends at " +
                            Hex (sizeof (FmpHeader) + 8 * Count) + "): the items, read from after the list, would pass the capsule's end";
      break;
    }

    case FmpCapsulePayloadTooShort: {
      FMP_CAPSULE_LAYOUT  Layout;
      CheckFmpCapsule (Capsule, &Layout, nullptr);
      BYTE_VIEW  Item = FmpCapsuleItem (&Layout, FailedItem);
      Result.ReasonOffset = OffsetIn (Data, Item);
      Result.Reason       = "payload " + std::to_string (FailedItem - FmpHeader.EmbeddedDriverCount) + " (item " +
                            std::to_string (FailedItem) + ") has " + std::to_string (Item.Size) +
                            " bytes, fewer than its 40-byte image header";
      break;
    }

    default:
      Result.HasReasonOffset = false;
      break;
  }
}

/// Says why UnwrapCapsule refused the bytes.
void
ExplainUnwrap (
  const Bytes  &Data,
  Verdict      &Result
  )
{
  BYTE_VIEW           All = { Data.data (), Data.size () };
  EFI_CAPSULE_HEADER  Header;
  EFI_CAPSULE_HEADER  Inner;
  BYTE_VIEW           Capsule;

  Result.HasReasonOffset = true;
  if (!All.Read (0, &Header)) {
    Result.ReasonOffset = Data.size ();
    Result.Reason       = "only " + std::to_string (Data.size ()) + " bytes, fewer than the 28-byte capsule header";
    return;
  }

  Result.ReasonOffset = OFFSET_OF (EFI_CAPSULE_HEADER, CapsuleImageSize);
  if (Header.CapsuleImageSize < sizeof (EFI_CAPSULE_HEADER)) {
    Result.Reason = "CapsuleImageSize " + std::to_string (Header.CapsuleImageSize) + " is less than the 28-byte capsule header";
    return;
  }

  if (!All.Sub (0, Header.CapsuleImageSize, &Capsule)) {
    Result.Reason = "CapsuleImageSize says " + std::to_string (Header.CapsuleImageSize) + " bytes, only " +
                    std::to_string (Data.size ()) + " are there";
    return;
  }

  //
  // Only a wrapper can fail beyond its own header.
  //
  Result.ReasonOffset = OFFSET_OF (EFI_CAPSULE_HEADER, HeaderSize);
  if (Header.HeaderSize < sizeof (EFI_CAPSULE_HEADER)) {
    Result.Reason = "the wrapper's HeaderSize " + std::to_string (Header.HeaderSize) + " is less than the 28-byte capsule header";
    return;
  }

  if (Header.HeaderSize > Header.CapsuleImageSize) {
    Result.Reason = "the wrapper's HeaderSize " + std::to_string (Header.HeaderSize) + " reaches past its CapsuleImageSize " +
                    std::to_string (Header.CapsuleImageSize);
    return;
  }

  if (!Capsule.Read (Header.HeaderSize, &Inner)) {
    Result.ReasonOffset = Header.HeaderSize;
    Result.Reason       = "the inner capsule at byte " + ByteText (Header.HeaderSize) + " has " +
                          std::to_string (Capsule.Size - Header.HeaderSize) + " bytes, fewer than the 28-byte capsule header";
    return;
  }

  Result.ReasonOffset = Header.HeaderSize + OFFSET_OF (EFI_CAPSULE_HEADER, CapsuleImageSize);
  if (Inner.CapsuleImageSize < sizeof (EFI_CAPSULE_HEADER)) {
    Result.Reason = "the inner capsule's CapsuleImageSize " + std::to_string (Inner.CapsuleImageSize) +
                    " is less than the 28-byte capsule header";
  } else {
    Result.Reason = "the inner capsule's CapsuleImageSize says " + std::to_string (Inner.CapsuleImageSize) + " bytes, the wrapper holds " +
                    std::to_string (Capsule.Size - Header.HeaderSize) + " after its header";
  }
}

std::string
RouteName (
  Route  Path
  )
{
  switch (Path) {
    case Route::Dropped:     return "dropped";
    case Route::Fmp:         return "fmp";
    case Route::Handler:     return "handler";
    case Route::Deferred:    return "deferred";
    case Route::FileDeleted: return "file_deleted";
    case Route::FileLeft:    return "file_left";
  }

  return "unknown";
}

/// Where every part of the capsule lies, as far as it can be read without
/// leaving the data.
std::vector<Region>
Structure (
  const Bytes    &Data,
  const Verdict  &Result
  )
{
  std::vector<Region>  Regions;
  BYTE_VIEW            All = { Data.data (), Data.size () };
  EFI_CAPSULE_HEADER   Header;
  BYTE_VIEW            Capsule;
  UINT64               End = Data.size ();

  if (!All.Read (0, &Header)) {
    return Regions;
  }

  Regions.push_back (CapsuleHeaderRegion (0, Header, "capsule header"));
  if (OpenCapsule (All, &Header, &Capsule)) {
    End = Capsule.Size;
  }

  if ((Result.Path != Route::Fmp) && (Result.Path != Route::Handler)) {
    if (End < Data.size ()) {
      Regions.push_back ({ End, Data.size () - End, "bytes after the capsule's end (not part of it)", {} });
    }

    return Regions;
  }

  if (Result.Unwrapped) {
    EFI_CAPSULE_HEADER  Inner;
    All.Read (Result.RoutedOffset, &Inner);
    if (Result.RoutedOffset > sizeof (EFI_CAPSULE_HEADER)) {
      Regions.push_back ({ sizeof (EFI_CAPSULE_HEADER), Result.RoutedOffset - sizeof (EFI_CAPSULE_HEADER), "rest of the wrapper's header", {} });
    }

    Regions.push_back (CapsuleHeaderRegion (Result.RoutedOffset, Inner, "inner capsule header"));
  }

  BYTE_VIEW           Routed;
  EFI_CAPSULE_HEADER  RoutedHeader;
  UnwrapCapsule (All, &RoutedHeader, &Routed);
  UINT64  RoutedEnd = Result.RoutedOffset + Routed.Size;

  if ((RoutedHeader.HeaderSize > sizeof (EFI_CAPSULE_HEADER)) && (RoutedHeader.HeaderSize <= Routed.Size)) {
    Regions.push_back ({ Result.RoutedOffset + sizeof (EFI_CAPSULE_HEADER), RoutedHeader.HeaderSize - sizeof (EFI_CAPSULE_HEADER), "rest of the capsule header", {} });
  }

  if (Result.Path == Route::Handler) {
    if (RoutedHeader.HeaderSize <= Routed.Size) {
      Regions.push_back ({ Result.RoutedOffset + RoutedHeader.HeaderSize, Routed.Size - RoutedHeader.HeaderSize, "body", {} });
    }
  } else {
    BYTE_VIEW                               Fmp {};
    EFI_FIRMWARE_MANAGEMENT_CAPSULE_HEADER  FmpHeader = {};
    UINT64                                  FmpOffset = Result.RoutedOffset + RoutedHeader.HeaderSize;

    if ((RoutedHeader.HeaderSize >= sizeof (EFI_CAPSULE_HEADER)) &&
        Routed.Sub (RoutedHeader.HeaderSize, Routed.Size - RoutedHeader.HeaderSize, &Fmp) && Fmp.Read (0, &FmpHeader))
    {
      UINT64  Count = (UINT64)FmpHeader.EmbeddedDriverCount + FmpHeader.PayloadItemCount;
      Regions.push_back ({ FmpOffset, sizeof (FmpHeader), "FMP capsule header", {
        { "Version",             FmpHeader.Version,             std::to_string (FmpHeader.Version) },
        { "EmbeddedDriverCount", FmpHeader.EmbeddedDriverCount, std::to_string (FmpHeader.EmbeddedDriverCount) },
        { "PayloadItemCount",    FmpHeader.PayloadItemCount,    std::to_string (FmpHeader.PayloadItemCount) },
      } });

      json         Offsets = json::array ();
      std::string  Text;
      UINT64       Listed  = 0;
      for (UINT64 Index = 0; Index < Count; Index++) {
        UINT64  Offset;
        if (!ReadItemOffset (Fmp, Index, &Offset)) {
          break;
        }

        Offsets.push_back (Offset);
        Text += (Text.empty () ? "" : " ") + Hex (Offset);
        Listed++;
      }

      if (Listed < Count) {
        Text += (Text.empty () ? "" : " ") + std::string ("(") + std::to_string (Count - Listed) + " more past the capsule's end)";
      }

      Regions.push_back ({ FmpOffset + sizeof (FmpHeader), Listed * 8, "item offset list", { { "ItemOffsetList", Offsets, Text } } });

      if ((Result.FmpCheck == FmpCapsuleValid) || (Result.FmpCheck == FmpCapsulePayloadTooShort)) {
        FMP_CAPSULE_LAYOUT  Layout;
        CheckFmpCapsule (Routed, &Layout, nullptr);
        for (UINT32 Index = 0; Index < Count; Index++) {
          BYTE_VIEW  Item   = FmpCapsuleItem (&Layout, Index);
          bool       Driver = Index < Layout.EmbeddedDriverCount;
          Region     Part { OffsetIn (Data, Item), Item.Size,
                            Driver ? "driver " + std::to_string (Index)
                                   : "payload " + std::to_string (Index - Layout.EmbeddedDriverCount), {} };

          EFI_FIRMWARE_MANAGEMENT_CAPSULE_IMAGE_HEADER  Image;
          if (!Driver && Item.Contains (0, FMP_IMAGE_HEADER_SIZE)) {
            ReadPayloadHeader (Item, &Image);
            Part.Fields = {
              { "Version",                Image.Version,                          std::to_string (Image.Version) },
              { "UpdateImageTypeId",      FormatGuid (Image.UpdateImageTypeId),   FormatGuid (Image.UpdateImageTypeId) },
              { "UpdateImageIndex",       Image.UpdateImageIndex,                 std::to_string (Image.UpdateImageIndex) },
              { "UpdateImageSize",        Image.UpdateImageSize,                  std::to_string (Image.UpdateImageSize) },
              { "UpdateVendorCodeSize",   Image.UpdateVendorCodeSize,             std::to_string (Image.UpdateVendorCodeSize) },
              { "UpdateHardwareInstance", Image.UpdateHardwareInstance,
                Hex (Image.UpdateHardwareInstance) + (Image.Version >= 2 ? "" : " (not read below Version 2)") },
              { "image_offset",           Part.Offset + FMP_IMAGE_HEADER_SIZE,    Hex (Part.Offset + FMP_IMAGE_HEADER_SIZE) },
            };
            if (Image.UpdateVendorCodeSize != 0) {
              UINT64  Vendor = Part.Offset + FMP_IMAGE_HEADER_SIZE + (UINT64)Image.UpdateImageSize;
              Part.Fields.push_back ({ "vendor_code_offset", Vendor, Hex (Vendor) });
            }
          }

          Regions.push_back (Part);
        }
      }
    }
  }

  if (RoutedEnd < End) {
    Regions.push_back ({ RoutedEnd, End - RoutedEnd, "rest of the wrapper after the inner capsule", {} });
  }

  if (End < Data.size ()) {
    Regions.push_back ({ End, Data.size () - End, "bytes after the capsule's end (not part of it)", {} });
  }

  return Regions;
}

std::string
MatchText (
  const PayloadVerdict  &Payload
  )
{
  std::string  Text = "image type " + FormatGuid (Payload.Header.UpdateImageTypeId);

  if (Payload.HardwareInstance == 0) {
    return Text + ", any hardware instance";
  }

  return Text + ", hardware instance " + Hex (Payload.HardwareInstance) + " (descriptor version 3 or later)";
}

json
VerdictJson (
  const Verdict  &Result
  )
{
  json  Verdict = {
    { "route",    RouteName (Result.Path)                             },
    { "accepted", Result.Accepted ()                                  },
    { "reason",   Result.Reason.empty () ? json (nullptr) : json (Result.Reason) },
    { "reason_offset", Result.HasReasonOffset ? json (Result.ReasonOffset) : json (nullptr) },
    { "reset",    Result.ResetAfter ().empty () ? json (nullptr) : json (Result.ResetAfter ()) },
  };

  if ((Result.Path == Route::Fmp) || (Result.Path == Route::Handler)) {
    Verdict["unwrapped_from"] = Result.Unwrapped ? json (FormatGuid (Result.WrapperGuid)) : json (nullptr);
    Verdict["capsule_guid"]   = FormatGuid (Result.RoutedGuid);
    Verdict["capsule_offset"] = Result.RoutedOffset;
  }

  if (Result.Path == Route::Fmp) {
    Verdict["fmp_check"] = FmpCheckName (Result.FmpCheck);
    if (Result.FmpCheck == FmpCapsuleValid) {
      Verdict["embedded_drivers"] = Result.DriverCount;
      json  Payloads = json::array ();
      for (auto &Payload : Result.Payloads) {
        Payloads.push_back ({
          { "index",               Payload.Index },
          { "offset",              Payload.Offset },
          { "size",                Payload.Size },
          { "update_image_type_id", FormatGuid (Payload.Header.UpdateImageTypeId) },
          { "update_image_index",  Payload.Header.UpdateImageIndex },
          { "hardware_instance",   Payload.HardwareInstance },
          { "refused",             Payload.Refused },
          { "status",              Payload.Refused ? json (StatusName (EFI_BAD_BUFFER_SIZE)) : json (nullptr) },
          { "reason",              Payload.Refused ? json (Payload.Reason) : json (nullptr) },
        });
      }

      Verdict["payloads"] = Payloads;
    }
  }

  if (Result.Path == Route::Deferred) {
    Verdict["flash_update_image_name"] = {
      { "file_path", Result.DeferredPath },
      { "recorded",  Result.DeferredRecorded },
    };
  }

  return Verdict;
}

void
PrintVerdict (
  const Verdict  &Result,
  const Bytes    &Data,
  std::ostream   &Out
  )
{
  auto  Line = [&](const std::string &Name, const std::string &Text) {
                 Out << "  " << std::left << std::setw (14) << Name << Text << "\n";
               };
  std::string  At = Result.HasReasonOffset ? " (at byte " + ByteText (Result.ReasonOffset) + ")" : "";

  Out << "verdict\n";
  switch (Result.Path) {
    case Route::FileLeft:
      Line ("route", "the file stays in EFI/UpdateCapsule and is not dispatched");
      Line ("why", Result.Reason + At);
      break;

    case Route::FileDeleted:
      Line ("route", "the file is deleted without being dispatched; no result record");
      Line ("why", Result.Reason + At);
      break;

    case Route::Deferred:
      Line ("route", "left in EFI/UpdateCapsule for the platform's flash update component");
      if (Result.DeferredRecorded) {
        Line ("record", "FlashUpdateImageName = " + Result.DeferredPath + ", " + std::to_string (Data.size ()) + " bytes");
      } else {
        Line ("record", "none: " + Result.Reason);
      }

      break;

    case Route::Dropped:
      Line ("route", "dropped: the capsule is not dispatched");
      Line ("why", Result.Reason + At);
      break;

    case Route::Handler:
    case Route::Fmp: {
      std::string  Path;
      if (Result.Unwrapped) {
        Path = "wrapper " + FormatGuid (Result.WrapperGuid) + " removed -> ";
      }

      if (Result.Path == Route::Handler) {
        Line ("route", Path + "handed to the protocol installed under " + FormatGuid (Result.RoutedGuid) +
              " (dropped silently when the platform has none)");
        break;
      }

      Line ("route", Path + "FMP capsule at byte " + ByteText (Result.RoutedOffset));
      if (Result.FmpCheck != FmpCapsuleValid) {
        Line ("FMP checks", "fail: " + FmpCheckName (Result.FmpCheck));
        Line ("why", Result.Reason + At);
        Line ("then", "nothing is started or written, nothing is recorded, no reset");
        break;
      }

      Line ("FMP checks", "pass");
      Line ("drivers", std::to_string (Result.DriverCount) + " loaded and started in order");
      for (auto &Payload : Result.Payloads) {
        if (Payload.Refused) {
          Line ("payload " + std::to_string (Payload.Index), "refused: " + Payload.Reason + "; recorded with EFI_BAD_BUFFER_SIZE");
        } else {
          Line ("payload " + std::to_string (Payload.Index), "written to every FMP instance whose first descriptor has " +
                MatchText (Payload) + "; recorded with EFI_NOT_FOUND when there is none");
        }
      }

      Line ("then", std::to_string (Result.Payloads.size ()) + " result record(s), instances the drivers added removed, cold reset");
      break;
    }
  }

  if (!Result.Accepted ()) {
    Line ("exit", "1 (the driver does not take this capsule whole)");
  }
}

}  // namespace

bool
Verdict::Accepted () const
{
  switch (Path) {
    case Route::Handler:
      return true;

    case Route::Deferred:
      return DeferredRecorded;

    case Route::Fmp:
      if (FmpCheck != FmpCapsuleValid) {
        return false;
      }

      for (auto &Payload : Payloads) {
        if (Payload.Refused) {
          return false;
        }
      }

      return true;

    default:
      return false;
  }
}

std::string
Verdict::ResetAfter () const
{
  if ((Path == Route::Fmp) && (FmpCheck == FmpCapsuleValid)) {
    return "cold";
  }

  if ((Path == Route::Deferred) && DeferredRecorded) {
    return "warm";
  }

  return "";
}

std::string
VerdictSummary (
  const Verdict  &Result
  )
{
  std::string  At = Result.HasReasonOffset ? " (at byte " + ByteText (Result.ReasonOffset) + ")" : "";

  switch (Result.Path) {
    case Route::Handler:
      return "the driver hands it to the protocol installed under " + FormatGuid (Result.RoutedGuid);

    case Route::Deferred:
      return Result.DeferredRecorded
             ? "the driver leaves it for the flash update component (FlashUpdateImageName), then resets warm"
             : "the driver leaves the file but does not record it: " + Result.Reason;

    case Route::Dropped:
      return "the driver drops it: " + Result.Reason + At;

    case Route::FileDeleted:
      return "the driver deletes the file without dispatching it: " + Result.Reason + At;

    case Route::FileLeft:
      return "the driver leaves the file without dispatching it: " + Result.Reason;

    case Route::Fmp:
      if (Result.FmpCheck != FmpCapsuleValid) {
        return "the driver refuses the FMP capsule (" + FmpCheckName (Result.FmpCheck) + "): " + Result.Reason + At;
      }

      for (auto &Payload : Result.Payloads) {
        if (Payload.Refused) {
          return "the driver applies the FMP capsule but refuses payload " + std::to_string (Payload.Index) + ": " + Payload.Reason;
        }
      }

      return "the driver applies the FMP capsule (" + std::to_string (Result.DriverCount) + " driver(s), " +
             std::to_string (Result.Payloads.size ()) + " payload(s)), then resets cold";
  }

  return "";
}

std::string
FmpCheckName (
  FMP_CAPSULE_CHECK  Check
  )
{
  switch (Check) {
    case FmpCapsuleValid:                 return "FmpCapsuleValid";
    case FmpCapsuleHeaderSizeInvalid:     return "FmpCapsuleHeaderSizeInvalid";
    case FmpCapsuleHeaderTruncated:       return "FmpCapsuleHeaderTruncated";
    case FmpCapsuleNoItems:               return "FmpCapsuleNoItems";
    case FmpCapsuleOffsetListTruncated:   return "FmpCapsuleOffsetListTruncated";
    case FmpCapsuleLastOffsetNotBelowEnd: return "FmpCapsuleLastOffsetNotBelowEnd";
    case FmpCapsuleOffsetsNotAscending:   return "FmpCapsuleOffsetsNotAscending";
    case FmpCapsuleItemsPastEnd:          return "FmpCapsuleItemsPastEnd";
    case FmpCapsulePayloadTooShort:       return "FmpCapsulePayloadTooShort";
  }

  return "FmpCapsuleCheck" + std::to_string ((int)Check);
}

Verdict
Judge (
  const Bytes        &Data,
  const FileContext  &Context
  )
{
  Verdict             Result;
  BYTE_VIEW           All = { Data.data (), Data.size () };
  EFI_CAPSULE_HEADER  Header;
  BYTE_VIEW           Routed;

  if (Context.AsFile) {
    //
    // What file intake does before any dispatch: an empty file stays, a file
    // whose size is not its CapsuleImageSize is deleted, a deferred kind is
    // left for the flash update component.
    //
    if (Data.empty ()) {
      Result.Path   = Route::FileLeft;
      Result.Reason = "the file is empty";
      return Result;
    }

    if (!All.Read (0, &Header)) {
      Result.Path            = Route::FileDeleted;
      Result.Reason          = "the file holds " + std::to_string (Data.size ()) + " bytes, fewer than the 28-byte capsule header";
      Result.HasReasonOffset = true;
      Result.ReasonOffset    = Data.size ();
      return Result;
    }

    if (Header.CapsuleImageSize != Data.size ()) {
      Result.Path            = Route::FileDeleted;
      Result.Reason          = "CapsuleImageSize says " + std::to_string (Header.CapsuleImageSize) + " bytes, the file holds " +
                               std::to_string (Data.size ());
      Result.HasReasonOffset = true;
      Result.ReasonOffset    = OFFSET_OF (EFI_CAPSULE_HEADER, CapsuleImageSize);
      return Result;
    }

    if (IsDeferredCapsule (&Header.CapsuleGuid)) {
      static const char  Directory[] = "EFI/UpdateCapsule/";
      std::u16string     Path        = Utf8ToUtf16 (Directory + Context.Name);

      Result.Path             = Route::Deferred;
      Result.RoutedGuid       = Header.CapsuleGuid;
      Result.DeferredPath     = Directory + Context.Name;
      Result.DeferredRecorded = Path.size () <= 255;
      if (!Result.DeferredRecorded) {
        Result.Reason = "its path has " + std::to_string (Path.size ()) +
                        " characters, more than the 255 the record holds: no record, no reset, the file stays";
      }

      return Result;
    }
  }

  if (!UnwrapCapsule (All, &Header, &Routed)) {
    Result.Path = Route::Dropped;
    ExplainUnwrap (Data, Result);
    return Result;
  }

  EFI_CAPSULE_HEADER  Outer;
  All.Read (0, &Outer);
  Result.Unwrapped    = IsWrapperCapsule (&Outer.CapsuleGuid);
  Result.WrapperGuid  = Outer.CapsuleGuid;
  Result.RoutedGuid   = Header.CapsuleGuid;
  Result.RoutedOffset = OffsetIn (Data, Routed);

  if (!CompareGuid (&Header.CapsuleGuid, &gEfiFmpCapsuleGuid)) {
    Result.Path = Route::Handler;
    return Result;
  }

  FMP_CAPSULE_LAYOUT  Layout;
  UINT32              FailedItem = 0;

  Result.Path     = Route::Fmp;
  Result.FmpCheck = CheckFmpCapsule (Routed, &Layout, &FailedItem);
  if (Result.FmpCheck != FmpCapsuleValid) {
    ExplainFmpCheck (Data, Routed, FailedItem, Result);
    return Result;
  }

  Result.DriverCount = Layout.EmbeddedDriverCount;
  for (UINT32 Index = 0; Index < Layout.PayloadItemCount; Index++) {
    BYTE_VIEW       Item = FmpCapsuleItem (&Layout, Layout.EmbeddedDriverCount + Index);
    PayloadVerdict  Payload;

    Payload.Index            = Index;
    Payload.Offset           = OffsetIn (Data, Item);
    Payload.Size             = Item.Size;
    Payload.Refused          = !ReadPayloadHeader (Item, &Payload.Header);
    Payload.HardwareInstance = PayloadHardwareInstance (&Payload.Header);
    if (Payload.Refused) {
      Payload.Reason = "40 + UpdateImageSize " + std::to_string (Payload.Header.UpdateImageSize) + " + UpdateVendorCodeSize " +
                       std::to_string (Payload.Header.UpdateVendorCodeSize) + " bytes exceed the item's " +
                       std::to_string (Item.Size) + " (image header at byte " + ByteText (Payload.Offset) + ")";
    }

    Result.Payloads.push_back (Payload);
  }

  return Result;
}

int
RunInspect (
  const Args    &Arguments,
  std::ostream  &Out,
  std::ostream  &Err
  )
{
  ParsedArgs  Parsed = ParseArgs (
                         Arguments,
                         {
                           { "help",    'h', false },
                           { "as-file", 0,   false },
                           { "name",    0,   true  },
                           { "json",    0,   false },
                         },
                         "inspect"
                         );
  FileContext  Context;

  if (Parsed.Has ("help")) {
    Out << InspectHelp;
    return ExitOk;
  }

  if (Parsed.Positional.size () != 1) {
    Fail (ExitUsage, "inspect takes one capsule file (see inspect --help)");
  }

  const std::string  &Path = Parsed.Positional[0];
  Bytes              Data  = ReadFile (Path);

  Context.AsFile = Parsed.Has ("as-file") || Parsed.Has ("name");
  Context.Name   = Parsed.Value ("name", Path.substr (Path.rfind ('/') == std::string::npos ? 0 : Path.rfind ('/') + 1));
  if (Context.AsFile && (Context.Name.empty () || (Context.Name.find ('/') != std::string::npos))) {
    Fail (ExitUsage, "--name \"" + Context.Name + "\" is not a file name");
  }

  Verdict              Result  = Judge (Data, Context);
  std::vector<Region>  Regions = Structure (Data, Result);

  if (Parsed.Has ("json")) {
    json  Parts = json::array ();
    for (auto &Part : Regions) {
      json  Fields = json::object ();
      for (auto &Item : Part.Fields) {
        Fields[Item.Name] = Item.Value;
      }

      Parts.push_back ({ { "offset", Part.Offset }, { "size", Part.Size }, { "what", Part.What }, { "fields", Fields } });
    }

    json  Report = {
      { "file",      Path },
      { "size",      Data.size () },
      { "as_file",   Context.AsFile ? json (Context.Name) : json (nullptr) },
      { "structure", Parts },
      { "verdict",   VerdictJson (Result) },
    };
    Out << Report.dump (2, ' ', false, json::error_handler_t::replace) << "\n";
  } else {
    Out << Path << ": " << Data.size () << " bytes" << (Context.AsFile ? ", as capsule file \"" + Context.Name + "\"" : "") << "\n";
    for (auto &Part : Regions) {
      Out << Hex (Part.Offset, 8) << "  " << Part.What << " (" << Part.Size << " bytes)\n";
      for (auto &Item : Part.Fields) {
        Out << "              " << std::left << std::setw (24) << Item.Name << Item.Text << "\n";
      }
    }

    PrintVerdict (Result, Data, Out);

    EFI_CAPSULE_HEADER  Outer;
    if (!Context.AsFile && BYTE_VIEW { Data.data (), Data.size () }.Read (0, &Outer) && IsDeferredCapsule (&Outer.CapsuleGuid)) {
      Out << "note: as a capsule file (--as-file) this GUID is not dispatched: it is left for the flash update component\n";
    }
  }

  return Result.Accepted () ? ExitOk : ExitRefused;
}

}  // namespace CapsuleTool
