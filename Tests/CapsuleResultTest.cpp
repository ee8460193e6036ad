// Capsule result records, "CapsuleLast" and "CapsuleMax".
#include "CapsuleBuilder.h"
#include "DevicePath.h"
#include "DriverFixture.h"
#include "FmpInstance.h"

using namespace Harness;
using Host::FmpInstance;

namespace {

const EFI_GUID  TypeA = { 0xaaaa0001, 0x1111, 0x2222, { 3, 3, 3, 3, 3, 3, 3, 3 } };

Bytes
Name16 (
  const char  *Ascii,
  bool        WithNul
  )
{
  Bytes  Result;

  for (const char *C = Ascii; *C != 0; C++) {
    Result.push_back ((UINT8)*C);
    Result.push_back (0);
  }

  if (WithNul) {
    Result.push_back (0);
    Result.push_back (0);
  }

  return Result;
}

}  // namespace

class ResultTest : public DriverTest {
protected:
  Bytes                                         Capsule = MakeFmpCapsule ({}, { { TypeA, 5, 2, 0, { 1, 2 } } });
  EFI_FIRMWARE_MANAGEMENT_CAPSULE_IMAGE_HEADER  *Image =
    (EFI_FIRMWARE_MANAGEMENT_CAPSULE_IMAGE_HEADER *)(Capsule.data () + 28 + 16);

  void
  Record (
    UINT16      PayloadIndex,
    EFI_STATUS  Status,
    const char  *FileName = nullptr
    )
  {
    std::u16string  Name = FileName ? Host::U16 (FileName) : u"";
    RecordCapsuleResult (
      (EFI_CAPSULE_HEADER *)Capsule.data (),
      Image,
      PayloadIndex,
      Status,
      FileName ? (CHAR16 *)Name.c_str () : nullptr
      );
  }

  void
  SetLast (
    const Bytes  &Value
    )
  {
    Platform.SetVariable (u"CapsuleLast", gEfiCapsuleReportGuid, 7, Value);
  }

  Bytes
  Var (
    const char  *Name
    )
  {
    const Host::Variable  *V = Platform.GetVariable (Host::U16 (Name), gEfiCapsuleReportGuid);

    return V == nullptr ? Bytes{} : V->Data;
  }
};

TEST_F (ResultTest, RecordBytesMatchTheLayoutExactly)
{
  Record (0, EFI_NOT_FOUND, "A.CAP");

  Bytes  Expected;
  auto   Append = [&](const void *Data, size_t Size) { Expected.insert (Expected.end (), (const UINT8 *)Data, (const UINT8 *)Data + Size); };
  UINT32 TotalSize = 82, Reserved = 0;
  UINT16 Version = 1;
  UINT8  PayloadIndex = 0, ImageIndex = 5;
  EFI_STATUS Status = EFI_NOT_FOUND;
  Append (&TotalSize, 4);
  Append (&Reserved, 4);
  Append (&gEfiFmpCapsuleGuid, 16);
  Append (&Platform.Now, 16);
  Append (&Status, 8);
  Append (&Version, 2);
  Append (&PayloadIndex, 1);
  Append (&ImageIndex, 1);
  Append (&TypeA, 16);
  Bytes  File = Name16 ("A.CAP", true);
  Expected.insert (Expected.end (), File.begin (), File.end ());
  Expected.push_back (0);
  Expected.push_back (0);

  EXPECT_EQ (Var ("Capsule0000"), Expected);
  EXPECT_EQ (Platform.GetVariable (u"Capsule0000", gEfiCapsuleReportGuid)->Attributes, 7u);
  EXPECT_EQ (Var ("CapsuleLast"), Name16 ("Capsule0000", false));
  EXPECT_EQ (Platform.GetVariable (u"CapsuleLast", gEfiCapsuleReportGuid)->Attributes, 7u);
}

TEST_F (ResultTest, TheNextIndexFollowsCapsuleLastAndWrapsAfter0x64)
{
  struct Case {
    const char    *What;
    Bytes         Last;          // empty: no variable
    const char    *Next;
  };
  const Case  Cases[] = {
    { "no CapsuleLast",             {},                                     "Capsule0000" },
    { "after 0005",                 Name16 ("Capsule0005", false),          "Capsule0006" },
    { "after 0063",                 Name16 ("Capsule0063", false),          "Capsule0064" },
    { "after 0064 it wraps",        Name16 ("Capsule0064", false),          "Capsule0000" },
    { "above the range",            Name16 ("Capsule0070", false),          "Capsule0000" },
    { "lower-case digits",          Name16 ("Capsule000a", false),          "Capsule000B" },
    { "longer than 22 bytes",       Name16 ("Capsule0005", true),           "Capsule0000" },
    { "shorter: the rest is NUL",   Name16 ("Capsule5", false),             "Capsule0006" },
    { "no digits at all",           Name16 ("CapsuleXYZW", false),          "Capsule0001" },
  };

  for (const Case &C : Cases) {
    SCOPED_TRACE (C.What);
    Platform.DeleteVariable (u"CapsuleLast", gEfiCapsuleReportGuid);
    if (!C.Last.empty ()) {
      SetLast (C.Last);
    }

    Record (0, EFI_SUCCESS);
    EXPECT_EQ (Var ("CapsuleLast"), Name16 (C.Next, false));
    EXPECT_FALSE (Var (C.Next).empty ());
  }
}

