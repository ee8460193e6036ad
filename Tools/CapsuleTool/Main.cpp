// CapsuleTool: the command-line entry; the subcommands live in the library.
#include "CapsuleTool.h"

#include <iostream>

int
main (
  int   Argc,
  char  **Argv
  )
{
  return CapsuleTool::RunTool (CapsuleTool::Args (Argv + 1, Argv + Argc), std::cout, std::cerr);
}
