// results: records the real driver wrote after a capsule was built and
// staged by the tool, decoded newest first across the wrap after 0x64; the
// deferred record; the order rules; and malformed variables reported at the
// byte where they go wrong without reading past them.
#include <gtest/gtest.h>

#include <cstring>

#include "DiskFixture.h"
#include "FmpInstance.h"
#include "ToolTestSupport.h"

using namespace ToolTest;

namespace {

const EFI_GUID  TypeA = { 0xaaaa0001, 0x1111, 0x2222, { 3, 3, 3, 3, 3, 3, 3, 3 } };
const EFI_GUID  TypeC = { 0xcccc0003, 0x1111, 0x2222, { 5, 5, 5, 5, 5, 5, 5, 5 } };
const char      ReportGuid[] = "-39b68c46-f7fb-441b-b6ec-16b0f69821f3";
const char      FlashFile[]  = "FlashUpdateImageName-a4ea2f68-5778-40aa-b1d7-600e6e16b3cc";

Bytes
Name16 (
  const std::string  &Ascii,
  bool               WithNul
  )
{
  Bytes  Result;

  for (char C : Ascii) {
    Result.push_back ((UINT8)C);
    Result.push_back (0);
  }

  if (WithNul) {
    Result.insert (Result.end (), { 0, 0 });
  }

  return Result;
}

/// A result record as the driver lays it out.
Bytes
RecordBytes (
  EFI_STATUS         Status,
  UINT8              PayloadIndex,
  const std::string  &FileName,
  const std::string  &Target
  )
{
  EFI_CAPSULE_RESULT_VARIABLE_HEADER  Header {};
  EFI_CAPSULE_RESULT_VARIABLE_FMP     Fmp {};
  Bytes                               File   = Name16 (FileName, true);
  Bytes                               Text   = Name16 (Target, true);
  Bytes                               Record;

  Header.CapsuleGuid      = gEfiFmpCapsuleGuid;
  Header.CapsuleStatus    = Status;
  Header.CapsuleProcessed = { 2025, 1, 1, 0, 0, PayloadIndex, 0, 0, 0x7FF, 0, 0 };
  Fmp.Version             = 1;
  Fmp.PayloadIndex        = PayloadIndex;
  Fmp.UpdateImageIndex    = 1;
  Fmp.UpdateImageTypeId   = TypeA;
  Header.VariableTotalSize = (UINT32)(sizeof (Header) + sizeof (Fmp) + File.size () + Text.size ());
  Record.assign ((const UINT8 *)&Header, (const UINT8 *)&Header + sizeof (Header));
  Record.insert (Record.end (), (const UINT8 *)&Fmp, (const UINT8 *)&Fmp + sizeof (Fmp));
  Record.insert (Record.end (), File.begin (), File.end ());
  Record.insert (Record.end (), Text.begin (), Text.end ());
  return Record;
}

std::string
RecordFile (
  UINT32  Index
  )
{
  char  Name[16];

  std::snprintf (Name, sizeof (Name), "Capsule%04X", Index);
  return std::string ("vars/") + Name + ReportGuid;
}

std::vector<std::string>
Names (
  const Json  &Report
  )
{
  std::vector<std::string>  Result;

  for (auto &Record : Report.at ("records")) {
    Result.push_back (Record.at ("name"));
  }

  return Result;
}

/// Every problem of a results report, as "offset: message".
std::vector<std::string>
Problems (
  const Json  &Report
  )
{
  std::vector<std::string>  Found;
  auto                      Collect = [&](const Json &Item) {
                                        if (Item.is_object ()) {
                                          for (auto &P : Item.at ("problems")) {
                                            Found.push_back (std::to_string (P.at ("offset").get<UINT64>()) + ": " + P.at ("message").get<std::string>());
                                          }
                                        }
                                      };

  Collect (Report.at ("capsule_last"));
  Collect (Report.at ("capsule_max"));
  Collect (Report.at ("flash_update_image_name"));
  for (auto &Item : Report.at ("records")) {
    Collect (Item);
  }

  for (auto &Item : Report.at ("other_files")) {
    Collect (Item);
  }

  return Found;
}

}  // namespace

