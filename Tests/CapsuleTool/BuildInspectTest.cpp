// build -> inspect round trips: a capsule built from options and the same
// capsule built from a JSON description are identical, and inspect finds
// every header, item, image and vendor code where the inputs went.
#include <gtest/gtest.h>

#include "ToolTestSupport.h"

using namespace ToolTest;

namespace {

struct PayloadShape {
  const char    *Type;
  unsigned      Index;
  unsigned      Version;
  UINT64        Instance;
  size_t        ImageSize;
  size_t        VendorSize;
};

struct Shape {
  const char                    *What;
  std::vector<size_t>           Drivers;
  std::vector<PayloadShape>     Payloads;
  const char                    *Wrap;        // nullptr: not wrapped
  UINT32                        Flags;
  const char                    *PlainGuid;   // a plain capsule of this GUID
  size_t                        BodySize;
};

void
PrintTo (
  const Shape   &Item,
  std::ostream  *Out
  )
{
  *Out << Item.What;
}

const char  TypeA[]    = "AAAA0001-1111-2222-0303-030303030303";
const char  TypeB[]    = "BBBB0002-1111-2222-0404-040404040404";
const char  FmpGuid[]  = "6DCBD5ED-E82D-4C44-BDA1-7194199AD92A";
const char  Wrapper1[] = "0053E4BA-9D91-52AA-B95B-2B5C1CF756F9";
const char  Wrapper4[] = "0EAB05C1-766A-4805-A039-3081DE0210C7";
const char  KindA[]    = "11111111-2222-3333-0102-030405060708";

const Shape  Shapes[] = {
  { "one payload",                       {},          { { TypeA, 1, 2, 0, 1000, 0 } },                                         nullptr,  0,       nullptr, 0 },
  { "drivers, vendor code, versions",    { 300, 77 }, { { TypeA, 3, 1, 9, 16, 2 }, { TypeB, 255, 2, 0x1234567890ULL, 0, 40 } }, nullptr,  0x50000, nullptr, 0 },
  { "drivers only, wrapped",             { 512 },     {},                                                                      Wrapper4, 0,       nullptr, 0 },
  { "payloads wrapped",                  {},          { { TypeB, 7, 3, 5, 33, 0 }, { TypeA, 0, 0, 0, 1, 1 } },                 Wrapper1, 0x10000, nullptr, 0 },
  { "plain capsule",                     {},          {},                                                                      nullptr,  0,       KindA,   100 },
  { "plain capsule, wrapped, no body",   {},          {},                                                                      Wrapper4, 0,       KindA,   0 },
};

/// The part of the structure called What, or null.
Json
Region (
  const Json         &Report,
  const std::string  &What
  )
{
  for (auto &Part : Report.at ("structure")) {
    if (Part.at ("what") == What) {
      return Part;
    }
  }

  return Json ();
}

Bytes
At (
  const Bytes  &Data,
  UINT64       Offset,
  UINT64       Size
  )
{
  if (Offset + Size > Data.size ()) {
    return {};
  }

  return Bytes (Data.begin () + (long)Offset, Data.begin () + (long)(Offset + Size));
}

}  // namespace

class BuildInspect : public ::testing::TestWithParam<Shape> {};

