// The subcommand table and the top-level help.
#include "CapsuleTool.h"

#include <ostream>

namespace CapsuleTool {

namespace {

const char  ToolHelp[] =
  "usage: CapsuleTool COMMAND [OPTIONS]\n"
  "\n"
  "Makes, checks, delivers and follows up firmware update capsules for the\n"
  "capsule update driver, with the driver's own check code.\n"
  "\n"
  "commands:\n"
  "  build     build an FMP capsule (drivers, payloads) or a plain capsule,\n"
  "            optionally wrapped; from options or a JSON description\n"
  "  inspect   print a capsule's structure and what the driver will do with it\n"
  "  stage     copy a capsule to EFI/UpdateCapsule and set OsIndications bit 2\n"
  "  results   decode Capsule####, CapsuleLast, CapsuleMax and\n"
  "            FlashUpdateImageName\n"
  "\n"
  "CapsuleTool COMMAND --help tells more.\n"
  "\n"
  "Exit status: 0 done (and the capsule or record is fine); 1 the driver would\n"
  "refuse the capsule, or a check failed, or a record is malformed; 2 bad\n"
  "command line, unreadable input or an I/O failure.\n";

}  // namespace

int
RunTool (
  const Args    &Arguments,
  std::ostream  &Out,
  std::ostream  &Err
  )
{
  static const struct {
    const char    *Name;
    int           (*Run)(const Args &, std::ostream &, std::ostream &);
  } Commands[] = {
    { "build",   RunBuild   },
    { "inspect", RunInspect },
    { "stage",   RunStage   },
    { "results", RunResults },
  };

  if (Arguments.empty ()) {
    Err << ToolHelp;
    return ExitUsage;
  }

  if ((Arguments[0] == "--help") || (Arguments[0] == "-h") || (Arguments[0] == "help")) {
    Out << ToolHelp;
    return ExitOk;
  }

  for (auto &Command : Commands) {
    if (Arguments[0] == Command.Name) {
      try {
        return Command.Run (Args (Arguments.begin () + 1, Arguments.end ()), Out, Err);
      } catch (const ToolError &Error) {
        Err << "CapsuleTool " << Command.Name << ": " << (Error.Code == ExitRefused ? "" : "error: ") << Error.what () << "\n";
        return Error.Code;
      } catch (const std::exception &Error) {
        Err << "CapsuleTool " << Command.Name << ": error: " << Error.what () << "\n";
        return ExitUsage;
      }
    }
  }

  Err << "CapsuleTool: unknown command \"" << Arguments[0] << "\" (commands: build, inspect, stage, results; see --help)\n";
  return ExitUsage;
}

}  // namespace CapsuleTool
