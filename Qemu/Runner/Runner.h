/** @file
  The host side of the end-to-end runs: a test disk (GPT, one FAT partition
  built with sgdisk and mtools), a per-scenario copy of OVMF's variable
  store, QEMU boots with a timeout each, the debug console log of every
  boot, capsule bytes, and the checks of each scenario.
**/
#ifndef QEMU_RUNNER_H_
#define QEMU_RUNNER_H_

extern "C" {
#include <Uefi.h>
#include <Guid/FmpCapsule.h>
}

#include "GuidText.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace E2e {

using Bytes = std::vector<uint8_t>;

//
// Small helpers (Process.cpp).
//
Bytes       ReadFile (const std::string &Path);
void        WriteFile (const std::string &Path, const Bytes &Data);
void        WriteText (const std::string &Path, const std::string &Text);

std::string HexText (const Bytes &Data);
Bytes       HexBytes (const std::string &Hex);
Bytes       Utf16 (const std::string &Ascii, bool WithNul);
std::string Narrow16 (const Bytes &Data, size_t Offset, size_t *End);
std::string Lower (std::string Text);
std::string StatusName (uint64_t Status);

/// Runs a program to its end; its output (stdout and stderr) lands in
/// *Output. Returns the exit status, or -1 when it could not be started.
int         RunProgram (const std::vector<std::string> &Argv, std::string *Output);

/// Finds a program in PATH and the system directories (sgdisk lives in
/// /usr/sbin). Empty when absent.
std::string FindProgram (const std::string &Name);

//
// What the runner needs from the build and the platform.
//
struct Setup {
  std::string    Images;          ///< directory of CapsuleUpdateDxe.efi, E2eHarness.efi, TestFmpDxe.efi
  std::string    Work;            ///< scenario work directory (disk, variable store, logs)
  std::string    OvmfCode  = "/usr/share/OVMF/OVMF_CODE_4M.fd";
  std::string    OvmfVars  = "/usr/share/OVMF/OVMF_VARS_4M.fd";
  std::string    Qemu      = "qemu-system-x86_64";
  std::string    CapsuleTool;     ///< the project's capsule tool (default: next to the images' build)
  int            BootTimeout = 120;  ///< seconds per boot
  bool           Verbose     = false;
};

//
// One boot and what it left (Machine.cpp).
//
struct Variable {
  EFI_GUID       Guid;
  std::string    Name;
  uint32_t       Attributes;
  Bytes          Data;
};

struct BootResult {
  int                       Number = 0;
  std::string               Log;
  std::vector<std::string>  Lines;
  double                    WallSeconds = 0;
  bool                      TimedOut    = false;
  bool                      PowerCut    = false;   ///< the runner killed QEMU at the marker
  int                       ExitStatus  = 0;
  std::string               Reset;                 ///< "cold", "warm", "shutdown" or "" (none seen)
  std::vector<Variable>     Variables;             ///< from the last dump-vars of the boot
  std::vector<Variable>     AtReset;               ///< as printed when the reset was requested

  bool Has (const std::string &Text) const;
  std::vector<std::string> LinesWith (const std::string &Prefix) const;
  const Variable *Find (const std::string &Name, const EFI_GUID &Guid) const;
  const Variable *FindAtReset (const std::string &Name, const EFI_GUID &Guid) const;
};

struct Partition {
  EFI_GUID    UniqueGuid;
  uint64_t    FirstLba = 0;
  uint64_t    LastLba  = 0;
};

class Machine {
public:
  Machine (const Setup &Config, const std::string &Name);

  /// A fresh disk with the harness as \EFI\BOOT\BOOTX64.EFI and the driver
  /// as \E2E\CapsuleUpdateDxe.efi, and a fresh copy of the variable store.
  bool Create ();

  bool MakeDirectory (const std::string &Path);
  bool PutFile (const std::string &Path, const Bytes &Data);
  bool SetAttributes (const std::string &Path, const std::string &Flags);
  /// The names in a directory as mtools lists them (long names), hidden and
  /// system entries included; "." and ".." left out.
  std::vector<std::string> ListDirectory (const std::string &Path, bool *Ok);
  bool GetFile (const std::string &Path, Bytes *Data);

