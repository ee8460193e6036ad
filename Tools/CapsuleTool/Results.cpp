// results: decodes what the driver leaves for the operating system: the
// Capsule#### result records newest first (following "CapsuleLast" and the
// wrap after the index "CapsuleMax" names), and "FlashUpdateImageName".
// Every read is bounded by the variable's data; a malformed record is
// reported with the byte offset of what is wrong and not read further.
#include <nlohmann/json.hpp>

#include "CapsuleTool.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <iomanip>
#include <map>
#include <ostream>

namespace CapsuleTool {

namespace {

using json = nlohmann::ordered_json;

const char  ResultsHelp[] =
  "usage: CapsuleTool results [--efivars DIR] [--json] [FILE...]\n"
  "\n"
  "Decodes the capsule result records the capsule update driver leaves:\n"
  "CapsuleLast, CapsuleMax and every Capsule#### (vendor GUID\n"
  "39B68C46-F7FB-441B-B6EC-16B0F69821F3), newest first, and the deferred\n"
  "capsule record FlashUpdateImageName. Each record shows its capsule GUID,\n"
  "time, status by name, payload index, image index and type, capsule file\n"
  "name and target.\n"
  "\n"
  "  --efivars DIR   efivarfs-style directory to read (default\n"
  "                  /sys/firmware/efi/efivars): files NAME-GUID holding 4\n"
  "                  bytes of attributes, then the data\n"
  "  FILE...         read only these variable files (named as efivarfs names\n"
  "                  them) instead of a directory\n"
  "  --json          print one JSON object instead of text\n"
  "\n"
  "Order: the record CapsuleLast names first, then backwards, wrapping from\n"
  "Capsule0000 to the index CapsuleMax names (0x64 when it is absent).\n"
  "Without a readable CapsuleLast the records are listed by index, highest\n"
  "first.\n"
  "\n"
  "Exit status: 0 everything decoded; 1 a variable is truncated or malformed\n"
  "(the others are still shown); 2 bad options or unreadable directory/file.\n";

const char  EfivarsDefault[] = "/sys/firmware/efi/efivars";

/// "Capsule" and four hexadecimal digits, without a NUL.
const size_t  CapsuleNameChars = 11;
const UINT32  DefaultMaxIndex  = 0x64;
const UINT16  UnspecifiedTimeZone = 0x07FF;

struct Problem {
  UINT64         Offset;
  std::string    Message;
};

struct Field {
  std::string    Name;
  json           Value;
  std::string    Text;
};

struct Decoded {
  std::string                Name;
  std::string                Note;        ///< shown after the name (newest, out of range, ...)
  std::vector<Field>         Fields;
  std::vector<Problem>       Problems;
};

/// A NUL-terminated CHAR16 string starting at Offset and ending inside View.
bool
ReadString16 (
  const BYTE_VIEW  &View,
  UINT64           Offset,
  std::u16string   *Text,
  UINT64           *End
  )
{
  Text->clear ();
  for (UINT64 At = Offset;; At += sizeof (CHAR16)) {
    CHAR16  Char;
    if (!View.Read (At, &Char)) {
      return false;
    }

    if (Char == 0) {
      *End = At + sizeof (CHAR16);
      return true;
    }

    Text->push_back ((char16_t)Char);
  }
}

std::string
TimeText (
  const EFI_TIME  &Time
  )
{
  char  Text[64];

  std::snprintf (
    Text,
    sizeof (Text),
    "%04u-%02u-%02u %02u:%02u:%02u",
    Time.Year,
    Time.Month,
    Time.Day,
    Time.Hour,
    Time.Minute,
    Time.Second
    );
  std::string  Result = Text;
  if (Time.Nanosecond != 0) {
    std::snprintf (Text, sizeof (Text), ".%09u", Time.Nanosecond);
    Result += Text;
  }

  if ((UINT16)Time.TimeZone != UnspecifiedTimeZone) {
    Result += ", time zone " + std::to_string (Time.TimeZone) + " min";
  }

  if (Time.Daylight != 0) {
    Result += ", daylight " + Hex (Time.Daylight, 2);
  }

  return Result;
}

/// 2025-01-01T00:00:00, with nanoseconds when there are any.
std::string
IsoTime (
  const EFI_TIME  &Time
  )
{
  char  Text[48];

  std::snprintf (Text, sizeof (Text), "%04u-%02u-%02uT%02u:%02u:%02u", Time.Year, Time.Month, Time.Day, Time.Hour, Time.Minute, Time.Second);
  std::string  Result = Text;
  if (Time.Nanosecond != 0) {
    std::snprintf (Text, sizeof (Text), ".%09u", Time.Nanosecond);
    Result += Text;
  }

  return Result;
}

bool
IsZero (
  const void  *Data,
  size_t      Size
  )
{
  for (size_t Index = 0; Index < Size; Index++) {
    if (((const UINT8 *)Data)[Index] != 0) {
      return false;
    }
  }

  return true;
}

/// The index a "Capsule####" name carries, when Name is one.
bool
RecordIndex (
  const std::string  &Name,
  UINT32             *Index
  )
{
  UINT64  Value;

  if ((Name.size () != CapsuleNameChars) || (Name.compare (0, 7, "Capsule") != 0)) {
    return false;
  }

  for (size_t At = 7; At < CapsuleNameChars; At++) {
    if (!std::isxdigit ((unsigned char)Name[At]) || std::islower ((unsigned char)Name[At])) {
      return false;
    }
  }

  ParseNumber ("0x" + Name.substr (7), 0xFFFF, &Value);
  *Index = (UINT32)Value;
  return true;
}

Decoded
DecodeRecord (
  const EfiVariableFile  &Variable
  )
{
  Decoded                             Result;
  BYTE_VIEW                           Data = { Variable.Data.data (), Variable.Data.size () };
  EFI_CAPSULE_RESULT_VARIABLE_HEADER  Header;
  EFI_CAPSULE_RESULT_VARIABLE_FMP     Fmp;
  BYTE_VIEW                           Record;
  const UINT64                        FmpEnd = sizeof (Header) + sizeof (Fmp);

  Result.Name = Variable.Name;
  Result.Fields.push_back ({ "attributes", Variable.Attributes, Hex (Variable.Attributes, 8) });
  if (!Data.Read (0, &Header)) {
    Result.Problems.push_back ({ Data.Size, "the variable holds " + std::to_string (Data.Size) + " bytes, fewer than the 48-byte record header" });
    return Result;
  }

  Result.Fields.push_back ({ "variable_total_size", Header.VariableTotalSize, std::to_string (Header.VariableTotalSize) });
  if (Header.VariableTotalSize != Data.Size) {
    Result.Problems.push_back ({ 0, "VariableTotalSize says " + std::to_string (Header.VariableTotalSize) + " bytes, the variable holds " +
                                 std::to_string (Data.Size) });
  }

  if (Header.VariableTotalSize < sizeof (Header)) {
    return Result;
  }

  //
  // Only the bytes both the record and the variable hold are read.
  //
  Data.Sub (0, std::min<UINT64>(Header.VariableTotalSize, Data.Size), &Record);

  std::string  Kind = CapsuleKindName (Header.CapsuleGuid);
  Result.Fields.push_back ({ "capsule_guid", FormatGuid (Header.CapsuleGuid),
                             FormatGuid (Header.CapsuleGuid) + (Kind.empty () ? "" : " (" + Kind + ")") });
  if (IsZero (&Header.CapsuleProcessed, sizeof (Header.CapsuleProcessed))) {
    Result.Fields.push_back ({ "capsule_processed", nullptr, "(not set)" });
  } else {
    const EFI_TIME  &Time = Header.CapsuleProcessed;
    Result.Fields.push_back ({ "capsule_processed", IsoTime (Time), TimeText (Time) });
    Result.Fields.push_back ({ "time_zone", (UINT16)Time.TimeZone == UnspecifiedTimeZone ? json (nullptr) : json (Time.TimeZone), "" });
    Result.Fields.push_back ({ "daylight", Time.Daylight, "" });
  }

  Result.Fields.push_back ({ "capsule_status", StatusName (Header.CapsuleStatus), StatusName (Header.CapsuleStatus) });
  Result.Fields.push_back ({ "capsule_status_code", Hex (Header.CapsuleStatus, 16), Hex (Header.CapsuleStatus, 16) });

  if (!CompareGuid (&Header.CapsuleGuid, &gEfiFmpCapsuleGuid)) {
    Result.Note = "not an FMP capsule record: " + std::to_string (Record.Size - sizeof (Header)) + " bytes after the header not decoded";
    return Result;
  }

  if (!Record.Read (sizeof (Header), &Fmp)) {
    Result.Problems.push_back ({ sizeof (Header), "the 20-byte FMP part does not fit before the record's end at byte " + ByteText (Record.Size) });
    return Result;
  }

  if (Fmp.Version != EFI_CAPSULE_RESULT_VARIABLE_FMP_VERSION) {
    Result.Problems.push_back ({ sizeof (Header), "FMP part Version " + std::to_string (Fmp.Version) + "; only version 1 is known" });
    return Result;
  }

  Result.Fields.push_back ({ "payload_index", Fmp.PayloadIndex, std::to_string (Fmp.PayloadIndex) });
  Result.Fields.push_back ({ "update_image_index", Fmp.UpdateImageIndex, std::to_string (Fmp.UpdateImageIndex) });
  Result.Fields.push_back ({ "update_image_type_id", FormatGuid (Fmp.UpdateImageTypeId), FormatGuid (Fmp.UpdateImageTypeId) });

  std::u16string  FileName;
  std::u16string  Target;
  UINT64          FileNameEnd;
  UINT64          TargetEnd;
  if (!ReadString16 (Record, FmpEnd, &FileName, &FileNameEnd)) {
    Result.Problems.push_back ({ FmpEnd, "CapsuleFileName has no NUL before the record's end at byte " + ByteText (Record.Size) });
    return Result;
  }

  Result.Fields.push_back ({ "capsule_file_name", Utf16ToUtf8 (FileName), FileName.empty () ? "(none)" : Utf16ToUtf8 (FileName) });
  if (!ReadString16 (Record, FileNameEnd, &Target, &TargetEnd)) {
    Result.Problems.push_back ({ FileNameEnd, "CapsuleTarget has no NUL before the record's end at byte " + ByteText (Record.Size) });
    return Result;
  }

  Result.Fields.push_back ({ "capsule_target", Utf16ToUtf8 (Target), Target.empty () ? "(none)" : Utf16ToUtf8 (Target) });
  if (TargetEnd != Record.Size) {
    Result.Problems.push_back ({ TargetEnd, std::to_string (Record.Size - TargetEnd) + " bytes follow CapsuleTarget's NUL" });
  }

  return Result;
}

/// "CapsuleLast" or "CapsuleMax": the 11 characters of a record name.
Decoded
DecodeName (
  const EfiVariableFile  &Variable,
  UINT32                 *Index,
  bool                   *Valid
  )
{
  Decoded         Result;
  std::u16string  Text;

  Result.Name = Variable.Name;
  *Valid      = false;
  Result.Fields.push_back ({ "attributes", Variable.Attributes, Hex (Variable.Attributes, 8) });
  if (Variable.Data.size () != CapsuleNameChars * sizeof (CHAR16)) {
    Result.Problems.push_back ({ 0, "holds " + std::to_string (Variable.Data.size ()) + " bytes, not the 22 of a record name" });
    return Result;
  }

  for (size_t At = 0; At < CapsuleNameChars; At++) {
    CHAR16  Char;
    std::memcpy (&Char, Variable.Data.data () + At * sizeof (CHAR16), sizeof (Char));
    Text.push_back ((char16_t)Char);
  }

  std::string  Name = Utf16ToUtf8 (Text);
  Result.Fields.push_back ({ "value", Name, Name });
  if (!RecordIndex (Name, Index)) {
    Result.Problems.push_back ({ 0, "\"" + Name + "\" is not a record name (Capsule and four upper-case hexadecimal digits)" });
    return Result;
  }

  *Valid = true;
  return Result;
}

std::string
HardDriveText (
  const HARDDRIVE_DEVICE_PATH  &Node
  )
{
  char  Text[128];

  if (Node.SignatureType == SIGNATURE_TYPE_GUID) {
    EFI_GUID  Signature;
    std::memcpy (&Signature, Node.Signature, sizeof (Signature));
    std::snprintf (Text, sizeof (Text), "HD(%u,GPT,%s,0x%llX,0x%llX)", Node.PartitionNumber, FormatGuid (Signature).c_str (),
                   (unsigned long long)Node.PartitionStart, (unsigned long long)Node.PartitionSize);
  } else if (Node.SignatureType == SIGNATURE_TYPE_MBR) {
    UINT32  Signature;
    std::memcpy (&Signature, Node.Signature, sizeof (Signature));
    std::snprintf (Text, sizeof (Text), "HD(%u,MBR,0x%08X,0x%llX,0x%llX)", Node.PartitionNumber, Signature,
                   (unsigned long long)Node.PartitionStart, (unsigned long long)Node.PartitionSize);
  } else {
    std::snprintf (Text, sizeof (Text), "HD(%u,%u,0,0x%llX,0x%llX)", Node.PartitionNumber, Node.SignatureType,
                   (unsigned long long)Node.PartitionStart, (unsigned long long)Node.PartitionSize);
  }

  return Text;
}

Decoded
DecodeFlashUpdate (
  const EfiVariableFile  &Variable
  )
{
  Decoded                    Result;
  BYTE_VIEW                  Data = { Variable.Data.data (), Variable.Data.size () };
  FLASH_UPDATE_IMAGE_RECORD  Record;
  HARDDRIVE_DEVICE_PATH      Node;
  UINT16                     Length;

  Result.Name = Variable.Name;
  Result.Fields.push_back ({ "attributes", Variable.Attributes, Hex (Variable.Attributes, 8) });
  if (Data.Size != sizeof (Record)) {
    Result.Problems.push_back ({ std::min<UINT64>(Data.Size, sizeof (Record)), "holds " + std::to_string (Data.Size) + " bytes, not the " +
                                 std::to_string (sizeof (Record)) + " of the record" });
    return Result;
  }

  Data.Read (0, &Record);
  std::memcpy (&Node, Record.HardDriveNode, sizeof (Node));
  std::memcpy (&Length, Node.Header.Length, sizeof (Length));
  if ((Node.Header.Type != MEDIA_DEVICE_PATH) || (Node.Header.SubType != MEDIA_HARDDRIVE_DP) || (Length != sizeof (Node))) {
    Result.Problems.push_back ({ 0, "HardDriveNode is type " + std::to_string (Node.Header.Type) + ", sub-type " +
                                 std::to_string (Node.Header.SubType) + ", length " + std::to_string (Length) +
                                 ": not a 42-byte hard-drive node (4, 1)" });
  } else {
    Result.Fields.push_back ({ "partition", HardDriveText (Node), HardDriveText (Node) });
  }

  std::u16string  Path;
  UINT64          End;
  BYTE_VIEW       Chars;
  Data.Sub (OFFSET_OF (FLASH_UPDATE_IMAGE_RECORD, FilePath), sizeof (Record.FilePath), &Chars);
  if (!ReadString16 (Chars, 0, &Path, &End)) {
    Result.Problems.push_back ({ OFFSET_OF (FLASH_UPDATE_IMAGE_RECORD, FilePath), "FilePath has no NUL in its 256 characters" });
  } else {
    Result.Fields.push_back ({ "file_path", Utf16ToUtf8 (Path), Utf16ToUtf8 (Path) });
  }

  Result.Fields.push_back ({ "file_size", Record.FileSize, std::to_string (Record.FileSize) });
  return Result;
}

json
ToJson (
  const Decoded  &Item
  )
{
  json  Object = { { "name", Item.Name } };
  json  Problems = json::array ();

  for (auto &Entry : Item.Fields) {
    Object[Entry.Name] = Entry.Value;
  }

  for (auto &Entry : Item.Problems) {
    Problems.push_back ({ { "offset", Entry.Offset }, { "message", Entry.Message } });
  }

  if (!Item.Note.empty ()) {
    Object["note"] = Item.Note;
  }

  Object["problems"] = Problems;
  return Object;
}

void
PrintText (
  const Decoded  &Item,
  std::ostream   &Out
  )
{
  Out << Item.Name << (Item.Note.empty () ? "" : " (" + Item.Note + ")") << "\n";
  for (auto &Entry : Item.Fields) {
    if (!Entry.Text.empty ()) {
      Out << "  " << std::left << std::setw (22) << Entry.Name << Entry.Text << "\n";
    }
  }

  for (auto &Entry : Item.Problems) {
    Out << "  " << std::left << std::setw (22) << "PROBLEM" << "at byte " << ByteText (Entry.Offset) << ": " << Entry.Message << "\n";
  }
}

std::vector<std::string>
ListDirectory (
  const std::string  &Path
  )
{
  std::vector<std::string>  Names;
  DIR                       *Directory = opendir (Path.c_str ());

  if (Directory == nullptr) {
    Fail (ExitUsage, "cannot read directory " + Path + ": " + std::strerror (errno) +
          (Path == EfivarsDefault ? " (not booted through UEFI?); give --efivars DIR" : ""));
  }

  while (struct dirent *Entry = readdir (Directory)) {
    Names.push_back (Entry->d_name);
  }

  closedir (Directory);
  std::sort (Names.begin (), Names.end ());
  return Names;
}

}  // namespace

EfiVariableFile
ReadVariableFile (
  const std::string  &Path
  )
{
  EfiVariableFile  Variable;
  std::string      Base  = Path.substr (Path.rfind ('/') == std::string::npos ? 0 : Path.rfind ('/') + 1);
  const size_t     Guid  = 36;
  Bytes            Data;

  Variable.Path = Path;
  if ((Base.size () < Guid + 2) || (Base[Base.size () - Guid - 1] != '-') ||
      !ParseGuid (Base.substr (Base.size () - Guid), &Variable.Guid))
  {
    Variable.Problem = Path + ": the name is not NAME-GUID as efivarfs names variables";
    return Variable;
  }

  Variable.Name = Base.substr (0, Base.size () - Guid - 1);
  Data          = ReadFile (Path);
  if (Data.size () < sizeof (Variable.Attributes)) {
    Variable.Problem = Path + ": holds " + std::to_string (Data.size ()) + " bytes, fewer than the 4 bytes of attributes";
    return Variable;
  }

  std::memcpy (&Variable.Attributes, Data.data (), sizeof (Variable.Attributes));
  Variable.Data.assign (Data.begin () + sizeof (Variable.Attributes), Data.end ());
  return Variable;
}

int
RunResults (
  const Args    &Arguments,
  std::ostream  &Out,
  std::ostream  &Err
  )
{
  ParsedArgs  Parsed = ParseArgs (
                         Arguments,
                         {
                           { "help",    'h', false },
                           { "efivars", 0,   true  },
                           { "json",    0,   false },
                         },
                         "results"
                         );
  std::vector<EfiVariableFile>  Files;
  const EFI_GUID                FlashGuid = FLASH_UPDATE_IMAGE_NAME_GUID;

  if (Parsed.Has ("help")) {
    Out << ResultsHelp;
    return ExitOk;
  }

  if (Parsed.Has ("efivars") && !Parsed.Positional.empty ()) {
    Fail (ExitUsage, "give either --efivars DIR or variable files, not both");
  }

  if (Parsed.Positional.empty ()) {
    std::string  Directory = Parsed.Value ("efivars", EfivarsDefault);
    std::string  Report    = "-" + FormatGuidLower (gEfiCapsuleReportGuid);
    std::string  Flash     = "FlashUpdateImageName-" + FormatGuidLower (FlashGuid);
    UINT32       Index;

    for (auto &Name : ListDirectory (Directory)) {
      bool  Wanted = Name == Flash;
      if ((Name.size () > Report.size ()) && (Name.compare (Name.size () - Report.size (), Report.size (), Report) == 0)) {
        std::string  Variable = Name.substr (0, Name.size () - Report.size ());
        Wanted = Wanted || (Variable == "CapsuleLast") || (Variable == "CapsuleMax") || RecordIndex (Variable, &Index);
      }

      if (Wanted) {
        Files.push_back (ReadVariableFile (Directory + "/" + Name));
      }
    }
  } else {
    for (auto &Path : Parsed.Positional) {
      Files.push_back (ReadVariableFile (Path));
    }
  }

  //
  // Sort the variables into their roles.
  //
  std::map<UINT32, Decoded>  Records;
  std::vector<Decoded>       Others;
  Decoded                    Last, Max, Flash;
  bool                       HasLast = false, HasMax = false, HasFlash = false;
  bool                       LastValid = false, MaxValid = false;
  UINT32                     LastIndex = 0, MaxIndex = DefaultMaxIndex;

  for (auto &File : Files) {
    UINT32  Index;

    if (!File.Problem.empty ()) {
      Others.push_back ({ File.Path, "", {}, { { 0, File.Problem } } });
    } else if (CompareGuid (&File.Guid, &FlashGuid) && (File.Name == "FlashUpdateImageName")) {
      Flash    = DecodeFlashUpdate (File);
      HasFlash = true;
    } else if (!CompareGuid (&File.Guid, &gEfiCapsuleReportGuid)) {
      Others.push_back ({ File.Path, "", {}, { { 0, "not a capsule result variable (vendor GUID " + FormatGuid (File.Guid) + ")" } } });
    } else if (File.Name == "CapsuleLast") {
      Last    = DecodeName (File, &LastIndex, &LastValid);
      HasLast = true;
    } else if (File.Name == "CapsuleMax") {
      UINT32  Value = 0;
      Max      = DecodeName (File, &Value, &MaxValid);
      HasMax   = true;
      MaxIndex = MaxValid ? Value : DefaultMaxIndex;
    } else if (RecordIndex (File.Name, &Index)) {
      Records[Index] = DecodeRecord (File);
    } else {
      Others.push_back ({ File.Path, "", {}, { { 0, "not a capsule result variable name" } } });
    }
  }

  //
  // Newest first: the record CapsuleLast names, then backwards with the
  // wrap from 0 to the highest index; records above that index are stale
  // and come last.
  //
  std::vector<Decoded>  Ordered;
  bool                  ByChain = LastValid && (LastIndex <= MaxIndex);
  if (ByChain) {
    for (UINT32 Step = 0; Step <= MaxIndex; Step++) {
      UINT32  Index = (LastIndex + MaxIndex + 1 - Step) % (MaxIndex + 1);
      auto    Found = Records.find (Index);
      if (Found != Records.end ()) {
        Ordered.push_back (Found->second);
        if (Step == 0) {
          Ordered.back ().Note = "newest";
        }

        Records.erase (Found);
      }
    }

    for (auto &Entry : Records) {
      Ordered.push_back (Entry.second);
      Ordered.back ().Note = "above " + std::string ("Capsule") + Hex (MaxIndex, 4).substr (2) + ": not in the rotation";
    }
  } else {
    for (auto Entry = Records.rbegin (); Entry != Records.rend (); ++Entry) {
      Ordered.push_back (Entry->second);
    }
  }

  size_t  ProblemCount = 0;
  for (auto *Group : { &Ordered, &Others }) {
    for (auto &Item : *Group) {
      ProblemCount += Item.Problems.size ();
    }
  }

  ProblemCount += (HasLast ? Last.Problems.size () : 0) + (HasMax ? Max.Problems.size () : 0) + (HasFlash ? Flash.Problems.size () : 0);

  if (Parsed.Has ("json")) {
    json  Report;
    json  List  = json::array ();
    json  Wrong = json::array ();

    for (auto &Item : Ordered) {
      List.push_back (ToJson (Item));
    }

    for (auto &Item : Others) {
      Wrong.push_back (ToJson (Item));
    }

    Report["capsule_last"]            = HasLast ? ToJson (Last) : json (nullptr);
    Report["capsule_max"]             = HasMax ? ToJson (Max) : json (nullptr);
    Report["order"]                   = ByChain ? "capsule_last" : "index";
    Report["records"]                 = List;
    Report["flash_update_image_name"] = HasFlash ? ToJson (Flash) : json (nullptr);
    Report["other_files"]             = Wrong;
    Report["problem_count"]           = ProblemCount;
    Out << Report.dump (2, ' ', false, json::error_handler_t::replace) << "\n";
  } else {
    if (HasLast) {
      PrintText (Last, Out);
    } else {
      Out << "CapsuleLast (absent)\n";
    }

    if (HasMax) {
      PrintText (Max, Out);
    } else {
      Out << "CapsuleMax (absent)\n";
    }

    if (Ordered.empty ()) {
      Out << "no Capsule#### records\n";
    } else if (!ByChain) {
      Out << "(no usable CapsuleLast: records listed by index, highest first; which is newest is unknown)\n";
    }

    for (auto &Item : Ordered) {
      PrintText (Item, Out);
    }

    if (HasFlash) {
      PrintText (Flash, Out);
    }

    for (auto &Item : Others) {
      PrintText (Item, Out);
    }

    if (ProblemCount != 0) {
      Err << "CapsuleTool results: " << ProblemCount << " problem(s) found; see the PROBLEM lines\n";
    }
  }

  return ProblemCount == 0 ? ExitOk : ExitRefused;
}

}  // namespace CapsuleTool
