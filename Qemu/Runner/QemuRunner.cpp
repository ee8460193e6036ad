/** @file
  Command line of the end-to-end runner.

    QemuRunner --images DIR --work DIR --scenario NAME [options]
    QemuRunner --images DIR --work DIR --demo [options]
    QemuRunner --list

  Options: --ovmf-code FILE, --ovmf-vars FILE, --qemu PROGRAM,
  --capsule-tool PROGRAM (default: Tools/CapsuleTool/CapsuleTool in the
  build that holds the images), --timeout SECONDS (per boot), --verbose
  (print every boot's log).
**/
#include "Runner.h"

#include <iostream>

int
main (
  int   argc,
  char  **argv
  )
{
  E2e::Setup   Config;
  std::string  Scenario;
  bool         Demo = false;

  for (int Index = 1; Index < argc; Index++) {
    std::string  Arg   = argv[Index];
    bool         Value = Index + 1 < argc;
    if ((Arg == "--images") && Value) {
      Config.Images = argv[++Index];
    } else if ((Arg == "--work") && Value) {
      Config.Work = argv[++Index];
    } else if ((Arg == "--scenario") && Value) {
      Scenario = argv[++Index];
    } else if ((Arg == "--ovmf-code") && Value) {
      Config.OvmfCode = argv[++Index];
    } else if ((Arg == "--ovmf-vars") && Value) {
      Config.OvmfVars = argv[++Index];
    } else if ((Arg == "--capsule-tool") && Value) {
      Config.CapsuleTool = argv[++Index];
    } else if ((Arg == "--qemu") && Value) {
      Config.Qemu = argv[++Index];
    } else if ((Arg == "--timeout") && Value) {
      Config.BootTimeout = std::stoi (argv[++Index]);
    } else if (Arg == "--verbose") {
      Config.Verbose = true;
    } else if (Arg == "--demo") {
      Demo = true;
    } else if (Arg == "--list") {
      for (const std::string &Name : E2e::ScenarioNames ()) {
        std::cout << Name << "\n";
      }

      return 0;
    } else {
      std::cerr << "usage: QemuRunner --images DIR --work DIR (--scenario NAME | --demo) [--ovmf-code FILE]\n"
                   "                  [--ovmf-vars FILE] [--qemu PROGRAM] [--capsule-tool PROGRAM]\n"
                   "                  [--timeout SECONDS] [--verbose]\n"
                   "       QemuRunner --list\n";
      return 2;
    }
  }

  if (Config.Images.empty () || Config.Work.empty () || (Scenario.empty () && !Demo)) {
    std::cerr << "QemuRunner: --images, --work and --scenario or --demo are needed\n";
    return 2;
  }

  if (Config.CapsuleTool.empty ()) {
    Config.CapsuleTool = Config.Images + "/../Tools/CapsuleTool/CapsuleTool";
  }

  for (const char *Tool : { "sgdisk", "mformat", "mmd", "mcopy", "mdir", "mattrib" }) {
    if (E2e::FindProgram (Tool).empty ()) {
      std::cerr << "QemuRunner: " << Tool << " not found (Scripts/setup.sh installs gdisk and mtools)\n";
      return 2;
    }
  }

  if (E2e::FindProgram (Config.Qemu).empty ()) {
    std::cerr << "QemuRunner: " << Config.Qemu << " not found (Scripts/setup.sh installs qemu-system-x86)\n";
    return 2;
  }

  return Demo ? E2e::RunDemo (Config) : E2e::RunScenario (Config, Scenario);
}
