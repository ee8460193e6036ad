/** @file
  The project's capsule tool in the end-to-end runs: capsules built by
  "CapsuleTool build" go through the real driver in OVMF, and the records
  the driver left are decoded by "CapsuleTool results", as a person would
  do it on a machine.
**/
#include "Runner.h"

#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace E2e {

bool
BuildWithCapsuleTool (
  const Setup                     &Config,
  const std::string               &Directory,
  const std::vector<std::string>  &DriverFiles,
  const std::vector<Payload>      &Payloads,
  Bytes                           *Capsule,
  std::string                     *Output
  )
{
  std::error_code           Error;
  std::vector<std::string>  Argv = { FindProgram (Config.CapsuleTool), "build", "-o", Directory + "/capsule.bin" };

  fs::create_directories (Directory, Error);
  for (const std::string &Driver : DriverFiles) {
    Argv.push_back ("--driver");
    Argv.push_back (Driver);
  }

  for (size_t Index = 0; Index < Payloads.size (); Index++) {
    std::string  Image = Directory + "/payload" + std::to_string (Index) + ".bin";
    std::string  Item  = "image=" + Image + ",type=" + GuidText (Payloads[Index].ImageTypeId) +
                         ",index=" + std::to_string (Payloads[Index].ImageIndex);
    WriteFile (Image, Payloads[Index].Image);
    if (!Payloads[Index].VendorCode.empty ()) {
      std::string  Vendor = Directory + "/vendor" + std::to_string (Index) + ".bin";
      WriteFile (Vendor, Payloads[Index].VendorCode);
      Item += ",vendor=" + Vendor;
    }

    Argv.push_back ("--payload");
    Argv.push_back (Item);
  }

  if (Argv[0].empty ()) {
    *Output = "CapsuleTool not found at " + Config.CapsuleTool;
    return false;
  }

  if (RunProgram (Argv, Output) != 0) {
    return false;
  }

  *Capsule = ReadFile (Directory + "/capsule.bin");
  return !Capsule->empty ();
}

int
DecodeWithCapsuleTool (
  const Setup                  &Config,
  const std::string            &Directory,
  const std::vector<Variable>  &Variables,
  std::string                  *Output
  )
{
  std::error_code  Error;

  fs::remove_all (Directory, Error);
  fs::create_directories (Directory, Error);
  for (const Variable &Each : Variables) {
    if ((std::memcmp (&Each.Guid, &gCapsuleReportGuid, sizeof (EFI_GUID)) != 0) &&
        (std::memcmp (&Each.Guid, &gFlashUpdateGuid, sizeof (EFI_GUID)) != 0))
    {
      continue;
    }

    Bytes  File (4);
    std::memcpy (File.data (), &Each.Attributes, 4);
    File.insert (File.end (), Each.Data.begin (), Each.Data.end ());
    WriteFile (Directory + "/" + Each.Name + "-" + Lower (GuidText (Each.Guid)), File);
  }

  std::string  Tool = FindProgram (Config.CapsuleTool);
  if (Tool.empty ()) {
    *Output = "CapsuleTool not found at " + Config.CapsuleTool;
    return -1;
  }

  return RunProgram ({ Tool, "results", "--efivars", Directory }, Output);
}

}  // namespace E2e
