/** @file
  Helpers for the capsule tool's tests: a temporary directory tree, running
  the tool's command line in process or as its own program, and efivarfs
  files of a simulated platform's variables.
**/
#ifndef TOOL_TEST_SUPPORT_H_
#define TOOL_TEST_SUPPORT_H_

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "CapsuleBuilder.h"
#include "CapsuleTool.h"
#include "HostPlatform.h"

namespace ToolTest {

using CapsuleTool::Bytes;
using Json = nlohmann::ordered_json;

/// A directory under the system's temporary directory, removed with all it
/// holds when the object goes.
class TempDir {
public:
  TempDir ();
  ~TempDir ();
  TempDir (const TempDir &)            = delete;
  TempDir &operator= (const TempDir &) = delete;

  const std::string &Path () const { return mPath; }
  /// Writes Data to Relative (directories created) and returns its path.
  std::string Write (const std::string &Relative, const Bytes &Data) const;
  std::string Write (const std::string &Relative, const std::string &Text) const;
  bool Exists (const std::string &Relative) const;
  std::vector<std::string> List (const std::string &Relative) const;

private:
  std::string  mPath;
};

struct Outcome {
  int            Code;
  std::string    Out;
  std::string    Err;
};

/// The tool's command line, run in this process.
Outcome Tool (const std::vector<std::string> &Arguments);

/// The tool's program, run as its own process (stdout and stderr apart).
Outcome ToolProgram (const std::vector<std::string> &Arguments);

/// stdout parsed as JSON (fails the test when it is not).
Json ParseOut (const Outcome &Result);

/// Writes every variable of Platform to Directory as efivarfs does:
/// NAME-guid files holding 4 bytes of attributes, then the data.
void DumpVariables (const Host::Platform &Platform, const std::string &Directory);

/// An efivarfs file's bytes: the attributes, then Data.
Bytes VariableFile (UINT32 Attributes, const Bytes &Data);

/// Bytes of a file.
Bytes Slurp (const std::string &Path);

using Harness::Fill;

}  // namespace ToolTest

#endif
