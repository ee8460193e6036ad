// The command line: help for every subcommand, and bad input of every kind
// ending with the documented exit code and a message that says what is wrong.
#include <gtest/gtest.h>

#include "ToolTestSupport.h"

using namespace ToolTest;

TEST (CommandLine, EverySubcommandHasHelp)
{
  for (const char *Command : { "build", "inspect", "stage", "results" }) {
    Outcome  Help = Tool ({ Command, "--help" });
    EXPECT_EQ (Help.Code, 0) << Command;
    EXPECT_EQ (Help.Out.rfind (std::string ("usage: CapsuleTool ") + Command, 0), 0u) << Help.Out;
    EXPECT_NE (Help.Out.find ("Exit status"), std::string::npos) << Command;
  }

  Outcome  Top = Tool ({ "--help" });
  EXPECT_EQ (Top.Code, 0);
  for (const char *Command : { "build", "inspect", "stage", "results" }) {
    EXPECT_NE (Top.Out.find (std::string ("  ") + Command + " "), std::string::npos) << Command;
  }
}

TEST (CommandLine, BadInputEndsWithItsExitCodeAndSaysWhatIsWrong)
{
  TempDir      Dir;
  std::string  Image   = Dir.Write ("fw.bin", Fill (16, 0));
  std::string  Out     = Dir.Path () + "/out.cap";
  std::string  TypeA   = "AAAA0001-1111-2222-0303-030303030303";
  std::string  Good    = "image=" + Image + ",type=" + TypeA;
  std::string  Capsule = Dir.Path () + "/good.cap";
  ASSERT_EQ (Tool ({ "build", "-o", Capsule, "--payload", Good }).Code, 0);
  Bytes        Whole     = Slurp (Capsule);
  std::string  Truncated = Dir.Write ("truncated.cap", Bytes (Whole.begin (), Whole.begin () + 30));

  struct Case {
    std::vector<std::string>  Arguments;
    int                       Code;
    std::string               Message;
  };
  const Case  Cases[] = {
    { {},                                                                      2, "usage: CapsuleTool COMMAND" },
    { { "frobnicate" },                                                        2, "unknown command \"frobnicate\"" },
    { { "build", "--payload", Good },                                          2, "-o OUT is required" },
    { { "build", "-o", Out },                                                  2, "nothing to build" },
    { { "build", "-o", Out, "--bogus" },                                       2, "unknown option --bogus" },
    { { "build", "-o" },                                                       2, "option --output needs a value" },
    { { "build", "-o", Out, "--payload", "image=" + Image },                   2, "type= is required" },
    { { "build", "-o", Out, "--payload", "image=" + Image + ",type=XYZ" },     2, "\"XYZ\" is not a GUID" },
    { { "build", "-o", Out, "--payload", Good + ",index=256" },                2, "\"256\" is not a number from 0 to 255" },
    { { "build", "-o", Out, "--payload", Good + ",speed=9" },                  2, "unknown key \"speed\"" },
    { { "build", "-o", Out, "--payload", Good + ",type=" + TypeA },            2, "type given twice" },
    { { "build", "-o", Out, "--payload", "image=/nonexistent/fw.bin,type=" + TypeA }, 2, "cannot open /nonexistent/fw.bin" },
    { { "build", "-o", Out, "--payload", Good, "--wrap", TypeA },              2, "is not one of the driver's wrapper GUIDs" },
    { { "build", "-o", Out, "--guid", TypeA },                                 2, "--guid and --body go together" },
    { { "build", "-o", Out, "--guid", TypeA, "--body", Image, "--payload", Good }, 2, "cannot be combined with --driver or --payload" },
    { { "build", "-o", Out, "--driver", Dir.Write ("empty.efi", Bytes ()) },  2, "driver 0 is empty" },
    { { "build", "-o", Out, "--from", Dir.Write ("a.json", "{ \"payloads\": [ }") }, 2, "not JSON at byte 17" },
    { { "build", "-o", Out, "--from", Dir.Write ("b.json", "{ \"payload\": [] }") }, 2, "unknown key \"payload\"" },
    { { "build", "-o", Out, "--from", Dir.Write ("c.json", "{ \"payloads\": [ { \"image\": \"fw.bin\", \"type\": \"" + TypeA + "\", \"index\": -1 } ] }") },
      2, "payloads[0].index: want a number" },
    { { "build", "-o", Out, "--from", Dir.Write ("d.json", "{ \"guid\": \"" + TypeA + "\" }") }, 2, "\"guid\" needs \"body\"" },
    { { "build", "-o", Out, "--from", Dir.Write ("e.json", "{}"), "--wrap", TypeA }, 2, "--from cannot be combined with --wrap" },
    { { "build", "-o", "/nonexistent/dir/out.cap", "--payload", Good },       2, "cannot create /nonexistent/dir/out.cap.partial" },
    { { "inspect" },                                                           2, "inspect takes one capsule file" },
    { { "inspect", Capsule, Capsule },                                         2, "inspect takes one capsule file" },
    { { "inspect", "/nonexistent.cap" },                                       2, "cannot open /nonexistent.cap" },
    { { "inspect", Capsule, "--name", "a/b" },                                 2, "is not a file name" },
    { { "inspect", Truncated },                                                1, "CapsuleImageSize says 100 bytes, only 30 are there (at byte 24 (0x18))" },
    { { "inspect", Truncated, "--as-file" },                                   1, "the file holds 30" },
    { { "stage" },                                                             2, "stage takes one capsule file" },
    { { "stage", Capsule, "--esp", "/nonexistent/esp", "--efivars", Dir.Path () }, 2, "--esp /nonexistent/esp is not a directory" },
    { { "stage", "/nonexistent.cap", "--esp", Dir.Path (), "--efivars", Dir.Path () }, 2, "cannot open /nonexistent.cap" },
    { { "results", "--efivars", "/nonexistent/vars" },                         2, "cannot read directory /nonexistent/vars" },
    { { "results", "--efivars", Dir.Path (), Capsule },                        2, "either --efivars DIR or variable files" },
    { { "results", Capsule },                                                  1, "the name is not NAME-GUID" },
  };

  for (auto &Case : Cases) {
    std::string  Line;
    for (auto &Argument : Case.Arguments) {
      Line += Argument + " ";
    }

    SCOPED_TRACE (Line);
    Outcome  Result = Tool (Case.Arguments);
    EXPECT_EQ (Result.Code, Case.Code) << Result.Out << Result.Err;
    EXPECT_NE ((Result.Out + Result.Err).find (Case.Message), std::string::npos) << Result.Out << Result.Err;
  }

  EXPECT_FALSE (Dir.Exists ("out.cap")) << "a failed build writes nothing";
}

