/** @file
  The machine of a scenario: the test disk and the variable store in the
  scenario's work directory, and QEMU boots of OVMF from them. The disk is a
  GPT image with one EFI system partition at LBA 2048, formatted FAT by
  mtools at the partition's offset; QEMU never runs while mtools touches it.
**/
#include "Runner.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace E2e {

namespace {

constexpr uint64_t  kDiskBytes = 64ull * 1024 * 1024;

bool
ParseGuid (
  const std::string  &Text,
  EFI_GUID           *Guid
  )
{
  std::string  Hex;

  for (char C : Text) {
    if (C != '-') {
      Hex += C;
    }
  }

  if (Hex.size () != 32) {
    return false;
  }

  Bytes  Raw = HexBytes (Hex);
  Guid->Data1 = (static_cast<uint32_t>(Raw[0]) << 24) | (Raw[1] << 16) | (Raw[2] << 8) | Raw[3];
  Guid->Data2 = static_cast<uint16_t>((Raw[4] << 8) | Raw[5]);
  Guid->Data3 = static_cast<uint16_t>((Raw[6] << 8) | Raw[7]);
  for (int Index = 0; Index < 8; Index++) {
    Guid->Data4[Index] = Raw[8 + Index];
  }

  return true;
}

/// The value after "Label: " in sgdisk's report, up to the first space.
std::string
ReportValue (
  const std::string  &Report,
  const std::string  &Label
  )
{
  size_t  At = Report.find (Label + ": ");

  if (At == std::string::npos) {
    return "";
  }

  At += Label.size () + 2;
  size_t  End = Report.find_first_of (" \n", At);
  return Report.substr (At, End - At);
}

/// A "[var] <guid> <name> attr <hex> size <n> data <hex>" line.
bool
ParseVariableLine (
  const std::string  &Line,
  Variable           *Out
  )
{
  std::istringstream  In (Line);
  std::string         Tag, Guid, Name, AttrWord, Attr, SizeWord, Size, DataWord, Data;

  In >> Tag >> Guid >> Name >> AttrWord >> Attr >> SizeWord >> Size >> DataWord >> Data;
  if ((Tag != "[var]") || (AttrWord != "attr") || (SizeWord != "size") || (DataWord != "data") ||
      !ParseGuid (Guid, &Out->Guid))
  {
    return false;
  }

  Out->Name       = Name;
  Out->Attributes = static_cast<uint32_t>(std::stoul (Attr, nullptr, 16));
  Out->Data       = HexBytes (Data);
  return Out->Data.size () == std::stoul (Size);
}

}  // namespace

bool
BootResult::Has (
  const std::string  &Text
  ) const
{
  return Log.find (Text) != std::string::npos;
}

std::vector<std::string>
BootResult::LinesWith (
  const std::string  &Prefix
  ) const
{
  std::vector<std::string>  Found;

  for (const std::string &Line : Lines) {
    if (Line.compare (0, Prefix.size (), Prefix) == 0) {
      Found.push_back (Line);
    }
  }

  return Found;
}

namespace {

const Variable *
FindIn (
  const std::vector<Variable>  &List,
  const std::string            &Name,
  const EFI_GUID               &Guid
  )
{
  for (const Variable &Each : List) {
    if ((Each.Name == Name) && (std::memcmp (&Each.Guid, &Guid, sizeof (Guid)) == 0)) {
      return &Each;
    }
  }

  return nullptr;
}

}  // namespace

const Variable *
BootResult::Find (
  const std::string  &Name,
  const EFI_GUID     &Guid
  ) const
{
  return FindIn (Variables, Name, Guid);
}

const Variable *
BootResult::FindAtReset (
  const std::string  &Name,
  const EFI_GUID     &Guid
  ) const
{
  return FindIn (AtReset, Name, Guid);
}

Machine::Machine (
  const Setup        &Config,
  const std::string  &Name
  ) : mSetup (Config), mDirectory (Config.Work + "/" + Name)
{
}

