/** @file
  Runs the real IA32 TE image of a PEIM in the unicorn CPU emulator
  (32-bit protected mode, flat segments) against the PCH model:

  - the TE image is placed at a chosen address, its HIGHLOW base relocations
    applied, and mapped read and execute only, as flash is;
  - the ECAM window, the PCR window and the PM timer port are routed to the
    model; any other memory access the image makes outside its own image,
    stack and the PEI structures stops the run;
  - an IDT is set up with the PEI services table pointer in the 4 bytes
    below its base; LocatePpi and the debug output PPI's print function are
    addresses whose execution a code hook answers through the model, reading
    their cdecl arguments from the emulated stack;
  - the entry point is called as the PEI dispatcher calls it.
**/
#ifndef PEIM_EMULATOR_H_
#define PEIM_EMULATOR_H_

#include "PchModel.h"

#include <cstdint>
#include <string>
#include <vector>

struct PeimRun {
  bool           Returned = false;  ///< the entry point returned to its caller
  uint32_t       Eax      = 0;      ///< its EFI_STATUS
  uint64_t       Instructions      = 0;  ///< instructions executed inside the image
  uint64_t       AllInstructions   = 0;  ///< including the PEI service stand-ins
  bool           CalleeSavedKept   = false;  ///< EBX, ESI, EDI, EBP and ESP as before the call
  uint32_t       PeiServicesSeen   = 0;  ///< PeiServices argument of the last LocatePpi
  std::string    Error;             ///< why the run stopped otherwise
};

class PeimEmulator {
public:
  /// TeImage is the file's bytes; ImageBase is where the image's RVA 0
  /// goes, so that its TE header lies at ImageBase + StrippedSize - 40.
  PeimEmulator (
    Pch::Model                       &Model,
    const std::vector<uint8_t>       &TeImage,
    uint32_t                         ImageBase
    );

  PeimRun
  RunEntryPoint (
    );

  /// Why the image could not be loaded; empty when it was.
  const std::string &LoadError () const { return mLoadError; }

private:
  Pch::Model            &mModel;
  std::vector<uint8_t>  mImage;        ///< relocated TE bytes
  uint32_t              mLoadAddress = 0;  ///< of the TE header
  uint32_t              mEntryPoint = 0;
  std::string           mLoadError;
};

std::vector<uint8_t>
ReadFileBytes (
  const std::string  &Path
  );

#endif