/// Runs the tool's staged delivery through the real driver on a simulated
/// disk: the staged file and OsIndications are moved onto the platform, the
/// pass runs, and the platform's variables come back as efivarfs files.
class ResultsRoundTrip : public Harness::DiskTest {
protected:
  TempDir  Dir;

  std::string
  Build (
    const std::vector<std::string>  &Arguments
    )
  {
    std::vector<std::string>  Command = { "build", "-o", Dir.Path () + "/in/capsule" };
    Command.insert (Command.end (), Arguments.begin (), Arguments.end ());
    Outcome  Built = Tool (Command);
    EXPECT_EQ (Built.Code, 0) << Built.Err;
    return Dir.Path () + "/in/capsule";
  }

  Harness::PassEnd
  StageAndBoot (
    const std::string  &Capsule,
    const std::string  &Name
    )
  {
    Dir.Write ("esp/EFI/BOOT/BOOTX64.EFI", Fill (4, 0));
    Dir.Write ("vars/.keep", Bytes ());
    Outcome  Staged = Tool ({ "stage", Capsule, "--esp", Dir.Path () + "/esp", "--efivars", Dir.Path () + "/vars", "--name", Name });
    EXPECT_EQ (Staged.Code, 0) << Staged.Err;

    for (auto &File : Dir.List ("esp/EFI/UpdateCapsule")) {
      AddCapsuleFile (File, Slurp (Dir.Path () + "/esp/EFI/UpdateCapsule/" + File));
    }

    CapsuleTool::EfiVariableFile  Indications = CapsuleTool::ReadVariableFile (Dir.Path () + "/vars/OsIndications-8be4df61-93ca-11d2-aa0d-00e098032b8c");
    EXPECT_EQ (Indications.Problem, "");
    Platform.SetVariable (u"OsIndications", gEfiGlobalVariableGuid, Indications.Attributes, Indications.Data);
    BootFromEsp ();

    Harness::PassEnd  End = RunPass ();
    EXPECT_EQ (OsIndications () & EFI_OS_INDICATIONS_FILE_CAPSULE_DELIVERY_SUPPORTED, 0u) << "the driver took the request";
    DumpVariables (Platform, Dir.Path () + "/after");
    return End;
  }
};

