/** @file
  The demo: the real CapsuleUpdateDxe.efi in OVMF applies a sample
  capsule-on-disk update to the test FMP device, and the runner tells what
  happened in plain words, from what the firmware printed, what the variable
  store kept across the reset and what is left on the disk.
**/
#include "Runner.h"

#include "E2eDefinitions.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <iomanip>
#include <iostream>
#include <sstream>

namespace E2e {

namespace {

std::string
Time (
  const EFI_TIME  &T
  )
{
  char  Text[32];

  std::snprintf (Text, sizeof (Text), "%04u-%02u-%02u %02u:%02u:%02u", T.Year, T.Month, T.Day, T.Hour, T.Minute, T.Second);
  return Text;
}

std::string
Secs (
  double  Value
  )
{
  std::ostringstream  Text;

  Text << std::fixed << std::setprecision (1) << Value << " s";
  return Text.str ();
}

std::string
Ended (
  const BootResult  &Boot
  )
{
  if (Boot.TimedOut) {
    return "did not end: stopped after the timeout";
  }

  if (Boot.Reset == "shutdown") {
    return "the harness shut the machine down (the driver did not reset it)";
  }

  return Boot.Reset.empty () ? "QEMU ended without a reset" : "the driver reset the platform: " + Boot.Reset + " reset";
}

}  // namespace

int
RunDemo (
  const Setup  &Config
  )
{
  Machine               M (Config, "demo");
  const std::string     FileName = "SampleUpdate.cap";
  Bytes                 Driver   = ReadFile (Config.Images + "/TestFmpDxe.efi");
  std::vector<Payload>  Payloads = {
    { gE2eImageTypeGuid, 1, PatternImage (256, 0x10), {} },
    { gE2eImageTypeGuid, 2, PatternImage (512, 0x20), {} },
  };
  Bytes                 Capsule;
  std::string           ToolOutput;
  auto                  Start   = std::chrono::steady_clock::now ();
  bool                  Good    = true;

  std::cout << "Demo: CapsuleUpdateDxe.efi applies a capsule-on-disk update in OVMF (QEMU q35, TCG)\n\n";
  if (!M.Create ()) {
    std::cout << "could not prepare the test disk\n";
    return 1;
  }

  if (!BuildWithCapsuleTool (Config, M.Directory () + "/tool", { Config.Images + "/TestFmpDxe.efi" }, Payloads, &Capsule, &ToolOutput)) {
    std::cout << "CapsuleTool build failed: " << ToolOutput << "\n";
    return 1;
  }

  if (!M.MakeDirectory ("/EFI/UpdateCapsule") || !M.PutFile ("/EFI/UpdateCapsule/" + FileName, Capsule)) {
    std::cout << "could not put the capsule on the test disk\n";
    return 1;
  }

  std::cout << "Prepared:\n"
            << "  test disk: GPT, one EFI system partition at LBA " << M.Disk ().FirstLba
            << ", partition GUID " << GuidText (M.Disk ().UniqueGuid) << "\n"
            << "  \\EFI\\UpdateCapsule\\" << FileName << ": FMP capsule of " << Capsule.size () << " bytes, made by CapsuleTool build, with\n"
            << "    1 embedded driver: TestFmpDxe.efi (" << Driver.size () << " bytes), a test firmware device\n";
  for (size_t Index = 0; Index < Payloads.size (); Index++) {
    std::cout << "    payload " << Index << ": image index " << unsigned (Payloads[Index].ImageIndex) << ", "
              << Payloads[Index].Image.size () << " bytes, for image type " << GuidText (Payloads[Index].ImageTypeId) << "\n";
  }


  bool                      Listed;
  std::vector<std::string>  Waiting = M.ListDirectory ("/EFI/UpdateCapsule", &Listed);
  std::cout << "  capsule files waiting in \\EFI\\UpdateCapsule:";
  for (const std::string &Name : Waiting) {
    std::cout << " " << Name;
  }

  std::cout << "\n  the harness sets OsIndications = 0x4 (capsule files on disk) and BootNext to this disk,\n"
            << "  loads CapsuleUpdateDxe.efi and calls ProcessPendingCapsules\n\n";

  BootResult  Update = M.Boot (
                         "display\n"
                         "boot-option hd 00A0\n"
                         "set-var OsIndications global 7 0400000000000000\n"
                         "run \\E2E\\CapsuleUpdateDxe.efi\n"
                         );
  std::cout << "Boot 1, the update (" << Secs (Update.WallSeconds) << "):\n";
  std::string  Progress;
  for (const std::string &Line : Update.Lines) {
    if (Line.compare (0, 17, "[testfmp] started") == 0) {
      std::cout << "  the capsule's embedded driver started: the test device's FMP instance is installed\n";
    } else if (Line.compare (0, 19, "[testfmp] SetImage ") == 0) {
      std::cout << "  SetImage on the test device: image " << Line.substr (19) << "\n";
    } else if (Line.compare (0, 26, "[display] progress update ") == 0) {
      size_t  At = Line.find ("completion ");
      if (At != std::string::npos) {
        Progress += " " + Line.substr (At + 11, Line.find (' ', At + 11) - At - 11) + "%";
      }
    } else if (Line.compare (0, 23, "[display] progress end ") == 0) {
      std::cout << "    progress display \"Flash Update Progress\":" << Progress << "\n";
      Progress.clear ();
    } else if (Line.compare (0, 18, "[display] message ") == 0) {
      std::cout << "    display message: " << Line.substr (18) << "\n";
    }
  }

  std::cout << "  " << Ended (Update) << "\n";
  Good = Good && (Update.Reset == "cold");

  std::vector<std::string>  Left = M.ListDirectory ("/EFI/UpdateCapsule", &Listed);
  std::cout << "  on the disk afterwards: \\EFI\\UpdateCapsule "
            << (Left.empty () ? "is empty, the capsule file was deleted" : "still holds " + std::to_string (Left.size ()) + " file(s)") << "\n\n";

  BootResult  Verify = M.Boot ("dump-vars\n");
  std::cout << "Boot 2, after the reset (" << Secs (Verify.WallSeconds) << "): what the operating system would find\n";
  size_t  Succeeded = 0;
  for (const Variable &Var : Verify.Variables) {
    if ((std::memcmp (&Var.Guid, &gCapsuleReportGuid, sizeof (EFI_GUID)) != 0) || (Var.Name.size () != 11) ||
        (Var.Name.compare (0, 7, "Capsule") != 0) ||
        (Var.Name.find_first_not_of ("0123456789ABCDEF", 7) != std::string::npos))
    {
      continue;
    }

    ResultRecord  R = DecodeResultRecord (Var.Data);
    if (!R.Valid) {
      std::cout << "  " << Var.Name << ": not a valid result record (" << R.Problem << ")\n";
      Good = false;
      continue;
    }

    Succeeded += (R.Status == EFI_SUCCESS) ? 1 : 0;
    std::cout << "  " << Var.Name << ": payload " << unsigned (R.PayloadIndex) << ", image index " << unsigned (R.UpdateImageIndex)
              << " -> " << StatusName (R.Status) << "\n"
              << "      file \"" << R.FileName << "\", device " << R.Target << ", processed " << Time (R.Processed) << "\n";
  }

  const Variable  *Last = Verify.Find ("CapsuleLast", gCapsuleReportGuid);
  const Variable  *Os   = Verify.Find ("OsIndications", gGlobalVariableGuid);
  std::cout << "  CapsuleLast = " << (Last != nullptr ? Narrow16 (Last->Data, 0, nullptr) : std::string ("(absent)")) << "\n";
  if (Os != nullptr) {
    uint64_t  Value = 0;
    std::memcpy (&Value, Os->Data.data (), std::min<size_t> (Os->Data.size (), sizeof (Value)));
    std::cout << "  OsIndications = 0x" << std::hex << Value << std::dec
              << ((Value & 4) == 0 ? " (the request for capsule files was consumed)" : " (request still set)") << "\n";
  }

  for (size_t Index = 0; Index < Payloads.size (); Index++) {
    const Variable  *Kept = Verify.Find (E2E_WRITE_RECORD_PREFIX + std::to_string (Index), gE2eVariableGuid);
    WriteRecord     W     = (Kept != nullptr) ? DecodeWriteRecord (Kept->Data) : WriteRecord ();
    bool            Same  = W.Valid && (W.Image == Payloads[Index].Image);
    std::cout << "  the test device received write " << Index << ": "
              << (W.Valid ? "image index " + std::to_string (W.ImageIndex) + ", " + std::to_string (W.Image.size ()) + " bytes, " +
                  (Same ? "equal to payload " + std::to_string (Index) : "NOT equal to payload " + std::to_string (Index))
                  : std::string ("nothing")) << "\n";
    Good = Good && Same;
  }

  std::string  Decoded;
  int          DecodeStatus = DecodeWithCapsuleTool (Config, M.Directory () + "/efivars", Verify.Variables, &Decoded);
  std::cout << "\n  the same records as \"CapsuleTool results\" reads them (exit status " << DecodeStatus << "):\n";
  std::istringstream  DecodedLines (Decoded);
  std::string         DecodedLine;
  while (std::getline (DecodedLines, DecodedLine)) {
    std::cout << "    " << DecodedLine << "\n";
  }

  Good = Good && (Succeeded == Payloads.size ()) && Left.empty () && (DecodeStatus == 0);
  double  Total = std::chrono::duration<double> (std::chrono::steady_clock::now () - Start).count ();
  std::cout << "\nResult: " << (Good ? "the update was applied" : "the update did NOT go as expected") << ", "
            << Succeeded << " of " << Payloads.size () << " payloads succeeded; two boots, " << Secs (Total)
            << " (logs in " << M.Directory () << ")\n";
  return Good ? 0 : 1;
}

}  // namespace E2e
