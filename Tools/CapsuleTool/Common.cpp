// Helpers every subcommand uses: files, GUID and number text forms, status
// names, UTF-16 text, and the command-line parser.
#include "CapsuleTool.h"
#include "GuidText.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace CapsuleTool {

void
Fail (
  int                Code,
  const std::string  &Message
  )
{
  throw ToolError (Code, Message);
}

Bytes
ReadFile (
  const std::string  &Path
  )
{
  int          Fd;
  struct stat  Info;
  Bytes        Data;

  Fd = open (Path.c_str (), O_RDONLY | O_CLOEXEC);
  if (Fd < 0) {
    Fail (ExitUsage, "cannot open " + Path + ": " + std::strerror (errno));
  }

  if ((fstat (Fd, &Info) != 0) || S_ISDIR (Info.st_mode)) {
    int  Error = S_ISDIR (Info.st_mode) ? EISDIR : errno;
    close (Fd);
    Fail (ExitUsage, "cannot read " + Path + ": " + std::strerror (Error));
  }

  //
  // efivarfs reports sizes that may differ from what a read returns: read to
  // the end instead of trusting st_size.
  //
  for (;;) {
    UINT8    Chunk[65536];
    ssize_t  Got = read (Fd, Chunk, sizeof (Chunk));

    if (Got < 0) {
      if (errno == EINTR) {
        continue;
      }

      int  Error = errno;
      close (Fd);
      Fail (ExitUsage, "cannot read " + Path + ": " + std::strerror (Error));
    }

    if (Got == 0) {
      break;
    }

    Data.insert (Data.end (), Chunk, Chunk + Got);
  }

  close (Fd);
  return Data;
}