TEST_F (ResultsRoundTrip, RecordsOfAStagedCapsuleAreDecodedNewestFirstAcrossTheWrap)
{
  Host::FmpInstance   WithPath (TypeA);
  Host::FmpInstance   Failing (TypeC);
  std::vector<UINT8>  Path = Host::DevicePathBuilder ().Acpi (0x0A0341D0, 0).Pci (0x1C, 0).End ().Bytes ();

  Host::InstallDevicePathToText (Platform);
  WithPath.Install (Platform, Platform.InstallProtocol (nullptr, gEfiDevicePathProtocolGuid, Path.data ()));
  Failing.Install (Platform);
  Failing.SetImageStatus = EFI_DEVICE_ERROR;
  Platform.SetVariable (u"CapsuleLast", gEfiCapsuleReportGuid, 7, Name16 ("Capsule0063", false));

  std::string  Image   = Dir.Write ("in/image.bin", Fill (64, 1));
  std::string  Capsule = Build ({
                           "--payload", "image=" + Image + ",type=" + CapsuleTool::FormatGuid (TypeA) + ",index=4",
                           "--payload", "image=" + Image + ",type=BBBB0002-1111-2222-0404-040404040404",
                           "--payload", "image=" + Image + ",type=" + CapsuleTool::FormatGuid (TypeC) + ",index=9",
                         });
  ASSERT_EQ (StageAndBoot (Capsule, "FW.CAP"), Harness::PassEnd::ColdReset);

  Outcome  Decoded = Tool ({ "results", "--efivars", Dir.Path () + "/after", "--json" });
  ASSERT_EQ (Decoded.Code, 0) << Decoded.Out << Decoded.Err;
  Json  Report = ParseOut (Decoded);
  EXPECT_EQ (Report["capsule_last"]["value"], "Capsule0001");
  EXPECT_TRUE (Report["capsule_max"].is_null ()) << "the cold reset came before CapsuleMax";
  EXPECT_EQ (Report["order"], "capsule_last");
  ASSERT_EQ (Names (Report), (std::vector<std::string>{ "Capsule0001", "Capsule0000", "Capsule0064" }));

  struct Expected {
    const char    *Status;
    unsigned      PayloadIndex;
    unsigned      ImageIndex;
    std::string   Type;
    std::string   Target;
  };
  const Expected  Records[] = {
    { "EFI_DEVICE_ERROR", 2, 9, CapsuleTool::FormatGuid (TypeC), "" },
    { "EFI_NOT_FOUND",    1, 1, "BBBB0002-1111-2222-0404-040404040404", "" },
    { "EFI_SUCCESS",      0, 4, CapsuleTool::FormatGuid (TypeA), Host::DevicePathText (Path.data ()) },
  };
  for (size_t Index = 0; Index < 3; Index++) {
    Json  &Record = Report["records"][Index];
    SCOPED_TRACE (Record["name"].get<std::string>());
    EXPECT_EQ (Record["capsule_guid"], CapsuleTool::FormatGuid (gEfiFmpCapsuleGuid));
    EXPECT_EQ (Record["capsule_status"], Records[Index].Status);
    EXPECT_EQ (Record["payload_index"], Records[Index].PayloadIndex);
    EXPECT_EQ (Record["update_image_index"], Records[Index].ImageIndex);
    EXPECT_EQ (Record["update_image_type_id"], Records[Index].Type);
    EXPECT_EQ (Record["capsule_file_name"], "FW.CAP");
    EXPECT_EQ (Record["capsule_target"], Records[Index].Target);
    EXPECT_EQ (Record["capsule_processed"], "2026-12-11T10:30:15");
    EXPECT_EQ (Record["attributes"], 7);
    EXPECT_TRUE (Record["problems"].empty ());
  }

  ASSERT_FALSE (Records[2].Target.empty ());
  Outcome  Text = Tool ({ "results", "--efivars", Dir.Path () + "/after" });
  EXPECT_EQ (Text.Code, 0);
  EXPECT_LT (Text.Out.find ("Capsule0001 (newest)"), Text.Out.find ("EFI_DEVICE_ERROR"));
  EXPECT_LT (Text.Out.find ("EFI_NOT_FOUND"), Text.Out.find ("EFI_SUCCESS"));
}

TEST_F (ResultsRoundTrip, ADeferredFileIsDecodedFromFlashUpdateImageName)
{
  std::string  Body    = Dir.Write ("in/body.bin", Fill (0x1000 - 28, 3));
  std::string  Capsule = Build ({ "--guid", "4A3CA68B-7723-48FB-803D-578CC1FEC44D", "--body", Body });

  ASSERT_EQ (StageAndBoot (Capsule, "FLASH.BIN"), Harness::PassEnd::WarmReset);
  EXPECT_TRUE (CapsuleFileExists ("FLASH.BIN"));

  Outcome  Decoded = Tool ({ "results", "--efivars", Dir.Path () + "/after", "--json" });
  ASSERT_EQ (Decoded.Code, 0) << Decoded.Out << Decoded.Err;
  Json  Flash = ParseOut (Decoded)["flash_update_image_name"];
  EXPECT_EQ (Flash["file_path"], "EFI/UpdateCapsule/FLASH.BIN");
  EXPECT_EQ (Flash["file_size"], 0x1000);
  EXPECT_EQ (Flash["partition"], "HD(1,GPT," + CapsuleTool::FormatGuid (Harness::DiskSignature) + ",0x800,0x20000)");
  EXPECT_EQ (Flash["attributes"], 7);
  EXPECT_TRUE (Flash["problems"].empty ());
}