bool
Machine::Mtools (
  const std::vector<std::string>  &Argv,
  std::string                     *Output
  )
{
  std::vector<std::string>  Full = Argv;
  std::string               Text;

  Full[0] = FindProgram (Argv[0]);
  if (Full[0].empty ()) {
    std::cerr << "runner: " << Argv[0] << " not found\n";
    return false;
  }

  int  Status = RunProgram (Full, &Text);
  if (Output != nullptr) {
    *Output = Text;
  }

  if (Status != 0) {
    std::cerr << "runner: " << Argv[0] << " failed (" << Status << "): " << Text;
    return false;
  }

  return true;
}

bool
Machine::Create ()
{
  std::error_code  Error;

  //
  // mtools must not stop to ask about the FAT's geometry.
  //
  setenv ("MTOOLS_SKIP_CHECK", "1", 1);
  fs::remove_all (mDirectory, Error);
  fs::create_directories (mDirectory + "/files", Error);
  if (Error) {
    std::cerr << "runner: cannot create " << mDirectory << "\n";
    return false;
  }

  WriteFile (DiskImage (), Bytes ());
  fs::resize_file (DiskImage (), kDiskBytes, Error);
  fs::copy_file (mSetup.OvmfVars, mDirectory + "/vars.fd", fs::copy_options::overwrite_existing, Error);
  if (Error) {
    std::cerr << "runner: cannot copy " << mSetup.OvmfVars << "\n";
    return false;
  }

  std::string  Report;
  if (!Mtools ({ "sgdisk", "-n", "1:2048:0", "-t", "1:EF00", DiskImage () }) ||
      !Mtools ({ "sgdisk", "-i", "1", DiskImage () }, &Report) ||
      !ParseGuid (ReportValue (Report, "Partition unique GUID"), &mPartition.UniqueGuid))
  {
    return false;
  }

  mPartition.FirstLba = std::stoull (ReportValue (Report, "First sector"));
  mPartition.LastLba  = std::stoull (ReportValue (Report, "Last sector"));
  uint64_t  Sectors   = mPartition.LastLba - mPartition.FirstLba + 1;
  if (mPartition.FirstLba != 2048) {
    std::cerr << "runner: the partition does not start at LBA 2048\n";
    return false;
  }

  return Mtools ({ "mformat", "-i", FatImage (), "-T", std::to_string (Sectors), "-v", "E2E", "::" }) &&
         MakeDirectory ("/EFI") && MakeDirectory ("/EFI/BOOT") && MakeDirectory ("/E2E") &&
         PutFile ("/EFI/BOOT/BOOTX64.EFI", ReadFile (mSetup.Images + "/E2eHarness.efi")) &&
         PutFile ("/E2E/CapsuleUpdateDxe.efi", ReadFile (mSetup.Images + "/CapsuleUpdateDxe.efi"));
}

bool
Machine::MakeDirectory (
  const std::string  &Path
  )
{
  return Mtools ({ "mmd", "-i", FatImage (), "::" + Path });
}

bool
Machine::PutFile (
  const std::string  &Path,
  const Bytes        &Data
  )
{
  std::string  Host = mDirectory + "/files/put.bin";

  WriteFile (Host, Data);
  return Mtools ({ "mcopy", "-o", "-i", FatImage (), Host, "::" + Path });
}

bool
Machine::SetAttributes (
  const std::string  &Path,
  const std::string  &Flags
  )
{
  return Mtools ({ "mattrib", "-i", FatImage (), Flags, "::" + Path });
}

std::vector<std::string>
Machine::ListDirectory (
  const std::string  &Path,
  bool               *Ok
  )
{
  std::vector<std::string>  Names;
  std::string               Output;

  *Ok = Mtools ({ "mdir", "-a", "-b", "-i", FatImage (), "::" + Path }, &Output);
  std::istringstream  Lines (Output);
  std::string         Line;
  std::string         Prefix = "::" + Path + "/";
  while (std::getline (Lines, Line)) {
    if (Line.compare (0, Prefix.size (), Prefix) != 0) {
      continue;
    }

    std::string  Name = Line.substr (Prefix.size ());
    if (!Name.empty () && (Name.back () == '/')) {
      Name.pop_back ();
    }

    if (!Name.empty () && (Name != ".") && (Name != "..")) {
      Names.push_back (Name);
    }
  }

  return Names;
}

bool
Machine::GetFile (
  const std::string  &Path,
  Bytes              *Data
  )
{
  std::string      Host = mDirectory + "/files/get.bin";
  std::error_code  Error;

  fs::remove (Host, Error);
  if (!Mtools ({ "mcopy", "-n", "-i", FatImage (), "::" + Path, Host })) {
    return false;
  }

  *Data = ReadFile (Host);
  return true;
}