void
WriteFileAtomic (
  const std::string  &Path,
  const Bytes        &Data
  )
{
  std::string  Directory = ".";
  std::string  Temporary;
  size_t       Slash = Path.rfind ('/');
  int          Fd;
  size_t       Done = 0;

  if (Slash != std::string::npos) {
    Directory = Slash == 0 ? "/" : Path.substr (0, Slash);
  }

  Temporary = Path + ".partial";
  Fd        = open (Temporary.c_str (), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (Fd < 0) {
    Fail (ExitUsage, "cannot create " + Temporary + ": " + std::strerror (errno));
  }

  while (Done < Data.size ()) {
    ssize_t  Put = write (Fd, Data.data () + Done, Data.size () - Done);
    if (Put < 0) {
      if (errno == EINTR) {
        continue;
      }

      int  Error = errno;
      close (Fd);
      unlink (Temporary.c_str ());
      Fail (ExitUsage, "cannot write " + Temporary + ": " + std::strerror (Error));
    }

    Done += (size_t)Put;
  }

  if ((fsync (Fd) != 0) || (close (Fd) != 0)) {
    int  Error = errno;
    unlink (Temporary.c_str ());
    Fail (ExitUsage, "cannot write " + Temporary + ": " + std::strerror (Error));
  }

  if (rename (Temporary.c_str (), Path.c_str ()) != 0) {
    int  Error = errno;
    unlink (Temporary.c_str ());
    Fail (ExitUsage, "cannot rename " + Temporary + " to " + Path + ": " + std::strerror (Error));
  }

  //
  // The rename is durable only once the directory is synced.
  //
  Fd = open (Directory.c_str (), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (Fd >= 0) {
    fsync (Fd);
    close (Fd);
  }
}

namespace {

int
HexDigit (
  char  C
  )
{
  if ((C >= '0') && (C <= '9')) {
    return C - '0';
  }

  if ((C >= 'a') && (C <= 'f')) {
    return C - 'a' + 10;
  }

  if ((C >= 'A') && (C <= 'F')) {
    return C - 'A' + 10;
  }

  return -1;
}

}  // namespace

bool
ParseGuid (
  const std::string  &Text,
  EFI_GUID           *Guid
  )
{
  //
  // 8-4-4-4-12 hexadecimal digits; the first three groups are little-endian
  // numbers, the last two are bytes in order.
  //
  static const size_t  Dashes[] = { 8, 13, 18, 23 };
  UINT8                Digits[16];
  size_t               Count = 0;

  if (Text.size () != 36) {
    return false;
  }

  for (size_t Index = 0; Index < Text.size (); Index++) {
    bool  Dash = false;
    for (size_t D : Dashes) {
      Dash = Dash || (D == Index);
    }

    if (Dash) {
      if (Text[Index] != '-') {
        return false;
      }

      continue;
    }

    int  High = HexDigit (Text[Index]);
    int  Low  = (Index + 1 < Text.size ()) ? HexDigit (Text[Index + 1]) : -1;
    if ((High < 0) || (Low < 0)) {
      return false;
    }

    Digits[Count++] = (UINT8)(High * 16 + Low);
    Index++;
  }

  Guid->Data1 = ((UINT32)Digits[0] << 24) | ((UINT32)Digits[1] << 16) | ((UINT32)Digits[2] << 8) | Digits[3];
  Guid->Data2 = (UINT16)((Digits[4] << 8) | Digits[5]);
  Guid->Data3 = (UINT16)((Digits[6] << 8) | Digits[7]);
  for (size_t Index = 0; Index < 8; Index++) {
    Guid->Data4[Index] = Digits[8 + Index];
  }

  return true;
}

std::string
FormatGuid (
  const EFI_GUID  &Guid
  )
{
  return GuidText (Guid);
}

std::string
FormatGuidLower (
  const EFI_GUID  &Guid
  )
{
  return GuidText (Guid, true);
}

bool
ParseNumber (
  const std::string  &Text,
  UINT64             Max,
  UINT64             *Value
  )
{
  UINT64  Result = 0;
  UINT64  Base   = 10;
  size_t  Start  = 0;

  if ((Text.size () > 2) && (Text[0] == '0') && ((Text[1] == 'x') || (Text[1] == 'X'))) {
    Base  = 16;
    Start = 2;
  }

  if (Start == Text.size ()) {
    return false;
  }

  for (size_t Index = Start; Index < Text.size (); Index++) {
    int  Digit = HexDigit (Text[Index]);
    if ((Digit < 0) || ((UINT64)Digit >= Base)) {
      return false;
    }

    if (Result > (MAX_UINT64 - (UINT64)Digit) / Base) {
      return false;
    }

    Result = Result * Base + (UINT64)Digit;
  }

  if (Result > Max) {
    return false;
  }

  *Value = Result;
  return true;
}

std::string
Hex (
  UINT64  Value,
  int     Digits
  )
{
  char  Text[24];

  std::snprintf (Text, sizeof (Text), "0x%0*llX", Digits, (unsigned long long)Value);
  return Text;
}

std::string
ByteText (
  UINT64  Offset
  )
{
  return std::to_string (Offset) + " (" + Hex (Offset) + ")";
}

std::string
StatusName (
  EFI_STATUS  Status
  )
{
  #define STATUS_ENTRY(Name)  { Name, #Name }
  static const struct {
    EFI_STATUS    Value;
    const char    *Name;
  } Names[] = {
    STATUS_ENTRY (EFI_SUCCESS),
    STATUS_ENTRY (EFI_LOAD_ERROR),
    STATUS_ENTRY (EFI_INVALID_PARAMETER),
    STATUS_ENTRY (EFI_UNSUPPORTED),
    STATUS_ENTRY (EFI_BAD_BUFFER_SIZE),
    STATUS_ENTRY (EFI_BUFFER_TOO_SMALL),
    STATUS_ENTRY (EFI_NOT_READY),
    STATUS_ENTRY (EFI_DEVICE_ERROR),
    STATUS_ENTRY (EFI_WRITE_PROTECTED),
    STATUS_ENTRY (EFI_OUT_OF_RESOURCES),
    STATUS_ENTRY (EFI_VOLUME_CORRUPTED),
    STATUS_ENTRY (EFI_VOLUME_FULL),
    STATUS_ENTRY (EFI_NO_MEDIA),
    STATUS_ENTRY (EFI_MEDIA_CHANGED),
    STATUS_ENTRY (EFI_NOT_FOUND),
    STATUS_ENTRY (EFI_ACCESS_DENIED),
    STATUS_ENTRY (EFI_NO_RESPONSE),
    STATUS_ENTRY (EFI_NO_MAPPING),
    STATUS_ENTRY (EFI_TIMEOUT),
    STATUS_ENTRY (EFI_NOT_STARTED),
    STATUS_ENTRY (EFI_ALREADY_STARTED),
    STATUS_ENTRY (EFI_ABORTED),
    STATUS_ENTRY (EFI_ICMP_ERROR),
    STATUS_ENTRY (EFI_TFTP_ERROR),
    STATUS_ENTRY (EFI_PROTOCOL_ERROR),
    STATUS_ENTRY (EFI_INCOMPATIBLE_VERSION),
    STATUS_ENTRY (EFI_SECURITY_VIOLATION),
    STATUS_ENTRY (EFI_CRC_ERROR),
    STATUS_ENTRY (EFI_END_OF_MEDIA),
    STATUS_ENTRY (EFI_END_OF_FILE),
    STATUS_ENTRY (EFI_INVALID_LANGUAGE),
    STATUS_ENTRY (EFI_COMPROMISED_DATA),
    STATUS_ENTRY (EFI_WARN_UNKNOWN_GLYPH),
    STATUS_ENTRY (EFI_WARN_DELETE_FAILURE),
    STATUS_ENTRY (EFI_WARN_WRITE_FAILURE),
    STATUS_ENTRY (EFI_WARN_BUFFER_TOO_SMALL),
    STATUS_ENTRY (EFI_WARN_STALE_DATA),
  };
  #undef STATUS_ENTRY

  for (auto &Entry : Names) {
    if (Entry.Value == Status) {
      return Entry.Name;
    }
  }

  return Hex (Status, 16);
}

std::string
Utf16ToUtf8 (
  const std::u16string  &Text
  )
{
  std::string  Result;

  for (size_t Index = 0; Index < Text.size (); Index++) {
    UINT32  Code = Text[Index];

    if ((Code >= 0xD800) && (Code < 0xDC00) && (Index + 1 < Text.size ()) &&
        (Text[Index + 1] >= 0xDC00) && (Text[Index + 1] < 0xE000))
    {
      Code = 0x10000 + ((Code - 0xD800) << 10) + (Text[Index + 1] - 0xDC00);
      Index++;
    } else if ((Code >= 0xD800) && (Code < 0xE000)) {
      Code = 0xFFFD;   // a lone surrogate
    }

    if (Code < 0x80) {
      Result += (char)Code;
    } else if (Code < 0x800) {
      Result += (char)(0xC0 | (Code >> 6));
      Result += (char)(0x80 | (Code & 0x3F));
    } else if (Code < 0x10000) {
      Result += (char)(0xE0 | (Code >> 12));
      Result += (char)(0x80 | ((Code >> 6) & 0x3F));
      Result += (char)(0x80 | (Code & 0x3F));
    } else {
      Result += (char)(0xF0 | (Code >> 18));
      Result += (char)(0x80 | ((Code >> 12) & 0x3F));
      Result += (char)(0x80 | ((Code >> 6) & 0x3F));
      Result += (char)(0x80 | (Code & 0x3F));
    }
  }

  return Result;
}

std::u16string
Utf8ToUtf16 (
  const std::string  &Text
  )
{
  std::u16string  Result;
  size_t          Index = 0;

  while (Index < Text.size ()) {
    UINT8   Lead = (UINT8)Text[Index];
    UINT32  Code;
    size_t  Extra;

    if (Lead < 0x80) {
      Code  = Lead;
      Extra = 0;
    } else if ((Lead & 0xE0) == 0xC0) {
      Code  = Lead & 0x1F;
      Extra = 1;
    } else if ((Lead & 0xF0) == 0xE0) {
      Code  = Lead & 0x0F;
      Extra = 2;
    } else if ((Lead & 0xF8) == 0xF0) {
      Code  = Lead & 0x07;
      Extra = 3;
    } else {
      Fail (ExitUsage, "\"" + Text + "\" is not UTF-8 (byte " + std::to_string (Index) + ")");
    }

    if (Index + Extra >= Text.size ()) {
      Fail (ExitUsage, "\"" + Text + "\" is not UTF-8 (byte " + std::to_string (Index) + ")");
    }

    for (size_t Next = 1; Next <= Extra; Next++) {
      UINT8  Byte = (UINT8)Text[Index + Next];
      if ((Byte & 0xC0) != 0x80) {
        Fail (ExitUsage, "\"" + Text + "\" is not UTF-8 (byte " + std::to_string (Index + Next) + ")");
      }

      Code = (Code << 6) | (Byte & 0x3F);
    }

    if (Code >= 0x10000) {
      Code -= 0x10000;
      Result += (char16_t)(0xD800 + (Code >> 10));
      Result += (char16_t)(0xDC00 + (Code & 0x3FF));
    } else {
      Result += (char16_t)Code;
    }

    Index += 1 + Extra;
  }

  return Result;
}

std::string
CapsuleKindName (
  const EFI_GUID  &Guid
  )
{
  std::string  Name;

  if (CompareGuid (&Guid, &gEfiFmpCapsuleGuid)) {
    return "FMP capsule";
  }

  if (IsWrapperCapsule (&Guid)) {
    Name = "wrapper";
  }

  if (IsDeferredCapsule (&Guid)) {
    Name += Name.empty () ? "deferred as a capsule file" : "; deferred as a capsule file";
  }

  return Name;
}

bool
ParsedArgs::Has (
  const std::string  &Name
  ) const
{
  for (auto &Option : Options) {
    if (Option.first == Name) {
      return true;
    }
  }

  return false;
}

std::string
ParsedArgs::Value (
  const std::string  &Name,
  const std::string  &Default
  ) const
{
  std::string  Result = Default;

  for (auto &Option : Options) {
    if (Option.first == Name) {
      Result = Option.second;
    }
  }

  return Result;
}

std::vector<std::string>
ParsedArgs::Values (
  const std::string  &Name
  ) const
{
  std::vector<std::string>  Result;

  for (auto &Option : Options) {
    if (Option.first == Name) {
      Result.push_back (Option.second);
    }
  }

  return Result;
}

ParsedArgs
ParseArgs (
  const Args                     &Arguments,
  const std::vector<OptionDef>  &Defs,
  const std::string              &Command
  )
{
  ParsedArgs  Parsed;
  bool        OptionsEnded = false;

  for (size_t Index = 0; Index < Arguments.size (); Index++) {
    const std::string  &Argument = Arguments[Index];
    const OptionDef   *Def     = nullptr;
    std::string        Inline;
    bool               HasInline = false;

    if (OptionsEnded || (Argument.size () < 2) || (Argument[0] != '-')) {
      Parsed.Positional.push_back (Argument);
      continue;
    }

    if (Argument == "--") {
      OptionsEnded = true;
      continue;
    }

    if (Argument[1] == '-') {
      std::string  Name  = Argument.substr (2);
      size_t       Equal = Name.find ('=');
      if (Equal != std::string::npos) {
        Inline    = Name.substr (Equal + 1);
        HasInline = true;
        Name      = Name.substr (0, Equal);
      }

      for (auto &Candidate : Defs) {
        if (Name == Candidate.Long) {
          Def = &Candidate;
        }
      }
    } else if (Argument.size () == 2) {
      for (auto &Candidate : Defs) {
        if ((Candidate.Short != 0) && (Argument[1] == Candidate.Short)) {
          Def = &Candidate;
        }
      }
    }

    if (Def == nullptr) {
      Fail (ExitUsage, "unknown option " + Argument + " (see " + Command + " --help)");
    }

    if (!Def->TakesValue) {
      if (HasInline) {
        Fail (ExitUsage, std::string ("option --") + Def->Long + " takes no value");
      }

      Parsed.Options.push_back ({ Def->Long, "" });
      continue;
    }

    if (!HasInline) {
      if (Index + 1 >= Arguments.size ()) {
        Fail (ExitUsage, std::string ("option --") + Def->Long + " needs a value");
      }

      Inline = Arguments[++Index];
    }

    Parsed.Options.push_back ({ Def->Long, Inline });
  }

  return Parsed;
}

}  // namespace CapsuleTool