TEST (Results, OrderFollowsCapsuleLastAndWrapsAtCapsuleMax)
{
  struct Case {
    const char                *What;
    const char                *Last;   // nullptr: absent
    const char                *Max;    // nullptr: absent
    std::vector<UINT32>       Order;
    const char                *By;
  };
  const Case  Cases[] = {
    { "last in the middle",       "Capsule0001", nullptr,       { 1, 0, 0x64, 0x63, 2, 0x70 }, "capsule_last" },
    { "last at the top",          "Capsule0064", "Capsule0064", { 0x64, 0x63, 2, 1, 0, 0x70 }, "capsule_last" },
    { "a smaller rotation",       "Capsule0001", "Capsule0002", { 1, 0, 2, 0x63, 0x64, 0x70 }, "capsule_last" },
    { "no CapsuleLast",           nullptr,       nullptr,       { 0x70, 0x64, 0x63, 2, 1, 0 }, "index" },
    { "CapsuleLast out of range", "Capsule0070", nullptr,       { 0x70, 0x64, 0x63, 2, 1, 0 }, "index" },
  };

  for (auto &Case : Cases) {
    SCOPED_TRACE (Case.What);
    TempDir  Dir;
    for (UINT32 Index : { 0u, 1u, 2u, 0x63u, 0x64u, 0x70u }) {
      Dir.Write (RecordFile (Index), VariableFile (7, RecordBytes (EFI_SUCCESS, (UINT8)Index, "", "")));
    }

    if (Case.Last != nullptr) {
      Dir.Write (std::string ("vars/CapsuleLast") + ReportGuid, VariableFile (7, Name16 (Case.Last, false)));
    }

    if (Case.Max != nullptr) {
      Dir.Write (std::string ("vars/CapsuleMax") + ReportGuid, VariableFile (6, Name16 (Case.Max, false)));
    }

    Dir.Write ("vars/Boot0001-8be4df61-93ca-11d2-aa0d-00e098032b8c", VariableFile (7, Fill (30, 0)));
    Outcome  Decoded = Tool ({ "results", "--efivars", Dir.Path () + "/vars", "--json" });
    EXPECT_EQ (Decoded.Code, 0) << Decoded.Err;
    Json                      Report = ParseOut (Decoded);
    std::vector<std::string>  Expected;
    for (UINT32 Index : Case.Order) {
      Expected.push_back (RecordFile (Index).substr (5, 11));
    }

    EXPECT_EQ (Names (Report), Expected);
    EXPECT_EQ (Report["order"], Case.By);
  }
}