TEST_P (BuildInspect, OptionsAndDescriptionGiveTheSameCapsuleAndInspectFindsEveryPart)
{
  const Shape               &Case = GetParam ();
  TempDir                   Dir;
  std::vector<std::string>  Options = { "build", "-o", Dir.Path () + "/flags.cap" };
  Json                      Description = Json::object ();
  std::vector<Bytes>        Drivers, Images, Vendors;
  Bytes                     Body;

  if (Case.PlainGuid != nullptr) {
    Body = Fill (Case.BodySize, 0x30);
    Options.insert (Options.end (), { "--guid", Case.PlainGuid, "--body", Dir.Write ("in/body.bin", Body) });
    Description["guid"] = Case.PlainGuid;
    Description["body"] = "in/body.bin";
  }

  for (size_t Index = 0; Index < Case.Drivers.size (); Index++) {
    std::string  Name = "in/driver" + std::to_string (Index) + ".efi";
    Drivers.push_back (Fill (Case.Drivers[Index], (UINT8)(0x10 * Index + 1)));
    Options.insert (Options.end (), { "--driver", Dir.Write (Name, Drivers.back ()) });
    Description["drivers"].push_back (Name);
  }

  for (size_t Index = 0; Index < Case.Payloads.size (); Index++) {
    const PayloadShape  &P = Case.Payloads[Index];
    std::string         Image = "in/image" + std::to_string (Index) + ".bin";
    std::string         Vendor = "in/vendor" + std::to_string (Index) + ".bin";
    std::string         Option;
    Json                Item = { { "image", Image }, { "type", P.Type }, { "index", P.Index }, { "version", P.Version },
                                 { "instance", CapsuleTool::Hex (P.Instance) } };

    Images.push_back (Fill (P.ImageSize, (UINT8)(0x80 + Index)));
    Vendors.push_back (Fill (P.VendorSize, (UINT8)(0xC0 + Index)));
    Option = "image=" + Dir.Write (Image, Images.back ()) + ",type=" + P.Type + ",index=" + std::to_string (P.Index) +
           ",version=" + std::to_string (P.Version) + ",instance=" + std::to_string (P.Instance);
    if (P.VendorSize != 0) {
      Option += ",vendor=" + Dir.Write (Vendor, Vendors.back ());
      Item["vendor"] = Vendor;
    }

    Options.insert (Options.end (), { "--payload", Option });
    Description["payloads"].push_back (Item);
  }

  if (Case.Wrap != nullptr) {
    Options.insert (Options.end (), { "--wrap", Case.Wrap });
    Description["wrap"] = Case.Wrap;
  }

  Options.insert (Options.end (), { "--flags", std::to_string (Case.Flags) });
  Description["flags"] = CapsuleTool::Hex (Case.Flags);

  Outcome  FromOptions = Tool (Options);
  ASSERT_EQ (FromOptions.Code, 0) << FromOptions.Err;
  std::string  DescriptionPath = Dir.Write ("description.json", Description.dump (2));
  Outcome          FromJson        = Tool ({ "build", "-o", Dir.Path () + "/json.cap", "--from", DescriptionPath });
  ASSERT_EQ (FromJson.Code, 0) << FromJson.Err;

  Bytes  Capsule = Slurp (Dir.Path () + "/flags.cap");
  EXPECT_EQ (Slurp (Dir.Path () + "/json.cap"), Capsule);
  EXPECT_FALSE (Dir.Exists ("flags.cap.partial"));

  Outcome  Inspected = Tool ({ "inspect", Dir.Path () + "/flags.cap", "--json" });
  ASSERT_EQ (Inspected.Code, 0) << Inspected.Out << Inspected.Err;
  Json  Report  = ParseOut (Inspected);
  Json  Verdict = Report["verdict"];
  EXPECT_TRUE (Verdict["accepted"].get<bool>());
  EXPECT_EQ (Report["size"], Capsule.size ());

  Json  Outer = Region (Report, "capsule header");
  ASSERT_FALSE (Outer.is_null ());
  EXPECT_EQ (Outer["fields"]["CapsuleImageSize"], Capsule.size ());
  EXPECT_EQ (Outer["fields"]["Flags"], Case.Flags);
  EXPECT_EQ (Outer["fields"]["CapsuleGuid"], Case.Wrap ? Case.Wrap : Case.PlainGuid ? Case.PlainGuid : FmpGuid);
  if (Case.Wrap != nullptr) {
    Json  Inner = Region (Report, "inner capsule header");
    ASSERT_FALSE (Inner.is_null ());
    EXPECT_EQ (Inner["offset"], 28);
    EXPECT_EQ (Inner["fields"]["CapsuleImageSize"], Capsule.size () - 28);
    EXPECT_EQ (Verdict["unwrapped_from"], Case.Wrap);
  } else {
    EXPECT_TRUE (Region (Report, "inner capsule header").is_null ());
  }

  if (Case.PlainGuid != nullptr) {
    EXPECT_EQ (Verdict["route"], "handler");
    EXPECT_EQ (Verdict["capsule_guid"], Case.PlainGuid);
    Json  Part = Region (Report, "body");
    ASSERT_FALSE (Part.is_null ());
    EXPECT_EQ (At (Capsule, Part["offset"], Part["size"]), Body);
    return;
  }

  EXPECT_EQ (Verdict["route"], "fmp");
  EXPECT_EQ (Verdict["fmp_check"], "FmpCapsuleValid");
  EXPECT_EQ (Verdict["embedded_drivers"], Case.Drivers.size ());
  ASSERT_EQ (Verdict["payloads"].size (), Case.Payloads.size ());

  for (size_t Index = 0; Index < Drivers.size (); Index++) {
    Json  Part = Region (Report, "driver " + std::to_string (Index));
    ASSERT_FALSE (Part.is_null ());
    EXPECT_EQ (At (Capsule, Part["offset"], Part["size"]), Drivers[Index]) << "driver " << Index;
  }

  for (size_t Index = 0; Index < Case.Payloads.size (); Index++) {
    const PayloadShape  &P    = Case.Payloads[Index];
    Json                Part = Region (Report, "payload " + std::to_string (Index));
    ASSERT_FALSE (Part.is_null ());
    Json  Fields = Part["fields"];
    EXPECT_EQ (Part["size"], 40 + P.ImageSize + P.VendorSize);
    EXPECT_EQ (Fields["Version"], P.Version);
    EXPECT_EQ (Fields["UpdateImageTypeId"], P.Type);
    EXPECT_EQ (Fields["UpdateImageIndex"], P.Index);
    EXPECT_EQ (Fields["UpdateHardwareInstance"], P.Instance);
    EXPECT_EQ (At (Capsule, Fields["image_offset"], P.ImageSize), Images[Index]) << "payload " << Index;
    if (P.VendorSize != 0) {
      EXPECT_EQ (At (Capsule, Fields["vendor_code_offset"], P.VendorSize), Vendors[Index]) << "payload " << Index;
    } else {
      EXPECT_FALSE (Fields.contains ("vendor_code_offset"));
    }

    // The instance the driver will match: only read from version 2 on.
    EXPECT_EQ (Verdict["payloads"][Index]["hardware_instance"], P.Version >= 2 ? P.Instance : 0) << "payload " << Index;
    EXPECT_EQ (Verdict["payloads"][Index]["offset"], Part["offset"]);
  }
}

INSTANTIATE_TEST_SUITE_P (
  Shapes,
  BuildInspect,
  ::testing::ValuesIn (Shapes),
  [](const ::testing::TestParamInfo<Shape> &Info) {
    std::string  Name;
    for (const char *C = Info.param.What; *C != 0; C++) {
      Name += std::isalnum ((unsigned char)*C) ? *C : '_';
    }

    return Name;
  }
  );
