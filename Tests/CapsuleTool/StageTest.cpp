// stage into a temporary ESP and efivarfs tree: the copy, the request bit
// with the variable's attributes kept, and the refusals (a capsule the driver
// would not take, a full ESP, an OsIndications of the wrong size).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "ToolTestSupport.h"

using namespace ToolTest;

namespace {

const char  KindA[]     = "11111111-2222-3333-0102-030405060708";
const char  Indications[] = "vars/OsIndications-8be4df61-93ca-11d2-aa0d-00e098032b8c";

/// A plain capsule of KindA, built by the tool, Size bytes in all.
std::string
MakeCapsule (
  const TempDir  &Dir,
  size_t         Size
  )
{
  std::string  Body = Dir.Write ("in/body.bin", Fill (Size - 28, 7));
  Outcome          Built = Tool ({ "build", "-o", Dir.Path () + "/in/update.cap", "--guid", KindA, "--body", Body });

  EXPECT_EQ (Built.Code, 0) << Built.Err;
  return Dir.Path () + "/in/update.cap";
}

Bytes
Indication (
  UINT32  Attributes,
  UINT64  Value
  )
{
  Bytes  Data ((const UINT8 *)&Value, (const UINT8 *)&Value + sizeof (Value));

  return VariableFile (Attributes, Data);
}

/// Sets or clears the immutable flag of Path; false when the file system has
/// no such flag or refuses.
bool
MakeImmutable (
  const std::string  &Path,
  bool               Immutable
  )
{
  int   Fd = open (Path.c_str (), O_RDONLY);
  int   Flags;
  bool  Done;

  if (Fd < 0) {
    return false;
  }

  Done = ioctl (Fd, FS_IOC_GETFLAGS, &Flags) == 0;
  Flags = Immutable ? (Flags | FS_IMMUTABLE_FL) : (Flags & ~FS_IMMUTABLE_FL);
  Done  = Done && (ioctl (Fd, FS_IOC_SETFLAGS, &Flags) == 0);
  close (Fd);
  return Done;
}

bool
IsImmutable (
  const std::string  &Path
  )
{
  int  Fd    = open (Path.c_str (), O_RDONLY);
  int  Flags = 0;

  if (Fd >= 0) {
    ioctl (Fd, FS_IOC_GETFLAGS, &Flags);
    close (Fd);
  }

  return (Flags & FS_IMMUTABLE_FL) != 0;
}

}  // namespace

TEST (Stage, CopiesTheCapsuleAndSetsBitTwoKeepingTheAttributes)
{
  struct Case {
    const char    *What;
    bool          Present;
    UINT32        Attributes;
    UINT64        Before;
    UINT64        After;
  };
  const Case  Cases[] = {
    { "absent: created with attributes 7", false, 0, 0, 0x4 },
    { "other bits kept",                   true, 0x7, 0x1, 0x5 },
    { "attributes kept",                   true, 0x6, 0x0, 0x4 },
    { "bit already set",                   true, 0x7, 0x4, 0x4 },
  };

  for (auto &Case : Cases) {
    SCOPED_TRACE (Case.What);
    TempDir      Dir;
    std::string  Capsule = MakeCapsule (Dir, 300);
    Dir.Write ("esp/EFI/BOOT/BOOTX64.EFI", Fill (10, 0));
    Dir.Write ("vars/Boot0000-8be4df61-93ca-11d2-aa0d-00e098032b8c", VariableFile (7, Fill (20, 1)));
    if (Case.Present) {
      Dir.Write (Indications, Indication (Case.Attributes, Case.Before));
    }

    Outcome  Staged = Tool ({ "stage", Capsule, "--esp", Dir.Path () + "/esp", "--efivars", Dir.Path () + "/vars", "--name", "FW1.CAP" });
    ASSERT_EQ (Staged.Code, 0) << Staged.Err;
    EXPECT_EQ (Slurp (Dir.Path () + "/esp/EFI/UpdateCapsule/FW1.CAP"), Slurp (Capsule));
    EXPECT_EQ (Dir.List ("esp/EFI/UpdateCapsule"), std::vector<std::string>{ "FW1.CAP" }) << "no temporary file left";
    EXPECT_EQ (Slurp (Dir.Path () + "/" + Indications), Indication (Case.Present ? Case.Attributes : 7, Case.After));
    EXPECT_EQ (Dir.List ("vars").size (), 2u) << "no other variable written";
    EXPECT_NE (Staged.Out.find ("the driver hands it to the protocol installed under " + std::string (KindA)), std::string::npos) << Staged.Out;
  }
}

