#include "ToolTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace ToolTest {

namespace fs = std::filesystem;

TempDir::TempDir ()
{
  std::string  Template = (fs::temp_directory_path () / "CapsuleToolTest.XXXXXX").string ();

  if (mkdtemp (Template.data ()) == nullptr) {
    ADD_FAILURE () << "cannot create a temporary directory";
  }

  mPath = Template;
}

TempDir::~TempDir ()
{
  std::error_code  Ignored;

  fs::remove_all (mPath, Ignored);
}

std::string
TempDir::Write (
  const std::string  &Relative,
  const Bytes        &Data
  ) const
{
  fs::path  Target = fs::path (mPath) / Relative;

  fs::create_directories (Target.parent_path ());
  std::ofstream  File (Target, std::ios::binary | std::ios::trunc);
  File.write ((const char *)Data.data (), (std::streamsize)Data.size ());
  return Target.string ();
}

std::string
TempDir::Write (
  const std::string  &Relative,
  const std::string  &Text
  ) const
{
  return Write (Relative, Bytes (Text.begin (), Text.end ()));
}

bool
TempDir::Exists (
  const std::string  &Relative
  ) const
{
  return fs::exists (fs::path (mPath) / Relative);
}

std::vector<std::string>
TempDir::List (
  const std::string  &Relative
  ) const
{
  std::vector<std::string>  Names;
  std::error_code           Error;

  for (auto &Entry : fs::directory_iterator (fs::path (mPath) / Relative, Error)) {
    Names.push_back (Entry.path ().filename ().string ());
  }

  std::sort (Names.begin (), Names.end ());
  return Names;
}

Outcome
Tool (
  const std::vector<std::string>  &Arguments
  )
{
  std::ostringstream  Out;
  std::ostringstream  Err;
  int                 Code = CapsuleTool::RunTool (Arguments, Out, Err);

  return { Code, Out.str (), Err.str () };
}

Outcome
ToolProgram (
  const std::vector<std::string>  &Arguments
  )
{
  TempDir      Scratch;
  std::string  Command = "'" CAPSULE_TOOL_PROGRAM "'";

  for (auto &Argument : Arguments) {
    Command += " '" + Argument + "'";
  }

  Command += " >'" + Scratch.Path () + "/out' 2>'" + Scratch.Path () + "/err'";
  int    Status = std::system (Command.c_str ());
  Bytes  Out    = Slurp (Scratch.Path () + "/out");
  Bytes  Err    = Slurp (Scratch.Path () + "/err");

  return { WIFEXITED (Status) ? WEXITSTATUS (Status) : -1, std::string (Out.begin (), Out.end ()), std::string (Err.begin (), Err.end ()) };
}

Json
ParseOut (
  const Outcome  &Result
  )
{
  try {
    return Json::parse (Result.Out);
  } catch (const Json::exception &Error) {
    ADD_FAILURE () << "not JSON: " << Error.what () << "\n" << Result.Out << Result.Err;
    return Json ();
  }
}

Bytes
VariableFile (
  UINT32       Attributes,
  const Bytes  &Data
  )
{
  Bytes  File ((const UINT8 *)&Attributes, (const UINT8 *)&Attributes + sizeof (Attributes));

  File.insert (File.end (), Data.begin (), Data.end ());
  return File;
}

void
DumpVariables (
  const Host::Platform  &Platform,
  const std::string     &Directory
  )
{
  fs::create_directories (Directory);
  for (auto &Entry : Platform.Variables ()) {
    std::string    Name = Host::Narrow (Entry.first.first) + "-" + CapsuleTool::FormatGuidLower (Entry.first.second);
    std::ofstream  File (fs::path (Directory) / Name, std::ios::binary | std::ios::trunc);
    Bytes          Data = VariableFile (Entry.second.Attributes, Entry.second.Data);
    File.write ((const char *)Data.data (), (std::streamsize)Data.size ());
  }
}

Bytes
Slurp (
  const std::string  &Path
  )
{
  std::ifstream  File (Path, std::ios::binary);

  return Bytes ((std::istreambuf_iterator<char>(File)), std::istreambuf_iterator<char>());
}

}  // namespace ToolTest