BootResult
Machine::Boot (
  const std::string  &Steps,
  const std::string  &PowerCutMarker
  )
{
  BootResult  Result;

  Result.Number = ++mBoots;
  std::string  Log    = mDirectory + "/boot" + std::to_string (Result.Number) + ".log";
  std::string  Output = mDirectory + "/boot" + std::to_string (Result.Number) + ".qemu.txt";
  WriteText (mDirectory + "/boot" + std::to_string (Result.Number) + ".steps", Steps);
  if (!PutFile ("/E2E/STEP.TXT", Bytes (Steps.begin (), Steps.end ()))) {
    Result.ExitStatus = -1;
    return Result;
  }

  std::error_code  Error;
  fs::remove (Log, Error);
  WriteText (Log, "");

  std::vector<std::string>  Argv = {
    FindProgram (mSetup.Qemu),
    "-machine", "q35,accel=tcg", "-m", "256", "-smp", "1",
    "-no-reboot", "-nodefaults", "-display", "none",
    "-drive", "if=pflash,format=raw,unit=0,readonly=on,file=" + mSetup.OvmfCode,
    "-drive", "if=pflash,format=raw,unit=1,file=" + mDirectory + "/vars.fd",
    "-drive", "format=raw,file=" + DiskImage (),
    "-debugcon", "file:" + Log
  };

  auto   Start = std::chrono::steady_clock::now ();
  pid_t  Child = fork ();
  if (Child == 0) {
    std::vector<char *>  Args;
    for (const std::string &Arg : Argv) {
      Args.push_back (const_cast<char *>(Arg.c_str ()));
    }

    Args.push_back (nullptr);
    int  Out = open (Output.c_str (), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int  In  = open ("/dev/null", O_RDONLY);
    dup2 (In, 0);
    dup2 (Out, 1);
    dup2 (Out, 2);
    execv (Args[0], Args.data ());
    _exit (127);
  }

  int  Status = 0;
  for ( ; ; ) {
    pid_t  Done = waitpid (Child, &Status, WNOHANG);
    if (Done == Child) {
      Result.ExitStatus = WIFEXITED (Status) ? WEXITSTATUS (Status) : -1;
      break;
    }

    double  Elapsed = std::chrono::duration<double> (std::chrono::steady_clock::now () - Start).count ();
    if (!PowerCutMarker.empty () && (ReadFile (Log).size () > 0)) {
      Bytes        Text = ReadFile (Log);
      std::string  Seen (Text.begin (), Text.end ());
      if (Seen.find (PowerCutMarker) != std::string::npos) {
        kill (Child, SIGKILL);
        waitpid (Child, &Status, 0);
        Result.PowerCut = true;
        break;
      }
    }

    if (Elapsed > mSetup.BootTimeout) {
      kill (Child, SIGKILL);
      waitpid (Child, &Status, 0);
      Result.TimedOut = true;
      break;
    }

    std::this_thread::sleep_for (std::chrono::milliseconds (20));
  }

  Result.WallSeconds = std::chrono::duration<double> (std::chrono::steady_clock::now () - Start).count ();
  Bytes  Text = ReadFile (Log);
  Result.Log.assign (Text.begin (), Text.end ());

  std::istringstream  Lines (Result.Log);
  std::string         Line;
  bool                ResetSeen = false;
  while (std::getline (Lines, Line)) {
    Result.Lines.push_back (Line);
    if (Line == "[step] dump-vars") {
      Result.Variables.clear ();
    } else if (Line.compare (0, 8, "[reset] ") == 0) {
      Result.Reset = Line.substr (8, Line.find (',') - 8);
      ResetSeen    = true;
    } else if (Line.compare (0, 6, "[var] ") == 0) {
      Variable  Each;
      if (ParseVariableLine (Line, &Each)) {
        (ResetSeen ? Result.AtReset : Result.Variables).push_back (Each);
      }
    }
  }

  if (mSetup.Verbose) {
    std::cout << "---- boot " << Result.Number << " log (" << Log << ")\n" << Result.Log << "----\n";
  }

  return Result;
}

}  // namespace E2e