TEST (Stage, RefusesWhatTheDriverWouldNotTakeAndLeavesEverythingUntouched)
{
  struct Case {
    const char                                 *What;
    std::function<void (const TempDir &, std::string &)>  Break;   // changes the capsule file or the tree
    std::vector<std::string>                   Extra;
    int                                        Code;
    const char                                 *Message;
  };
  const Case  Cases[] = {
    { "size differs from CapsuleImageSize",
      [](const TempDir &Dir, std::string &Capsule) { Bytes B = Slurp (Capsule); B.push_back (0); Dir.Write ("in/update.cap", B); },
      {}, 1, "deletes the file without dispatching it: CapsuleImageSize says 300 bytes, the file holds 301 (at byte 24 (0x18))" },
    { "empty file",
      [](const TempDir &Dir, std::string &Capsule) { Dir.Write ("in/update.cap", Bytes ()); },
      {}, 1, "leaves the file without dispatching it: the file is empty" },
    { "OsIndications of four bytes",
      [](const TempDir &Dir, std::string &) { Dir.Write (Indications, VariableFile (7, { 4, 0, 0, 0 })); },
      {}, 2, "holds 4 bytes of data, not the 8 of a UINT64" },
    { "no efivarfs directory",
      [](const TempDir &Dir, std::string &) {},
      { "--efivars", "/nonexistent/efivars" }, 2, "no efivarfs directory at /nonexistent/efivars" },
    { "a name with a slash",
      [](const TempDir &Dir, std::string &) {},
      { "--name", "a/b" }, 2, "is not a file name" },
  };

  for (auto &Case : Cases) {
    SCOPED_TRACE (Case.What);
    TempDir      Dir;
    std::string  Capsule = MakeCapsule (Dir, 300);
    Dir.Write ("esp/EFI/BOOT/BOOTX64.EFI", Fill (10, 0));
    Dir.Write ("vars/.keep", Bytes ());
    Case.Break (Dir, Capsule);
    Bytes  VariableBefore = Slurp (Dir.Path () + "/" + Indications);

    std::vector<std::string>  Arguments = { "stage", Capsule, "--esp", Dir.Path () + "/esp", "--efivars", Dir.Path () + "/vars" };
    Arguments.insert (Arguments.end (), Case.Extra.begin (), Case.Extra.end ());
    Outcome  Staged = Tool (Arguments);
    EXPECT_EQ (Staged.Code, Case.Code);
    EXPECT_NE (Staged.Err.find (Case.Message), std::string::npos) << Staged.Err;
    EXPECT_FALSE (Dir.Exists ("esp/EFI/UpdateCapsule")) << "nothing copied";
    EXPECT_EQ (Slurp (Dir.Path () + "/" + Indications), VariableBefore) << "OsIndications unchanged";
  }
}