TEST_F (ResultTest, PayloadsOfOneCapsuleGetConsecutiveRecords)
{
  FmpInstance  Fmp (TypeA);
  Fmp.Install (Platform);
  SetLast (Name16 ("Capsule0005", false));

  Bytes                 Three = MakeFmpCapsule ({}, { { TypeA, 1, 2, 0, { 1 } }, { TypeA, 2, 2, 0, { 2 } }, { TypeA, 3, 2, 0, { 3 } } });
  Host::HobListBuilder  Hobs;
  Hobs.AddCapsule (Three.data (), Three.size ()).Install (Platform);
  EXPECT_EQ (RunPass (), PassEnd::ColdReset);

  const char  *Names[] = { "Capsule0006", "Capsule0007", "Capsule0008" };
  for (UINT8 Index = 0; Index < 3; Index++) {
    Bytes  Written = Var (Names[Index]);
    ASSERT_EQ (Written.size (), 68u + 2 + 2) << "no file name, no target text";
    EXPECT_EQ (Written[50], Index) << "PayloadIndex";
    EXPECT_EQ (Written[51], Index + 1) << "UpdateImageIndex";
  }

  EXPECT_EQ (Var ("CapsuleLast"), Name16 ("Capsule0008", false));
}

TEST_F (ResultTest, PayloadIndexKeepsItsLowEightBitsAndAFailedTimeIsZero)
{
  Platform.GetTimeStatus = EFI_DEVICE_ERROR;
  Record (256, EFI_SUCCESS);
  Bytes  Written = Var ("Capsule0000");
  ASSERT_EQ (Written.size (), 72u);
  EXPECT_EQ (Written[50], 0);
  EXPECT_EQ (Bytes (Written.begin () + 24, Written.begin () + 40), Bytes (16, 0));
}

TEST_F (ResultTest, TheTargetIsTheDevicePathTextOfTheFirstMatchingInstance)
{
  FmpInstance  Fmp (TypeA);
  EFI_HANDLE   Handle = Fmp.Install (Platform);
  auto         Path   = Host::DevicePathBuilder ().Acpi (0x0A0341D0, 0).Pci (0x1F, 3).End ().Bytes ();

  Platform.InstallProtocol (Handle, gEfiDevicePathProtocolGuid, Path.data ());
  Host::InstallDevicePathToText (Platform);
  mFmpHandles     = &Handle;
  mFmpHandleCount = 1;

  Record (0, EFI_SUCCESS, "UPD.CAP");
  Bytes  Text   = Name16 ("PciRoot(0x0)/Pci(0x1F,0x3)", true);
  Bytes  Written = Var ("Capsule0000");
  ASSERT_EQ (Written.size (), 68 + 16 + Text.size ());
  EXPECT_EQ (Bytes (Written.begin () + 68 + 16, Written.end ()), Text);
  EXPECT_EQ (Get<UINT32>(Written, 0), Written.size ());

  // A conversion that gives nothing leaves an empty target.
  Host::FailDevicePathConversions = true;
  Record (1, EFI_SUCCESS, "UPD.CAP");
  EXPECT_EQ (Var ("Capsule0001").size (), 68u + 16 + 2);
  Host::FailDevicePathConversions = false;

  mFmpHandles     = nullptr;
  mFmpHandleCount = 0;
}

TEST_F (ResultTest, WithoutPoolForTheRecordNothingIsWrittenAndTheIndexIsKept)
{
  SetLast (Name16 ("Capsule0010", false));
  Platform.FailAllocation (1);
  Record (0, EFI_SUCCESS);
  EXPECT_TRUE (Var ("Capsule0011").empty ());
  EXPECT_EQ (Var ("CapsuleLast"), Name16 ("Capsule0010", false));

  // A record whose variable cannot be written still advances "CapsuleLast".
  Platform.SetVariableFault = [](const std::u16string &Name) { return Name == u"Capsule0011" ? EFI_OUT_OF_RESOURCES : EFI_SUCCESS; };
  Record (0, EFI_SUCCESS);
  EXPECT_TRUE (Var ("Capsule0011").empty ());
  EXPECT_EQ (Var ("CapsuleLast"), Name16 ("Capsule0011", false));
}

TEST_F (ResultTest, EveryPassPublishesAVolatileCapsuleMaxAndLeavesCapsuleLastAlone)
{
  SetLast (Name16 ("Capsule0003", false));
  EXPECT_EQ (RunPass (), PassEnd::Returned);

  EXPECT_EQ (Var ("CapsuleMax"), Name16 ("Capsule0064", false));
  EXPECT_EQ (Platform.GetVariable (u"CapsuleMax", gEfiCapsuleReportGuid)->Attributes, 6u);
  EXPECT_EQ (Var ("CapsuleLast"), Name16 ("Capsule0003", false));

  // Volatile: gone after a reset, back after the next pass.
  Reboot ();
  EXPECT_TRUE (Var ("CapsuleMax").empty ());
  EXPECT_EQ (RunPass (), PassEnd::Returned);
  EXPECT_EQ (Var ("CapsuleMax"), Name16 ("Capsule0064", false));
}
