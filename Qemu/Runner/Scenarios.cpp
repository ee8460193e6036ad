/** @file
  The end-to-end scenarios: each builds its disk, boots OVMF one or more
  times with the harness carrying out the steps of each boot, and checks
  what the debug console showed, what the variable store kept and what is
  left on the disk.
**/
#include "Runner.h"

#include "E2eDefinitions.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <iomanip>
#include <iostream>
#include <sstream>

namespace E2e {

const EFI_GUID  gE2eVariableGuid      = E2E_VARIABLE_GUID;
const EFI_GUID  gE2eImageTypeGuid     = E2E_TEST_FMP_IMAGE_TYPE_GUID;
const EFI_GUID  gE2eDeviceGuid        = E2E_TEST_FMP_DEVICE_GUID;
const EFI_GUID  gE2eHandlerGuid       = E2E_HANDLER_CAPSULE_GUID;
const EFI_GUID  gGlobalVariableGuid   = EFI_GLOBAL_VARIABLE;
const EFI_GUID  gCapsuleReportGuid    = { 0x39b68c46, 0xf7fb, 0x441b, { 0xb6, 0xec, 0x16, 0xb0, 0xf6, 0x98, 0x21, 0xf3 } };
const EFI_GUID  gFlashUpdateGuid      = { 0xa4ea2f68, 0x5778, 0x40aa, { 0xb1, 0xd7, 0x60, 0x0e, 0x6e, 0x16, 0xb3, 0xcc } };
const EFI_GUID  gFmpCapsuleGuid       = EFI_FIRMWARE_MANAGEMENT_CAPSULE_ID_GUID;
const EFI_GUID  gDeferredCapsuleGuid1 = { 0x4a3ca68b, 0x7723, 0x48fb, { 0x80, 0x3d, 0x57, 0x8c, 0xc1, 0xfe, 0xc4, 0x4d } };
const EFI_GUID  gDeferredCapsuleGuid2 = { 0x0053e4ba, 0x9d91, 0x52aa, { 0xb9, 0x5b, 0x2b, 0x5c, 0x1c, 0xf7, 0x56, 0xf9 } };

bool
Checker::Expect (
  bool               Condition,
  const std::string  &What
  )
{
  std::cout << (Condition ? "  ok   " : "  FAIL ") << What << "\n";
  if (!Condition) {
    mFailures++;
  }

  return Condition;
}

namespace {

const char  kRun[]          = "run \\E2E\\CapsuleUpdateDxe.efi\n";
const char  kStallMarker[]  = "[testfmp] stalling inside SetImage";
const char  kBootOptionHd[] = "boot-option hd 00A0\n";

bool
SameGuid (
  const EFI_GUID  &A,
  const EFI_GUID  &B
  )
{
  return std::memcmp (&A, &B, sizeof (A)) == 0;
}

std::string
TargetText ()
{
  return "VenHw(" + GuidText (gE2eDeviceGuid) + ")";
}

/// Prints how a boot went and checks that it ended the expected way.
void
CheckBoot (
  Checker            &C,
  const BootResult   &Boot,
  const std::string  &ExpectedEnd
  )
{
  std::string  Ended = Boot.TimedOut ? "timeout" : Boot.PowerCut ? "power cut by the runner" :
                       Boot.Reset.empty () ? "QEMU exit without a reset" : Boot.Reset + " reset";

  std::cout << "  boot " << Boot.Number << ": " << std::fixed << std::setprecision (1) << Boot.WallSeconds
            << " s, ended by " << Ended << "\n";
  C.Expect (Boot.Has ("[harness] start"), "boot " + std::to_string (Boot.Number) + ": the harness ran");
  C.Expect (!Boot.TimedOut, "boot " + std::to_string (Boot.Number) + ": ended before the timeout");
  if (ExpectedEnd == "power cut") {
    C.Expect (Boot.PowerCut, "boot " + std::to_string (Boot.Number) + ": the runner cut the power inside SetImage");
  } else {
    C.Expect (Boot.Reset == ExpectedEnd, "boot " + std::to_string (Boot.Number) + ": ended by a " + ExpectedEnd + " reset");
  }
}

void
CheckResultRecord (
  Checker            &C,
  const BootResult   &Boot,
  const std::string  &Name,
  uint8_t            PayloadIndex,
  uint8_t            ImageIndex,
  uint64_t           Status,
  const std::string  &FileName
  )
{
  const Variable  *Var = Boot.Find (Name, gCapsuleReportGuid);

  if (!C.Expect (Var != nullptr, Name + " exists")) {
    return;
  }

  ResultRecord  R = DecodeResultRecord (Var->Data);
  if (!C.Expect (R.Valid, Name + " decodes as a capsule result record" + (R.Problem.empty () ? "" : " (" + R.Problem + ")"))) {
    return;
  }

  size_t  Expected = 68 + 2 * (FileName.size () + 1) + 2 * (TargetText ().size () + 1);
  C.Expect (Var->Attributes == 7, Name + ": attributes 7 (non-volatile, boot service, runtime)");
  C.Expect (R.VariableTotalSize == Var->Data.size (), Name + ": VariableTotalSize equals the variable's size (" + std::to_string (Var->Data.size ()) + ")");
  C.Expect (Var->Data.size () == Expected, Name + ": " + std::to_string (Expected) + " bytes (68 + file name + target text)");
  C.Expect (R.Reserved == 0, Name + ": Reserved is 0");
  C.Expect (SameGuid (R.CapsuleGuid, gFmpCapsuleGuid), Name + ": CapsuleGuid is the FMP capsule GUID");
  C.Expect ((R.Processed.Year >= 2000) && (R.Processed.Month >= 1) && (R.Processed.Month <= 12), Name + ": CapsuleProcessed holds a date (" + std::to_string (R.Processed.Year) + "-" + std::to_string (R.Processed.Month) + "-" + std::to_string (R.Processed.Day) + ")");
  C.Expect (R.Status == Status, Name + ": CapsuleStatus " + StatusName (R.Status) + " (expected " + StatusName (Status) + ")");
  C.Expect (R.Version == 1, Name + ": FMP record version 1");
  C.Expect (R.PayloadIndex == PayloadIndex, Name + ": PayloadIndex " + std::to_string (R.PayloadIndex));
  C.Expect (R.UpdateImageIndex == ImageIndex, Name + ": UpdateImageIndex " + std::to_string (R.UpdateImageIndex));
  C.Expect (SameGuid (R.UpdateImageTypeId, gE2eImageTypeGuid), Name + ": UpdateImageTypeId is the test device's image type");
  C.Expect (R.FileName == FileName, Name + ": CapsuleFileName \"" + R.FileName + "\"");
  C.Expect (Lower (R.Target) == Lower (TargetText ()), Name + ": CapsuleTarget \"" + R.Target + "\"");
}

void
CheckCapsuleName (
  Checker            &C,
  const BootResult   &Boot,
  const std::string  &Variable,
  uint32_t           Attributes,
  const std::string  &Value
  )
{
  const E2e::Variable  *Var = Boot.Find (Variable, gCapsuleReportGuid);

  if (C.Expect (Var != nullptr, Variable + " exists")) {
    C.Expect (Var->Data == Utf16 (Value, false), Variable + " is \"" + Value + "\" (22 bytes, no NUL)");
    C.Expect (Var->Attributes == Attributes, Variable + ": attributes " + std::to_string (Attributes));
  }
}

void
CheckWriteRecord (
  Checker            &C,
  const BootResult   &Boot,
  const std::string  &Name,
  const Payload      &Sent,
  uint64_t           Result
  )
{
  const Variable  *Var = Boot.Find (Name, gE2eVariableGuid);

  if (!C.Expect (Var != nullptr, "the test device kept " + Name)) {
    return;
  }

  WriteRecord  W = DecodeWriteRecord (Var->Data);
  if (!C.Expect (W.Valid, Name + " decodes")) {
    return;
  }

  C.Expect (W.ImageIndex == Sent.ImageIndex, Name + ": SetImage got image index " + std::to_string (W.ImageIndex));
  C.Expect (W.Image == Sent.Image, Name + ": SetImage got the payload's " + std::to_string (Sent.Image.size ()) + " image bytes");
  C.Expect (W.HasVendorCode == !Sent.VendorCode.empty (), Name + ": vendor code " + (W.HasVendorCode ? "present" : "absent"));
  C.Expect ((W.ProgressCalls == 2) && (W.ProgressStatus == 0), Name + ": both progress callbacks returned EFI_SUCCESS");
  C.Expect (W.Result == Result, Name + ": SetImage returned " + StatusName (W.Result));
}

std::vector<std::string>
Sorted (
  std::vector<std::string>  Names
  )
{
  std::sort (Names.begin (), Names.end ());
  return Names;
}

std::string
Joined (
  const std::vector<std::string>  &Names
  )
{
  std::string  Text;

  for (const std::string &Name : Names) {
    Text += (Text.empty () ? "" : ", ") + Name;
  }

  return "[" + Text + "]";
}

/// The test capsule for the harness's capsule handler: its body starts with
/// the ASCII tag the handler prints.
Bytes
HandlerCapsule (
  const std::string  &Tag
  )
{
  Bytes  Body (Tag.begin (), Tag.end ());

  Body.push_back (0);
  Body.resize (64, 0xA5);
  return MakeCapsule (gE2eHandlerGuid, Body);
}

Bytes
TestDriver (
  const Setup  &Config
  )
{
  return ReadFile (Config.Images + "/TestFmpDxe.efi");
}

//
// (a) A pass with nothing pending returns and publishes CapsuleMax.
//
int
NothingPending (
  const Setup  &Config,
  Checker      &C
  )
{
  Machine  M (Config, "nothing-pending");

  if (!C.Expect (M.Create (), "test disk and variable store created")) {
    return 1;
  }

  BootResult  Boot = M.Boot (std::string (kRun) + "dump-vars\n");
  CheckBoot (C, Boot, "shutdown");
  C.Expect (Boot.Has ("[harness] trigger protocol: EFI_SUCCESS"), "the driver installed the trigger protocol");
  C.Expect (Boot.Has ("[harness] trigger protocol on the driver's image handle: no"), "the trigger protocol is on a handle of its own, not the image handle");
  C.Expect (Boot.Has ("[harness] ProcessPendingCapsules returned EFI_SUCCESS"), "ProcessPendingCapsules returned EFI_SUCCESS");
  CheckCapsuleName (C, Boot, "CapsuleMax", 6, "Capsule0064");
  C.Expect (Boot.Find ("CapsuleLast", gCapsuleReportGuid) == nullptr, "no CapsuleLast");
  C.Expect (Boot.Find ("Capsule0000", gCapsuleReportGuid) == nullptr, "no result record");
  return 0;
}

//
// An FMP capsule handed over in a capsule HOB: embedded test driver, two
// payloads (the second refused by the device), display, cold reset.
//
int
HobFmpCapsule (
  const Setup  &Config,
  Checker      &C
  )
{
  Machine               M (Config, "hob-fmp-capsule");
  std::vector<Payload>  Payloads = {
    { gE2eImageTypeGuid, 1, PatternImage (96, 0x11),  {} },
    { gE2eImageTypeGuid, 2, PatternImage (200, 0x22), { 'F', 'A', 'I', 'L' } },
  };
  Bytes                 Capsule = MakeFmpCapsule ({ TestDriver (Config) }, Payloads);

  if (!C.Expect (M.Create () && M.PutFile ("/E2E/HobCapsule.bin", Capsule), "test disk with the capsule created")) {
    return 1;
  }

  BootResult  Update = M.Boot (std::string ("display\n") + kBootOptionHd + "hob-capsule \\E2E\\HobCapsule.bin\n" + kRun);
  CheckBoot (C, Update, "cold");
  C.Expect (Update.LinesWith ("[testfmp] started").size () == 1, "the embedded test driver was started once");
  C.Expect (Update.LinesWith ("[testfmp] SetImage").size () == 2, "SetImage was called for both payloads");
  C.Expect (Update.LinesWith ("[display] progress begin \"Flash Update Progress\"").size () == 2, "a progress display was opened for each write");
  C.Expect (Update.LinesWith ("[display] progress end").size () == 2, "and closed after each write");
  C.Expect (Update.Has ("[display] progress update \"Flash Update Progress\" context 0000000000000000 completion 100"), "progress updates reached the display with the title and completion");
  C.Expect (Update.Has ("[display] message \"Firmware Update failed\": \"" E2E_ABORT_REASON "\""), "the refused write's abort reason was shown");

  bool                      Listed;
  std::vector<std::string>  Root = M.ListDirectory ("", &Listed);
  C.Expect (Listed && std::find (Root.begin (), Root.end (), "CapUptBkTemp") == Root.end (), "no backup file left in the root after the update " + Joined (Root));

  BootResult  Verify = M.Boot ("dump-vars\n");
  CheckBoot (C, Verify, "shutdown");
  CheckResultRecord (C, Verify, "Capsule0000", 0, 1, EFI_SUCCESS, "");
  CheckResultRecord (C, Verify, "Capsule0001", 1, 2, EFI_DEVICE_ERROR, "");
  CheckCapsuleName (C, Verify, "CapsuleLast", 7, "Capsule0001");
  CheckWriteRecord (C, Verify, "FmpWrite0", Payloads[0], EFI_SUCCESS);
  CheckWriteRecord (C, Verify, "FmpWrite1", Payloads[1], EFI_DEVICE_ERROR);
  return 0;
}

//
// (b) A capsule file on disk with the request bit set: cold reset, records
// naming the file, request bit cleared, file gone.
//
int
CapsuleOnDisk (
  const Setup  &Config,
  Checker      &C
  )
{
  Machine               M (Config, "capsule-on-disk");
  std::vector<Payload>  Payloads = {
    { gE2eImageTypeGuid, 1, PatternImage (128, 0x33), {} },
    { gE2eImageTypeGuid, 2, PatternImage (300, 0x44), { 'V', 'N', 'D', 'R' } },
  };
  Bytes                 Capsule;
  std::string           ToolOutput;

  if (!C.Expect (M.Create (), "test disk and variable store created")) {
    return 1;
  }

  //
  // This capsule file is made the way a person makes one: with the
  // project's capsule tool.
  //
  bool  Built = BuildWithCapsuleTool (Config, M.Directory () + "/tool", { Config.Images + "/TestFmpDxe.efi" }, Payloads, &Capsule, &ToolOutput);
  if (!C.Expect (Built, "CapsuleTool build made the capsule file" + (Built ? std::string () : ": " + ToolOutput)) ||
      !C.Expect (
         M.MakeDirectory ("/EFI/UpdateCapsule") && M.PutFile ("/EFI/UpdateCapsule/Update.cap", Capsule),
         "\\EFI\\UpdateCapsule\\Update.cap put on the disk (" + std::to_string (Capsule.size ()) + " bytes)"
         ))
  {
    return 1;
  }

  BootResult  Update = M.Boot (
                         std::string ("display\n") + kBootOptionHd +
                         "set-var OsIndications global 7 0400000000000000\n" + kRun
                         );
  CheckBoot (C, Update, "cold");
  C.Expect (Update.LinesWith ("[testfmp] SetImage").size () == 2, "SetImage was called for both payloads");

  C.Expect (Update.FindAtReset ("CapsuleMax", gCapsuleReportGuid) == nullptr, "the cold reset came before the end-of-pass steps (no CapsuleMax yet)");
  const Variable  *OsAtReset = Update.FindAtReset ("OsIndications", gGlobalVariableGuid);
  C.Expect ((OsAtReset != nullptr) && (OsAtReset->Data == Bytes (8, 0)), "OsIndications bit 2 was cleared before the capsule was applied");

  bool                      Listed;
  std::vector<std::string>  Left = M.ListDirectory ("/EFI/UpdateCapsule", &Listed);
  C.Expect (Listed && Left.empty (), "the applied capsule file was deleted " + Joined (Left));

  BootResult  Verify = M.Boot ("dump-vars\n");
  CheckBoot (C, Verify, "shutdown");
  CheckResultRecord (C, Verify, "Capsule0000", 0, 1, EFI_SUCCESS, "Update.cap");
  CheckResultRecord (C, Verify, "Capsule0001", 1, 2, EFI_SUCCESS, "Update.cap");
  CheckCapsuleName (C, Verify, "CapsuleLast", 7, "Capsule0001");
  CheckWriteRecord (C, Verify, "FmpWrite0", Payloads[0], EFI_SUCCESS);
  CheckWriteRecord (C, Verify, "FmpWrite1", Payloads[1], EFI_SUCCESS);

  const Variable  *Os = Verify.Find ("OsIndications", gGlobalVariableGuid);
  if (C.Expect (Os != nullptr, "OsIndications exists")) {
    C.Expect (Os->Data == Bytes (8, 0), "OsIndications bit 2 cleared (now " + HexText (Os->Data) + ")");
    C.Expect (Os->Attributes == 7, "OsIndications kept its attributes");
  }

  return 0;
}

//
// (c) Directory order and skips, a deferred capsule file recorded in
// FlashUpdateImageName, and a warm reset.
//
int
DirectoryOrder (
  const Setup  &Config,
  Checker      &C
  )
{
  Machine  M (Config, "directory-order");
  Bytes    Deferred2 = MakeCapsule (gDeferredCapsuleGuid2, PatternImage (0x1000 - sizeof (EFI_CAPSULE_HEADER), 0x55));
  Bytes    Short     = HandlerCapsule ("Short.cap");

  Short.pop_back ();
  bool  Made = M.Create () && M.MakeDirectory ("/EFI/UpdateCapsule") && M.MakeDirectory ("/EFI/UpdateCapsule/SUB") &&
               M.MakeDirectory ("/E2E/PROBE");
  for (const char *Name : { "b.cap", "A.CAP", "a", "AB.CAP", "A_1.CAP", "Hidden.cap", "System.cap", "ReadOnly.cap" }) {
    Made = Made && M.PutFile (std::string ("/EFI/UpdateCapsule/") + Name, HandlerCapsule (Name));
  }

  Made = Made && M.PutFile ("/EFI/UpdateCapsule/SUB/Inner.cap", HandlerCapsule ("Inner.cap")) &&
         M.PutFile ("/EFI/UpdateCapsule/Short.cap", Short) &&
         M.PutFile ("/EFI/UpdateCapsule/Empty.cap", Bytes ()) &&
         M.PutFile ("/EFI/UpdateCapsule/Defer1.cap", MakeCapsule (gDeferredCapsuleGuid1, PatternImage (100, 0x66))) &&
         M.PutFile ("/EFI/UpdateCapsule/Defer2.cap", Deferred2) &&
         M.SetAttributes ("/EFI/UpdateCapsule/Hidden.cap", "+h") &&
         M.SetAttributes ("/EFI/UpdateCapsule/System.cap", "+s") &&
         M.SetAttributes ("/EFI/UpdateCapsule/ReadOnly.cap", "+r") &&
         M.PutFile ("/E2E/PROBE/PROBE.RO", Bytes (16, 0x5A)) &&
         M.PutFile ("/E2E/PROBE/PROBE.RW", Bytes (16, 0xA5)) &&
         M.SetAttributes ("/E2E/PROBE/PROBE.RO", "+r");
  if (!C.Expect (Made, "test disk with the update directory created")) {
    return 1;
  }

  BootResult  Update = M.Boot (
                         "capsule-handler\n"
                         "boot-option full 00A0\n"
                         "set-var OsIndications global 7 0600000000000000\n"
                         "list-dir \\EFI\\UpdateCapsule\n"
                         "list-dir \\\n"
                         "probe-files \\E2E\\PROBE\n"
                         "probe-variables\n"
                         "probe-device-path\n" +
                         std::string (kRun)
                         );
  CheckBoot (C, Update, "warm");

  //
  // The platform facts the driver's simulated platform models.
  //
  C.Expect (Update.Has ("[dir] \\EFI\\UpdateCapsule: entry \".\" attr 10"), "platform: directory Read returns \".\"");
  C.Expect (Update.Has ("[dir] \\EFI\\UpdateCapsule: entry \"..\" attr 10"), "platform: directory Read returns \"..\"");
  C.Expect (Update.Has ("[dir] \\EFI\\UpdateCapsule: entry \"Hidden.cap\" attr 22"), "platform: directory Read returns hidden entries");
  C.Expect (Update.Has ("[dir] \\EFI\\UpdateCapsule: entry \"System.cap\" attr 24"), "platform: directory Read returns system entries");
  C.Expect (Update.Has ("[probe] read-write open of a read-only file: EFI_ACCESS_DENIED"), "platform: read-write open of a read-only file is EFI_ACCESS_DENIED");
  C.Expect (Update.Has ("[probe] delete of a read-only file opened for reading: EFI_WARN_DELETE_FAILURE"), "platform: Delete of a read-only file gives EFI_WARN_DELETE_FAILURE");
  C.Expect (Update.Has ("[probe] GetVariable of 5 bytes, size 4: EFI_BUFFER_TOO_SMALL, size 5"), "platform: GetVariable too small gives EFI_BUFFER_TOO_SMALL and the size");
  C.Expect (Update.Has ("[probe] LocateDevicePath(file system, full path with a file node): EFI_SUCCESS, the boot partition"), "platform: LocateDevicePath finds the partition from a full path with a file node");
  C.Expect (Update.Has ("[probe] LocateDevicePath(file system, short form (hard-drive node first)): EFI_NOT_FOUND"), "platform: LocateDevicePath does not expand a short-form path");

  std::vector<std::string>  Handled;
  for (const std::string &Line : Update.LinesWith ("[handler] capsule ")) {
    size_t  Start = Line.find ("tag \"");
    if (Start != std::string::npos) {
      Start += 5;
      Handled.push_back (Line.substr (Start, Line.find ('"', Start) - Start));
    }
  }

  std::vector<std::string>  Order = { "a", "A.CAP", "AB.CAP", "A_1.CAP", "b.cap" };
  C.Expect (Handled == Order, "capsule files dispatched in name order, ineligible ones skipped: " + Joined (Handled));

  bool                      Listed;
  bool                      ListedSub;
  std::vector<std::string>  Left    = M.ListDirectory ("/EFI/UpdateCapsule", &Listed);
  std::vector<std::string>  LeftSub = M.ListDirectory ("/EFI/UpdateCapsule/SUB", &ListedSub);
  std::vector<std::string>  Kept    = { "Defer1.cap", "Defer2.cap", "Empty.cap", "Hidden.cap", "ReadOnly.cap", "SUB", "System.cap" };
  C.Expect (Listed && Sorted (Left) == Sorted (Kept), "left in place: deferred, empty, hidden, read-only, system files and the subdirectory " + Joined (Sorted (Left)));
  C.Expect (ListedSub && LeftSub == std::vector<std::string>{ "Inner.cap" }, "the subdirectory was not entered " + Joined (LeftSub));

  BootResult  Verify = M.Boot ("dump-vars\n");
  CheckBoot (C, Verify, "shutdown");
  const Variable  *Flash = Verify.Find ("FlashUpdateImageName", gFlashUpdateGuid);
  if (C.Expect (Flash != nullptr, "FlashUpdateImageName exists")) {
    C.Expect (Flash->Attributes == 7, "FlashUpdateImageName: attributes 7");
    if (C.Expect (Flash->Data.size () == 560, "FlashUpdateImageName: 560 bytes (" + std::to_string (Flash->Data.size ()) + ")")) {
      Bytes  Node (Flash->Data.begin (), Flash->Data.begin () + 42);
      C.Expect (Node == HardDriveNode (M.Disk (), 1), "FlashUpdateImageName: the boot partition's hard-drive node (" + HexText (Node) + ")");
      size_t       End  = 0;
      std::string  Path = Narrow16 (Bytes (Flash->Data.begin () + 42, Flash->Data.begin () + 554), 0, &End);
      C.Expect (Path == "EFI/UpdateCapsule/Defer2.cap", "FlashUpdateImageName: the last deferred file in order, \"" + Path + "\"");
      uint32_t  Size;
      std::memcpy (&Size, Flash->Data.data () + 556, sizeof (Size));
      C.Expect (Size == Deferred2.size (), "FlashUpdateImageName: file size " + std::to_string (Size));
    }
  }

  //
  // OVMF's boot manager deletes an OsIndications that carries bits outside
  // OsIndicationsSupported (0x41 here) at the next boot, so the value the
  // driver wrote back is read as it was when the reset was requested.
  //
  const Variable  *Os = Update.FindAtReset ("OsIndications", gGlobalVariableGuid);
  if (C.Expect (Os != nullptr, "OsIndications exists when the driver resets")) {
    Bytes  Expected = { 0x02, 0, 0, 0, 0, 0, 0, 0 };
    C.Expect (Os->Data == Expected, "OsIndications 0x6 became 0x2: only bit 2 cleared (" + HexText (Os->Data) + ")");
    C.Expect (Os->Attributes == 7, "OsIndications kept its attributes");
  }

  const Variable  *Max = Update.FindAtReset ("CapsuleMax", gCapsuleReportGuid);
  C.Expect ((Max != nullptr) && (Max->Data == Utf16 ("Capsule0064", false)), "CapsuleMax was published before the warm reset");
  C.Expect (Verify.Find ("CapsuleLast", gCapsuleReportGuid) == nullptr, "no result record for capsule files that are not FMP capsules");
  return 0;
}

//
// (d) Power loss inside SetImage of a memory capsule; the next boot resumes
// from the backup file, applies it, deletes the file and resets cold.
//
int
PowerLoss (
  const Setup  &Config,
  Checker      &C
  )
{
  Machine               M (Config, "power-loss");
  std::vector<Payload>  Payloads = {
    { gE2eImageTypeGuid, 1, PatternImage (300, 0x77), {} },
  };
  Bytes                 Capsule = MakeFmpCapsule ({ TestDriver (Config) }, Payloads);

  if (!C.Expect (M.Create () && M.PutFile ("/E2E/PowerCut.bin", Capsule), "test disk with the capsule created")) {
    return 1;
  }

  BootResult  Cut = M.Boot (
                      std::string (kBootOptionHd) +
                      "set-var " E2E_STALL_VARIABLE_NAME " e2e 2 01\n"
                      "hob-capsule \\E2E\\PowerCut.bin\n" + kRun,
                      kStallMarker
                      );
  CheckBoot (C, Cut, "power cut");

  bool                      Listed;
  std::vector<std::string>  Root = M.ListDirectory ("", &Listed);
  Bytes                     Backup;
  bool                      Present = std::find (Root.begin (), Root.end (), "CapUptBkTemp") != Root.end ();
  C.Expect (Present, "after the power cut the backup file CapUptBkTemp is in the root " + Joined (Root));
  if (Present) {
    C.Expect (M.GetFile ("/CapUptBkTemp", &Backup) && Backup == Capsule, "CapUptBkTemp holds the capsule byte for byte (" + std::to_string (Backup.size ()) + " bytes)");
  }

  BootResult  Resume = M.Boot (std::string (kBootOptionHd) + "dump-vars\n" + kRun);
  CheckBoot (C, Resume, "cold");
  C.Expect (Resume.Find ("FmpWrite0", gE2eVariableGuid) == nullptr, "the cut write left no record before the resume");
  C.Expect (Resume.LinesWith ("[testfmp] SetImage").size () == 1, "the resumed update wrote the payload once");

  Root = M.ListDirectory ("", &Listed);
  C.Expect (Listed && std::find (Root.begin (), Root.end (), "CapUptBkTemp") == Root.end (), "the backup file was deleted before the reset " + Joined (Root));

  BootResult  Verify = M.Boot ("dump-vars\n");
  CheckBoot (C, Verify, "shutdown");
  CheckResultRecord (C, Verify, "Capsule0000", 0, 1, EFI_SUCCESS, "");
  C.Expect (Verify.Find ("Capsule0001", gCapsuleReportGuid) == nullptr, "exactly one result record");
  CheckCapsuleName (C, Verify, "CapsuleLast", 7, "Capsule0000");
  CheckWriteRecord (C, Verify, "FmpWrite0", Payloads[0], EFI_SUCCESS);
  C.Expect (Verify.Find ("FmpWrite1", gE2eVariableGuid) == nullptr, "the device was written once");
  return 0;
}

struct SCENARIO {
  const char    *Name;
  int           (*Run)(const Setup &, Checker &);
};

const SCENARIO  kScenarios[] = {
  { "nothing-pending", NothingPending },
  { "hob-fmp-capsule", HobFmpCapsule  },
  { "capsule-on-disk", CapsuleOnDisk  },
  { "directory-order", DirectoryOrder },
  { "power-loss",      PowerLoss      },
};

}  // namespace

std::vector<std::string>
ScenarioNames ()
{
  std::vector<std::string>  Names;

  for (const SCENARIO &Each : kScenarios) {
    Names.push_back (Each.Name);
  }

  return Names;
}

int
RunScenario (
  const Setup        &Config,
  const std::string  &Name
  )
{
  for (const SCENARIO &Each : kScenarios) {
    if (Name != Each.Name) {
      continue;
    }

    Checker  C (Name);
    std::cout << "scenario " << Name << "\n";
    auto  Start = std::chrono::steady_clock::now ();
    Each.Run (Config, C);
    double  Seconds = std::chrono::duration<double> (std::chrono::steady_clock::now () - Start).count ();
    std::cout << Name << ": " << (C.Failed () ? "FAILED (" + std::to_string (C.Failures ()) + " checks)" : "passed")
              << ", wall time " << std::fixed << std::setprecision (1) << Seconds << " s"
              << " (logs in " << Config.Work << "/" << Name << ")\n";
    return C.Failed () ? 1 : 0;
  }

  std::cerr << "runner: unknown scenario " << Name << "\n";
  return 2;
}

}  // namespace E2e