TEST (Stage, ForceStagesACapsuleTheDriverWouldRefuseWithAWarning)
{
  TempDir      Dir;
  std::string  Capsule = MakeCapsule (Dir, 300);
  Bytes        Longer  = Slurp (Capsule);

  Longer.push_back (0);
  Dir.Write ("in/update.cap", Longer);
  Dir.Write ("esp/.keep", Bytes ());
  Dir.Write ("vars/.keep", Bytes ());
  Outcome  Staged = Tool ({ "stage", Capsule, "--esp", Dir.Path () + "/esp", "--efivars", Dir.Path () + "/vars", "--force" });
  EXPECT_EQ (Staged.Code, 0) << Staged.Err;
  EXPECT_NE (Staged.Err.find ("warning: staging anyway"), std::string::npos) << Staged.Err;
  EXPECT_EQ (Slurp (Dir.Path () + "/esp/EFI/UpdateCapsule/update.cap"), Longer);
  EXPECT_EQ (Slurp (Dir.Path () + "/" + Indications), Indication (7, 4));
}

TEST (Stage, RefusesWhenTheEspLacksRoom)
{
  //
  // A 64 KiB file system of its own, in a mount namespace of its own so the
  // mount vanishes with the command. Needs the right to make namespaces.
  //
  TempDir      Dir;
  Dir.Write ("small.cap", Slurp (MakeCapsule (Dir, 1024)));
  std::string  Capsule = MakeCapsule (Dir, 200 * 1024);
  Dir.Write ("esp/.keep", Bytes ());
  Dir.Write ("vars/.keep", Bytes ());

  if (std::system ("unshare --mount true 2>/dev/null") != 0) {
    GTEST_SKIP () << "cannot make a mount namespace here";
  }

  auto  StageOn64KiB = [&](const std::string &File) {
                         std::string  Script = Dir.Write (
                                                 "stage.sh",
                                                 "mount -t tmpfs -o size=64k tmpfs '" + Dir.Path () + "/esp' || exit 99\n'" CAPSULE_TOOL_PROGRAM "' stage '" +
                                                 File + "' --esp '" + Dir.Path () + "/esp' --efivars '" + Dir.Path () + "/vars' --name X.CAP >/dev/null 2>'" +
                                                 Dir.Path () + "/err'\necho $? >'" + Dir.Path () + "/code'\n"
                                                 );
                         std::system (("unshare --mount --propagation private sh '" + Script + "'").c_str ());
                         Bytes  Code = Slurp (Dir.Path () + "/code");
                         Bytes  Err  = Slurp (Dir.Path () + "/err");
                         return std::make_pair (std::string (Code.begin (), Code.end ()), std::string (Err.begin (), Err.end ()));
                       };

  auto  Big = StageOn64KiB (Capsule);
  EXPECT_EQ (Big.first, "1\n");
  EXPECT_NE (Big.second.find ("bytes free, the capsule needs 204800"), std::string::npos) << Big.second;
  EXPECT_EQ (Slurp (Dir.Path () + "/" + Indications), Bytes ()) << "OsIndications not created";

  auto  Fits = StageOn64KiB (Dir.Path () + "/small.cap");
  EXPECT_EQ (Fits.first, "0\n") << Fits.second;
  EXPECT_EQ (Slurp (Dir.Path () + "/" + Indications), Indication (7, 4));
}

TEST (Stage, WritesAnImmutableOsIndicationsAndMakesItImmutableAgain)
{
  //
  // efivarfs marks variable files immutable; the write must lift the flag
  // and put it back.
  //
  TempDir      Dir;
  std::string  Capsule  = MakeCapsule (Dir, 100);
  std::string  Variable = Dir.Write (Indications, Indication (7, 0x1));
  Dir.Write ("esp/.keep", Bytes ());
  if (!MakeImmutable (Variable, true)) {
    GTEST_SKIP () << "no immutable flag on this file system";
  }

  Outcome  Staged = Tool ({ "stage", Capsule, "--esp", Dir.Path () + "/esp", "--efivars", Dir.Path () + "/vars" });
  EXPECT_TRUE (IsImmutable (Variable));
  MakeImmutable (Variable, false);
  EXPECT_EQ (Staged.Code, 0) << Staged.Err;
  EXPECT_EQ (Slurp (Variable), Indication (7, 0x5));
}
