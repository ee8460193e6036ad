// stage: what an operating system does to deliver a capsule on disk. The
// capsule is copied into EFI/UpdateCapsule on the EFI system partition, then
// bit 2 of OsIndications is set (its attributes kept), so the driver takes
// the file in at the next boot.
#include "CapsuleTool.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <linux/fs.h>
#include <ostream>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace CapsuleTool {

namespace {

const char  StageHelp[] =
  "usage: CapsuleTool stage CAPSULE [--esp DIR] [--efivars DIR] [--name NAME] [--force]\n"
  "\n"
  "Delivers a capsule on disk as an operating system does: copies it to\n"
  "EFI/UpdateCapsule/NAME on the EFI system partition, then sets bit 2 of\n"
  "OsIndications (keeping its attributes; created with attributes 0x7 when\n"
  "absent). The capsule update driver takes the file in at the next boot.\n"
  "\n"
  "  --esp DIR       the mounted EFI system partition (default: the vfat\n"
  "                  file system mounted at /boot/efi, /efi or /boot)\n"
  "  --efivars DIR   the efivarfs directory (default /sys/firmware/efi/efivars);\n"
  "                  each file holds 4 bytes of attributes, then the data\n"
  "  --name NAME     the file name in EFI/UpdateCapsule (default: CAPSULE's name)\n"
  "  --force         stage even when the driver would not take the capsule\n"
  "\n"
  "The capsule is first judged as a capsule file (see inspect --as-file) and\n"
  "refused when the driver would delete or refuse it. The copy is written to a\n"
  "temporary name, synced and renamed, and only then is the bit set.\n"
  "\n"
  "Exit status: 0 staged; 1 refused (the driver would not take the capsule,\n"
  "or the ESP lacks room); 2 bad options, no ESP or efivarfs found, or an I/O\n"
  "failure.\n";

const char  EfivarsDefault[] = "/sys/firmware/efi/efivars";

bool
IsDirectory (
  const std::string  &Path
  )
{
  struct stat  Info;

  return (stat (Path.c_str (), &Info) == 0) && S_ISDIR (Info.st_mode);
}

/// The vfat file system mounted where distributions mount the ESP.
std::string
FindEsp ()
{
  std::ifstream  Mounts ("/proc/self/mounts");
  std::string    Line;
  std::string    Found;
  const char     *Candidates[] = { "/boot/efi", "/efi", "/boot" };

  std::vector<std::pair<std::string, std::string>>  Table;
  while (std::getline (Mounts, Line)) {
    std::istringstream  Fields (Line);
    std::string         Device, Point, Type;
    Fields >> Device >> Point >> Type;
    Table.push_back ({ Point, Type });
  }

  for (const char *Candidate : Candidates) {
    for (auto &Entry : Table) {
      if ((Entry.first == Candidate) && (Entry.second == "vfat")) {
        return Candidate;
      }
    }
  }

  Fail (ExitUsage, "no EFI system partition (vfat) mounted at /boot/efi, /efi or /boot; give --esp DIR");
}

void
MakeDirectory (
  const std::string  &Path
  )
{
  if ((mkdir (Path.c_str (), 0755) != 0) && (errno != EEXIST)) {
    Fail (ExitUsage, "cannot create " + Path + ": " + std::strerror (errno));
  }

  if (!IsDirectory (Path)) {
    Fail (ExitUsage, Path + " exists and is not a directory");
  }
}

/// Sets or clears the immutable flag efivarfs puts on variable files (Linux
/// refuses writes to them while it is set). Returns whether the flag was
/// set before; file systems without flags are left alone.
bool
SetImmutable (
  const std::string  &Path,
  bool               Immutable
  )
{
  int   Fd = open (Path.c_str (), O_RDONLY | O_CLOEXEC);
  int   Flags;
  bool  Was;

  if (Fd < 0) {
    return false;
  }

  if (ioctl (Fd, FS_IOC_GETFLAGS, &Flags) != 0) {
    close (Fd);
    return false;
  }

  Was   = (Flags & FS_IMMUTABLE_FL) != 0;
  Flags = Immutable ? (Flags | FS_IMMUTABLE_FL) : (Flags & ~FS_IMMUTABLE_FL);
  if ((Was != Immutable) && (ioctl (Fd, FS_IOC_SETFLAGS, &Flags) != 0)) {
    int  Error = errno;
    close (Fd);
    Fail (ExitUsage, "cannot change the immutable flag of " + Path + ": " + std::strerror (Error));
  }

  close (Fd);
  return Was;
}

/// Writes a variable file in one write(), as efivarfs requires.
void
WriteVariable (
  const std::string  &Path,
  UINT32             Attributes,
  UINT64             Value
  )
{
  UINT8    Record[sizeof (Attributes) + sizeof (Value)];
  int      Fd;
  ssize_t  Put;

  std::memcpy (Record, &Attributes, sizeof (Attributes));
  std::memcpy (Record + sizeof (Attributes), &Value, sizeof (Value));
  Fd = open (Path.c_str (), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (Fd < 0) {
    Fail (ExitUsage, "cannot open " + Path + " for writing: " + std::strerror (errno));
  }

  Put = write (Fd, Record, sizeof (Record));
  if ((Put != (ssize_t)sizeof (Record)) || (close (Fd) != 0)) {
    int  Error = Put < 0 ? errno : EIO;
    Fail (ExitUsage, "cannot write " + Path + ": " + std::strerror (Error));
  }
}

}  // namespace

int
RunStage (
  const Args    &Arguments,
  std::ostream  &Out,
  std::ostream  &Err
  )
{
  ParsedArgs  Parsed = ParseArgs (
                         Arguments,
                         {
                           { "help",    'h', false },
                           { "esp",     0,   true  },
                           { "efivars", 0,   true  },
                           { "name",    0,   true  },
                           { "force",   0,   false },
                         },
                         "stage"
                         );

  if (Parsed.Has ("help")) {
    Out << StageHelp;
    return ExitOk;
  }

  if (Parsed.Positional.size () != 1) {
    Fail (ExitUsage, "stage takes one capsule file (see stage --help)");
  }

  const std::string  &Source = Parsed.Positional[0];
  std::string        Name    = Parsed.Value ("name", Source.substr (Source.rfind ('/') == std::string::npos ? 0 : Source.rfind ('/') + 1));
  std::string        Efivars = Parsed.Value ("efivars", EfivarsDefault);
  std::string        Esp     = Parsed.Has ("esp") ? Parsed.Value ("esp") : "";

  if (Name.empty () || (Name == ".") || (Name == "..") || (Name.find_first_of ("/\\") != std::string::npos)) {
    Fail (ExitUsage, "\"" + Name + "\" is not a file name for EFI/UpdateCapsule");
  }

  for (char C : Name) {
    if ((UINT8)C < 0x20) {
      Fail (ExitUsage, "the file name has a control character");
    }
  }

  Bytes        Capsule = ReadFile (Source);
  FileContext  Context;
  Context.AsFile = true;
  Context.Name   = Name;
  Verdict  Result = Judge (Capsule, Context);
  if (!Result.Accepted ()) {
    if (!Parsed.Has ("force")) {
      Fail (ExitRefused, "not staged: " + VerdictSummary (Result) + " (see inspect --as-file; --force stages it anyway)");
    }

    Err << "CapsuleTool stage: warning: staging anyway: " << VerdictSummary (Result) << "\n";
  }

  if (Esp.empty ()) {
    Esp = FindEsp ();
  }

  if (!IsDirectory (Esp)) {
    Fail (ExitUsage, "--esp " + Esp + " is not a directory");
  }

  if (!IsDirectory (Efivars)) {
    Fail (ExitUsage, "no efivarfs directory at " + Efivars + (Parsed.Has ("efivars") ? "" : " (not booted through UEFI?); give --efivars DIR"));
  }

  //
  // Room: the copy takes whole blocks, and is written beside any file it
  // replaces before the rename frees that one.
  //
  struct statvfs  Volume;
  if (statvfs (Esp.c_str (), &Volume) != 0) {
    Fail (ExitUsage, "cannot query free space of " + Esp + ": " + std::strerror (errno));
  }

  UINT64  Block     = Volume.f_frsize != 0 ? Volume.f_frsize : Volume.f_bsize;
  UINT64  Needed    = (Capsule.size () + Block - 1) / Block * Block;
  UINT64  Available = (UINT64)Volume.f_bavail * Block;
  if (Needed > Available) {
    Fail (ExitRefused, "not staged: " + Esp + " has " + std::to_string (Available) + " bytes free, the capsule needs " +
          std::to_string (Needed) + " (" + std::to_string (Capsule.size ()) + " bytes in " + std::to_string (Block) + "-byte blocks)");
  }

  //
  // OsIndications must be readable before anything is written, so a bad
  // variable leaves the ESP untouched.
  //
  std::string  Indications = Efivars + "/OsIndications-" + FormatGuidLower (gEfiGlobalVariableGuid);
  UINT32       Attributes  = EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS;
  UINT64       Value       = 0;
  bool         Exists      = access (Indications.c_str (), F_OK) == 0;
  if (Exists) {
    EfiVariableFile  Current = ReadVariableFile (Indications);
    if (!Current.Problem.empty ()) {
      Fail (ExitUsage, Current.Problem);
    }

    if (Current.Data.size () != sizeof (Value)) {
      Fail (ExitUsage, Indications + " holds " + std::to_string (Current.Data.size ()) + " bytes of data, not the 8 of a UINT64; left unchanged");
    }

    Attributes = Current.Attributes;
    std::memcpy (&Value, Current.Data.data (), sizeof (Value));
  }

  std::string  Supported = Efivars + "/OsIndicationsSupported-" + FormatGuidLower (gEfiGlobalVariableGuid);
  if (access (Supported.c_str (), F_OK) == 0) {
    EfiVariableFile  Support = ReadVariableFile (Supported);
    UINT64           Bits    = 0;
    std::memcpy (&Bits, Support.Data.data (), std::min (Support.Data.size (), sizeof (Bits)));
    if ((Bits & EFI_OS_INDICATIONS_FILE_CAPSULE_DELIVERY_SUPPORTED) == 0) {
      Err << "CapsuleTool stage: warning: OsIndicationsSupported does not announce capsule delivery on disk (bit 2)\n";
    }
  }

  std::string  Directory = Esp + "/EFI/UpdateCapsule";
  std::string  Target    = Directory + "/" + Name;
  MakeDirectory (Esp + "/EFI");
  MakeDirectory (Directory);
  WriteFileAtomic (Target, Capsule);

  UINT64  NewValue = Value | EFI_OS_INDICATIONS_FILE_CAPSULE_DELIVERY_SUPPORTED;
  if (!Exists || (NewValue != Value)) {
    try {
      bool  WasImmutable = Exists && SetImmutable (Indications, false);

      WriteVariable (Indications, Attributes, NewValue);
      if (WasImmutable) {
        SetImmutable (Indications, true);
      }

      EfiVariableFile  Check = ReadVariableFile (Indications);
      UINT64           Now   = 0;
      std::memcpy (&Now, Check.Data.data (), std::min (Check.Data.size (), sizeof (Now)));
      if ((Check.Data.size () != sizeof (Now)) || (Now != NewValue)) {
        Fail (ExitUsage, Indications + " does not hold " + Hex (NewValue, 16) + " after the write");
      }
    } catch (const ToolError &) {
      //
      // Without the request bit the copy would wait for someone else's
      // request: take it back.
      //
      unlink (Target.c_str ());
      throw;
    }
  }

  Out << "staged " << Target << " (" << Capsule.size () << " bytes)\n";
  if (!Exists) {
    Out << "OsIndications created: " << Hex (NewValue, 16) << ", attributes " << Hex (Attributes, 8) << "\n";
  } else if (NewValue != Value) {
    Out << "OsIndications " << Hex (Value, 16) << " -> " << Hex (NewValue, 16) << ", attributes " << Hex (Attributes, 8) << " kept\n";
  } else {
    Out << "OsIndications " << Hex (Value, 16) << " already requests capsules on disk\n";
  }

  Out << "at the next boot: " << VerdictSummary (Result) << "\n";
  return ExitOk;
}

}  // namespace CapsuleTool