TEST (Results, MalformedVariablesAreReportedWhereTheyGoWrongAndTheRestIsStillDecoded)
{
  Bytes  Good = RecordBytes (EFI_NOT_FOUND, 0, "A.CAP", "");
  Bytes  Flash (sizeof (FLASH_UPDATE_IMAGE_RECORD), 0);
  Bytes  Node  = Host::HardDriveNode (1, 0x800, 0x1000, TypeA);
  std::memcpy (Flash.data (), Node.data (), Node.size ());
  Bytes  Path = Name16 ("EFI/UpdateCapsule/X", true);
  std::memcpy (Flash.data () + 42, Path.data (), Path.size ());

  auto  WithTotal = [](Bytes Record, UINT32 Total) { std::memcpy (Record.data (), &Total, 4); return Record; };
  auto  Cut       = [](Bytes Record, size_t Size) { Record.resize (Size); return Record; };

  struct Case {
    const char     *What;
    std::string    File;
    Bytes          Contents;
    UINT64         Offset;
    const char     *Message;
  };
  Bytes  NoFileNul   = WithTotal (Cut (Good, 68 + 4), 68 + 4);
  Bytes  NoTargetNul = WithTotal (Cut (Good, 68 + 12 + 1), 68 + 12 + 1);
  Bytes  Trailing    = Good;
  Trailing.insert (Trailing.end (), { 0xAA, 0xBB });
  Trailing = WithTotal (Trailing, (UINT32)Trailing.size ());
  Bytes  Version2 = Good;
  Version2[48]    = 2;
  Bytes  NotHd    = Flash;
  NotHd[1]        = 4;
  Bytes  NoPathNul = Flash;
  for (size_t At = 42; At < 42 + 512; At += 2) {
    NoPathNul[At] = 'x';
  }

  const Case  Cases[] = {
    { "shorter than the record header", RecordFile (1), VariableFile (7, Cut (Good, 47)), 47, "fewer than the 48-byte record header" },
    { "VariableTotalSize beyond the data", RecordFile (1), VariableFile (7, WithTotal (Good, 200)), 0, "VariableTotalSize says 200 bytes, the variable holds 82" },
    { "VariableTotalSize cuts the file name", RecordFile (1), VariableFile (7, WithTotal (Good, 70)), 68, "CapsuleFileName has no NUL before the record's end at byte 70" },
    { "FMP part cut short", RecordFile (1), VariableFile (7, WithTotal (Cut (Good, 50), 50)), 48, "the 20-byte FMP part does not fit" },
    { "unknown FMP part version", RecordFile (1), VariableFile (7, Version2), 48, "FMP part Version 2; only version 1 is known" },
    { "file name without NUL", RecordFile (1), VariableFile (7, NoFileNul), 68, "CapsuleFileName has no NUL" },
    { "target without NUL", RecordFile (1), VariableFile (7, NoTargetNul), 80, "CapsuleTarget has no NUL" },
    { "bytes after the target", RecordFile (1), VariableFile (7, Trailing), 82, "2 bytes follow CapsuleTarget's NUL" },
    { "file shorter than its attributes", RecordFile (1), { 7, 0, 0 }, 0, "fewer than the 4 bytes of attributes" },
    { "CapsuleMax of 20 bytes", std::string ("vars/CapsuleMax") + ReportGuid, VariableFile (6, Name16 ("Capsule006", false)), 0, "not the 22 of a record name" },
    { "CapsuleMax naming no record", std::string ("vars/CapsuleMax") + ReportGuid, VariableFile (6, Name16 ("Capsule00G4", false)), 0, "is not a record name" },
    { "FlashUpdateImageName one byte short", std::string ("vars/") + FlashFile, VariableFile (7, Cut (Flash, 559)), 559, "holds 559 bytes, not the 560" },
    { "FlashUpdateImageName without a hard-drive node", std::string ("vars/") + FlashFile, VariableFile (7, NotHd), 0, "not a 42-byte hard-drive node" },
    { "FlashUpdateImageName path without NUL", std::string ("vars/") + FlashFile, VariableFile (7, NoPathNul), 42, "FilePath has no NUL in its 256 characters" },
  };

  for (auto &Case : Cases) {
    SCOPED_TRACE (Case.What);
    TempDir  Dir;
    Dir.Write (RecordFile (0), VariableFile (7, Good));
    Dir.Write (std::string ("vars/CapsuleLast") + ReportGuid, VariableFile (7, Name16 ("Capsule0001", false)));
    Dir.Write (Case.File, Case.Contents);

    Outcome  Decoded = Tool ({ "results", "--efivars", Dir.Path () + "/vars", "--json" });
    EXPECT_EQ (Decoded.Code, 1) << Decoded.Err;
    Json  Report = ParseOut (Decoded);
    bool  Found  = false;
    for (auto &Problem : Problems (Report)) {
      Found = Found || ((Problem.rfind (std::to_string (Case.Offset) + ": ", 0) == 0) && (Problem.find (Case.Message) != std::string::npos));
    }

    EXPECT_TRUE (Found) << Report.dump (2);
    for (auto &Record : Report["records"]) {
      if (Record["name"] == "Capsule0000") {
        EXPECT_EQ (Record["capsule_status"], "EFI_NOT_FOUND");
        EXPECT_EQ (Record["capsule_file_name"], "A.CAP");
        EXPECT_TRUE (Record["problems"].empty ());
      }
    }

    Outcome  Text = Tool ({ "results", "--efivars", Dir.Path () + "/vars" });
    EXPECT_EQ (Text.Code, 1);
    EXPECT_NE (Text.Out.find ("PROBLEM               at byte " + std::to_string (Case.Offset) + " ("), std::string::npos) << Text.Out;
  }
}