  /// Boots once with Steps as \E2E\STEP.TXT. With a PowerCutMarker, QEMU is
  /// killed as soon as the debug console shows that text.
  BootResult Boot (const std::string &Steps, const std::string &PowerCutMarker = "");

  const Partition &Disk () const { return mPartition; }
  const std::string &Directory () const { return mDirectory; }
  std::string DiskImage () const { return mDirectory + "/disk.img"; }
  std::string FatImage () const { return DiskImage () + "@@1M"; }

private:
  bool Mtools (const std::vector<std::string> &Argv, std::string *Output = nullptr);

  Setup        mSetup;
  std::string  mDirectory;
  Partition    mPartition;
  int          mBoots = 0;
};

//
// Capsule bytes (Capsules.cpp).
//
struct Payload {
  EFI_GUID    ImageTypeId;
  uint8_t     ImageIndex = 1;
  Bytes       Image;
  Bytes       VendorCode;
};

Bytes MakeCapsule (const EFI_GUID &Guid, const Bytes &Body);
Bytes MakeFmpCapsule (const std::vector<Bytes> &Drivers, const std::vector<Payload> &Payloads);
Bytes PatternImage (size_t Size, uint8_t First);

//
// The project's capsule tool (CapsuleToolUse.cpp).
//

/// Builds an FMP capsule with "CapsuleTool build" from the driver image
/// files and the payloads (written to files in Directory first).
bool BuildWithCapsuleTool (
  const Setup                     &Config,
  const std::string               &Directory,
  const std::vector<std::string>  &DriverFiles,
  const std::vector<Payload>      &Payloads,
  Bytes                           *Capsule,
  std::string                     *Output
  );

/// Writes variables as efivarfs does (file NAME-guid: 4 bytes of attributes,
/// then the data) and runs "CapsuleTool results --efivars" on them.
int DecodeWithCapsuleTool (
  const Setup                  &Config,
  const std::string            &Directory,
  const std::vector<Variable>  &Variables,
  std::string                  *Output
  );

//
// Decoded variables (Records.cpp).
//
struct ResultRecord {
  bool          Valid = false;
  std::string   Problem;
  uint32_t      VariableTotalSize = 0;
  uint32_t      Reserved = 0;
  EFI_GUID      CapsuleGuid {};
  EFI_TIME      Processed {};
  uint64_t      Status = 0;
  uint16_t      Version = 0;
  uint8_t       PayloadIndex = 0;
  uint8_t       UpdateImageIndex = 0;
  EFI_GUID      UpdateImageTypeId {};
  std::string   FileName;
  std::string   Target;
};

ResultRecord DecodeResultRecord (const Bytes &Data);

struct WriteRecord {
  bool        Valid = false;
  uint8_t     ImageIndex = 0;
  bool        HasVendorCode = false;
  uint16_t    ProgressCalls = 0;
  uint64_t    ProgressStatus = 0;
  uint64_t    Result = 0;
  Bytes       Image;
};

WriteRecord DecodeWriteRecord (const Bytes &Data);

/// The 42-byte hard-drive device path node of a GPT partition, built from
/// what sgdisk reports.
Bytes HardDriveNode (const Partition &Disk, uint32_t PartitionNumber);

//
// Checks (Scenarios.cpp).
//
class Checker {
public:
  explicit Checker (const std::string &Scenario) : mScenario (Scenario) {}
  bool Expect (bool Condition, const std::string &What);
  bool Failed () const { return mFailures > 0; }
  int  Failures () const { return mFailures; }

private:
  std::string  mScenario;
  int          mFailures = 0;
};

extern const EFI_GUID  gE2eVariableGuid;
extern const EFI_GUID  gE2eImageTypeGuid;
extern const EFI_GUID  gE2eDeviceGuid;
extern const EFI_GUID  gE2eHandlerGuid;
extern const EFI_GUID  gGlobalVariableGuid;
extern const EFI_GUID  gCapsuleReportGuid;
extern const EFI_GUID  gFlashUpdateGuid;
extern const EFI_GUID  gFmpCapsuleGuid;
extern const EFI_GUID  gDeferredCapsuleGuid1;
extern const EFI_GUID  gDeferredCapsuleGuid2;

int RunScenario (const Setup &Config, const std::string &Name);
int RunDemo (const Setup &Config);
std::vector<std::string> ScenarioNames ();

}  // namespace E2e

#endif