TEST (CommandLine, TheProgramReportsTheSameExitCodesOnItsOwn)
{
  TempDir      Dir;
  std::string  Image   = Dir.Write ("fw.bin", Fill (16, 0));
  std::string  Capsule = Dir.Path () + "/fw.cap";

  Outcome  Built = ToolProgram ({ "build", "-o", Capsule, "--payload", "image=" + Image + ",type=AAAA0001-1111-2222-0303-030303030303" });
  EXPECT_EQ (Built.Code, 0) << Built.Err;
  EXPECT_NE (Built.Out.find ("the driver applies the FMP capsule (0 driver(s), 1 payload(s)), then resets cold"), std::string::npos) << Built.Out;
  EXPECT_EQ (ToolProgram ({ "inspect", Capsule }).Code, 0);

  Bytes  Data = Slurp (Capsule);
  Data[28 + 6] = 0;   // PayloadItemCount: no items left
  Dir.Write ("none.cap", Data);
  Outcome  Refused = ToolProgram ({ "inspect", Dir.Path () + "/none.cap" });
  EXPECT_EQ (Refused.Code, 1);
  EXPECT_NE (Refused.Out.find ("fail: FmpCapsuleNoItems"), std::string::npos) << Refused.Out;
  EXPECT_EQ (ToolProgram ({ "inspect" }).Code, 2);
}
