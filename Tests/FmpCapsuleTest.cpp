// Application of FMP capsules: checks, embedded drivers, instance matching,
// the writes, removal of added instances and the cold reset.
#include "CapsuleBuilder.h"
#include "DriverFixture.h"
#include "FmpInstance.h"
#include "RecordingDisplay.h"

#include <random>

using namespace Harness;
using Host::FmpInstance;

namespace {

const EFI_GUID  TypeA = { 0xaaaa0001, 0x1111, 0x2222, { 3, 3, 3, 3, 3, 3, 3, 3 } };
const EFI_GUID  TypeB = { 0xbbbb0002, 0x1111, 0x2222, { 4, 4, 4, 4, 4, 4, 4, 4 } };

}  // namespace

class FmpTest : public DriverTest {
protected:
  Host::HobListBuilder  Hobs;
  Bytes                 Capsule;

  /// Hands Capsule over in a capsule HOB and runs a pass.
  PassEnd
  ApplyFromHob (
    const Bytes  &Bytes
    )
  {
    Capsule = Bytes;
    Capsule.shrink_to_fit ();
    Hobs.AddCapsule (Capsule.data (), Capsule.size ()).Install (Platform);
    return RunPass ();
  }

  size_t
  Records () const
  {
    size_t  Count = 0;

    for (auto &Entry : Platform.Variables ()) {
      if (Host::Narrow (Entry.first.first).rfind ("Capsule0", 0) == 0) {
        Count++;
      }
    }

    return Count;
  }

  EFI_STATUS
  RecordStatus (
    const char  *Name
    ) const
  {
    const Host::Variable  *Record = Platform.GetVariable (Host::U16 (Name), gEfiCapsuleReportGuid);

    return Record == nullptr ? (EFI_STATUS)-1 : Get<EFI_STATUS>(Record->Data, 40);
  }

  /// The status in the record "CapsuleLast" names.
  EFI_STATUS
  LastRecordStatus () const
  {
    const Host::Variable  *Last = Platform.GetVariable (u"CapsuleLast", gEfiCapsuleReportGuid);

    return Last == nullptr ? (EFI_STATUS)-1 : RecordStatus (Host::Narrow (std::u16string ((const char16_t *)Last->Data.data (), Last->Data.size () / 2)).c_str ());
  }
};

TEST_F (FmpTest, EmbeddedDriverAddsAnInstanceThatReceivesItsPayloadAndIsRemovedBeforeTheColdReset)
{
  FmpInstance  Existing (TypeA);
  FmpInstance  Added (TypeB);
  Bytes        Driver = Fill (300, 0x40);
  EFI_HANDLE   AddedHandle = nullptr;
  EFI_HANDLE   ExistingHandle = Existing.Install (Platform);

  Platform.RegisterImage (Driver, [&](EFI_HANDLE) { AddedHandle = Added.Install (Platform); return EFI_SUCCESS; });
  Payload  ToA { TypeA, 3 };
  ToA.Image      = Fill (1000, 1);
  ToA.VendorCode = { 0xAB, 0xCD };
  Existing.VendorCodeSize = 2;
  Payload  ToB { TypeB, 7 };
  ToB.Image = Fill (10, 9);

  EXPECT_EQ (ApplyFromHob (MakeFmpCapsule ({ Driver }, { ToA, ToB })), PassEnd::ColdReset);

  ASSERT_EQ (Platform.Loaded.size (), 1u);
  EXPECT_EQ (Platform.Loaded[0].Parent, ImageHandle);
  EXPECT_TRUE (Platform.Loaded[0].Started);

  ASSERT_EQ (Existing.Writes.size (), 1u);
  EXPECT_EQ (Existing.Writes[0].ImageIndex, 3);
  EXPECT_EQ (Existing.Writes[0].Image, ToA.Image);
  EXPECT_EQ (Existing.Writes[0].VendorCode, ToA.VendorCode);
  EXPECT_TRUE (Existing.Writes[0].ImageInPool);
  ASSERT_EQ (Added.Writes.size (), 1u);
  EXPECT_EQ (Added.Writes[0].ImageIndex, 7);
  EXPECT_EQ (Added.Writes[0].Image, ToB.Image);
  EXPECT_FALSE (Added.Writes[0].HasVendorCode);

  EXPECT_EQ (RecordStatus ("Capsule0000"), EFI_SUCCESS);
  EXPECT_EQ (RecordStatus ("Capsule0001"), EFI_SUCCESS);

  // The instance the driver added is gone, the one present at the start stays.
  EXPECT_EQ (Platform.Protocol (AddedHandle, gEfiFirmwareManagementProtocolGuid), nullptr);
  EXPECT_EQ (Platform.Protocol (ExistingHandle, gEfiFirmwareManagementProtocolGuid), &Existing.Protocol);
  ASSERT_EQ (Platform.Resets ().size (), 1u);
  EXPECT_EQ (Platform.Resets ()[0].Type, EfiResetCold);
  // Only the pass's snapshot of handles is still allocated at the reset.
  EXPECT_EQ (Platform.Resets ()[0].LiveAllocations, 1u);

  auto  &Calls = Platform.Calls;
  auto  At     = [&](const std::string &Line) { return std::find (Calls.begin (), Calls.end (), Line) - Calls.begin (); };
  EXPECT_LT (At ("LoadImage 300"), At ("StartImage"));
  EXPECT_LT (At ("StartImage"), At ("SetImage"));
  EXPECT_LT (At ("SetVariable Capsule0001"), At ("UninstallProtocolInterface FMP"));
  EXPECT_EQ (Calls.back (), "ResetSystem Cold");
}

TEST_F (FmpTest, WithoutPayloadsTheDriversStillRunAndThePlatformResets)
{
  FmpInstance  Added (TypeB);
  EFI_HANDLE   AddedHandle = nullptr;
  Bytes        Driver = Fill (64, 0);

  Platform.RegisterImage (Driver, [&](EFI_HANDLE) { AddedHandle = Added.Install (Platform); return EFI_SUCCESS; });
  // A second driver that does not load is skipped.
  EXPECT_EQ (ApplyFromHob (MakeFmpCapsule ({ Fill (33, 1), Driver }, {})), PassEnd::ColdReset);

  EXPECT_EQ (Platform.CallsStartingWith ("LoadImage").size (), 2u);
  EXPECT_EQ (Platform.CallsStartingWith ("StartImage").size (), 1u);
  EXPECT_EQ (Records (), 0u);
  // No instance at the start of the pass: every instance found is removed.
  EXPECT_EQ (Platform.Protocol (AddedHandle, gEfiFirmwareManagementProtocolGuid), nullptr);
  EXPECT_EQ (Platform.Resets ()[0].LiveAllocations, 0u);
}

TEST_F (FmpTest, AnInstanceADriverPutsOnAHandlePresentAtTheStartStays)
{
  FmpInstance  Old (TypeA);
  FmpInstance  New (TypeB);
  int          DevicePath;
  EFI_HANDLE   Handle = Platform.InstallProtocol (nullptr, gEfiDevicePathProtocolGuid, &DevicePath);
  Bytes        Driver = Fill (80, 5);

  Old.Install (Platform, Handle);
  // The driver replaces the instance on a handle the snapshot already has:
  // handles are compared by value, so the new instance stays.
  Platform.RegisterImage (Driver, [&](EFI_HANDLE) {
    EXPECT_EQ (gBS->UninstallProtocolInterface (Handle, &gEfiFirmwareManagementProtocolGuid, &Old.Protocol), EFI_SUCCESS);
    New.Install (Platform, Handle);
    return EFI_SUCCESS;
  });
  EXPECT_EQ (ApplyFromHob (MakeFmpCapsule ({ Driver }, { { TypeB, 1, 2, 0, { 1 } } })), PassEnd::ColdReset);
  EXPECT_EQ (New.Writes.size (), 1u);
  EXPECT_EQ (Platform.Protocol (Handle, gEfiFirmwareManagementProtocolGuid), &New.Protocol);
}

TEST_F (FmpTest, TwoMatchingInstancesEachGetTheirOwnCopyAndDisplayAndTheRecordKeepsTheLastStatus)
{
  RecordingDisplay  Display;
  FmpInstance       First (TypeA);
  FmpInstance       Second (TypeA);

  Display.Install (Platform);
  First.Install (Platform);
  Second.Install (Platform);
  First.SetImageStatus  = EFI_DEVICE_ERROR;
  First.AbortReason     = "flash part busy";
  Second.SetImageStatus = EFI_ABORTED;

  EXPECT_EQ (ApplyFromHob (MakeFmpCapsule ({}, { { TypeA, 1, 1, 0, Fill (5, 1) } })), PassEnd::ColdReset);

  ASSERT_EQ (First.Writes.size (), 1u);
  ASSERT_EQ (Second.Writes.size (), 1u);
  EXPECT_TRUE (First.Writes[0].ImageInPool);
  EXPECT_TRUE (Second.Writes[0].ImageInPool);
  EXPECT_EQ (Platform.CallsStartingWith ("AllocatePool 45").size (), 2u) << "one 45-byte copy per instance";
  EXPECT_EQ (RecordStatus ("Capsule0000"), EFI_ABORTED);
  EXPECT_EQ (Records (), 1u);

  // Two progress displays; the abort reason of the first is shown after its
  // display ends, and freed (only the snapshot is left at the reset).
  std::vector<std::string>  Sequence;
  for (auto &Call : Display.Calls) {
    Sequence.push_back (Call.Member + std::to_string (Call.Action));
  }

  EXPECT_EQ (
    Sequence,
    (std::vector<std::string>{ "ShowProgress1", "ShowProgress2", "ShowProgress2", "ShowProgress3", "ShowMessage1",
                               "ShowProgress1", "ShowProgress2", "ShowProgress2", "ShowProgress3" })
    );
  EXPECT_EQ (Display.Calls[4].Title, "Firmware Update failed");
  EXPECT_EQ (Display.Calls[4].Text, "flash part busy");
  EXPECT_EQ (Platform.Resets ()[0].LiveAllocations, 1u);
}

TEST_F (FmpTest, HardwareInstanceMatchingFollowsHeaderAndDescriptorVersions)
{
  struct Case {
    const char    *What;
    UINT32        HeaderVersion;
    UINT64        WantedInstance;
    UINT32        DescriptorVersion;
    UINT64        DescriptorInstance;
    bool          Matches;
  };
  const Case  Cases[] = {
    { "version 1 header: any instance",               1, 7, 3, 9, true  },
    { "version 0 header: any instance",               0, 7, 1, 9, true  },
    { "instance 0 asked: any instance",               2, 0, 3, 9, true  },
    { "same instance, descriptor version 3",          2, 7, 3, 7, true  },
    { "other instance",                               3, 7, 3, 8, false },
    { "descriptor version 2 never has an instance",   2, 7, 2, 7, false },
  };

  for (const Case &C : Cases) {
    SCOPED_TRACE (C.What);
    Reboot ();
    FmpInstance  Fmp (TypeA, C.DescriptorInstance);
    Fmp.DescriptorVersion = C.DescriptorVersion;
    Fmp.Install (Platform);
    Host::HobListBuilder  List;
    Bytes                 Bytes = MakeFmpCapsule ({}, { { TypeA, 1, C.HeaderVersion, C.WantedInstance, { 9, 9 } } });
    List.AddCapsule (Bytes.data (), Bytes.size ()).Install (Platform);

    EXPECT_EQ (RunPass (), PassEnd::ColdReset);
    EXPECT_EQ (Fmp.Writes.size (), C.Matches ? 1u : 0u);
    EXPECT_EQ (LastRecordStatus (), C.Matches ? EFI_SUCCESS : EFI_NOT_FOUND);
    if (C.Matches) {
      // The image is taken 40 bytes after the header whatever its version.
      EXPECT_EQ (Fmp.Writes[0].Image, (Harness::Bytes{ 9, 9 }));
    }
  }
}

TEST_F (FmpTest, OnlyTheFirstDescriptorIsExaminedAndBadImageInfoNeverMatches)
{
  FmpInstance  SecondDescriptor (TypeB);
  FmpInstance  RefusesSizeQuery (TypeA);
  FmpInstance  FailsInfo (TypeA);
  FmpInstance  TooShortInfo (TypeA);
  FmpInstance  Good (TypeA);

  SecondDescriptor.Descriptors.push_back (SecondDescriptor.Descriptors[0]);
  SecondDescriptor.Descriptors[1].ImageTypeId = TypeA;
  RefusesSizeQuery.SizeQueryStatus            = EFI_UNSUPPORTED;
  FailsInfo.InfoStatus                        = EFI_DEVICE_ERROR;
  TooShortInfo.ClaimedInfoSize                = 12;   // not even the type GUID fits
  Good.GivesPackageVersionName                = true;
  for (FmpInstance *Fmp : { &SecondDescriptor, &RefusesSizeQuery, &FailsInfo, &TooShortInfo, &Good }) {
    Fmp->Install (Platform);
  }

  EXPECT_EQ (ApplyFromHob (MakeFmpCapsule ({}, { { TypeA, 1, 2, 0, { 1 } } })), PassEnd::ColdReset);
  EXPECT_TRUE (SecondDescriptor.Writes.empty ());
  EXPECT_TRUE (RefusesSizeQuery.Writes.empty ());
  EXPECT_TRUE (FailsInfo.Writes.empty ());
  EXPECT_TRUE (TooShortInfo.Writes.empty ());
  EXPECT_EQ (Good.Writes.size (), 1u);
  // Package version names were freed along the way.
  EXPECT_EQ (Platform.Resets ()[0].LiveAllocations, 1u);
}

TEST_F (FmpTest, PoolExhaustionRecordsTheItemsStatus)
{
  FmpInstance  Fmp (TypeA);
  Fmp.Install (Platform);

  // The search's descriptor buffer cannot be had: the item keeps EFI_NOT_FOUND.
  Platform.FailAllocationIf = [](size_t Size) { return Size == sizeof (EFI_FIRMWARE_IMAGE_DESCRIPTOR); };
  EXPECT_EQ (ApplyFromHob (MakeFmpCapsule ({}, { { TypeA, 1, 2, 0, { 1 } } })), PassEnd::ColdReset);
  EXPECT_TRUE (Fmp.Writes.empty ());
  EXPECT_EQ (RecordStatus ("Capsule0000"), EFI_NOT_FOUND);

  // The copy of the item fails: EFI_OUT_OF_RESOURCES, no instance tried.
  Reboot ();
  Fmp.Install (Platform);
  Host::HobListBuilder  List;
  List.AddCapsule (Capsule.data (), Capsule.size ()).Install (Platform);
  Platform.FailAllocationIf = [](size_t Size) { return Size == 41; };   // the item: 40-byte header + 1
  EXPECT_EQ (RunPass (), PassEnd::ColdReset);
  EXPECT_TRUE (Fmp.Writes.empty ());
  EXPECT_EQ (RecordStatus ("Capsule0001"), EFI_OUT_OF_RESOURCES);
}

TEST_F (FmpTest, ItemsAreReadFromRightAfterTheOffsetList)
{
  FmpInstance  Fmp (TypeA);
  Fmp.Install (Platform);

  // Two payloads whose offsets both start 16 bytes later than the list's
  // end: the items are still read from right after the list, and the 16
  // bytes at the end belong to the last item.
  Payload  First { TypeA, 1, 2, 0, Fill (4, 1) };
  Payload  Second { TypeA, 2, 2, 0, Fill (4, 0x31) };
  Bytes    Body = MakeFmpBody ({}, { First, Second });
  Put<UINT64>(Body, 8, Get<UINT64>(Body, 8) + 16);
  Put<UINT64>(Body, 16, Get<UINT64>(Body, 16) + 16);
  Body.resize (Body.size () + 16, 0xEE);

  EXPECT_EQ (ApplyFromHob (MakeCapsule (gEfiFmpCapsuleGuid, Body)), PassEnd::ColdReset);
  ASSERT_EQ (Fmp.Writes.size (), 2u);
  EXPECT_EQ (Fmp.Writes[0].Image, First.Image);
  EXPECT_EQ (Fmp.Writes[1].ImageIndex, 2);
  EXPECT_EQ (Fmp.Writes[1].Image, Second.Image);
}

TEST_F (FmpTest, AnItemWhoseImageAndVendorCodeExceedItIsRecordedAndNotWritten)
{
  FmpInstance  Fmp (TypeA);
  Fmp.Install (Platform);

  Payload  Bad { TypeA, 1, 2, 0, Fill (8, 1) };
  Payload  Good { TypeA, 2, 2, 0, Fill (8, 1) };
  Bytes    Body = MakeFmpBody ({}, { Bad, Good });
  // The first item is 48 bytes; claim 4 bytes of vendor code beyond it.
  Put<UINT32>(Body, 24 + 28, 4);

  EXPECT_EQ (ApplyFromHob (MakeCapsule (gEfiFmpCapsuleGuid, Body)), PassEnd::ColdReset);
  ASSERT_EQ (Fmp.Writes.size (), 1u);
  EXPECT_EQ (Fmp.Writes[0].ImageIndex, 2);
  EXPECT_EQ (RecordStatus ("Capsule0000"), EFI_BAD_BUFFER_SIZE);
  EXPECT_EQ (RecordStatus ("Capsule0001"), EFI_SUCCESS);
}

TEST_F (FmpTest, AMalformedCapsuleIsDroppedBeforeAnythingRuns)
{
  struct Case {
    const char                     *What;
    std::function<void (Bytes &)>  Break;
  };
  auto  Offset = [](Bytes &B, size_t Index, UINT64 Value) { Put<UINT64>(B, 28 + 8 + 8 * Index, Value); };
  auto  OffsetOf = [](const Bytes &B, size_t Index) { return Get<UINT64>(B, 28 + 8 + 8 * Index); };
  const Case  Cases[] = {
    { "last offset equal to S",           [&](Bytes &B) { Offset (B, 2, B.size () - 28); } },
    { "last offset beyond S",             [&](Bytes &B) { Offset (B, 2, 0xFFFFFFFFFFFFFFF0ull); } },
    { "two equal offsets",                [&](Bytes &B) { Offset (B, 1, OffsetOf (B, 0)); } },
    { "descending offsets",               [&](Bytes &B) { Offset (B, 0, OffsetOf (B, 1) + 1); } },
    { "first offset inside the list",     [&](Bytes &B) { Offset (B, 0, 8); } },
    { "no items at all",                  [&](Bytes &B) { Put<UINT16>(B, 28 + 4, 0); Put<UINT16>(B, 28 + 6, 0); } },
    { "offset list past the end",         [&](Bytes &B) { Put<UINT16>(B, 28 + 6, 0xFFFF); } },
    { "HeaderSize past CapsuleImageSize", [&](Bytes &B) { Put<UINT32>(B, 16, (UINT32)B.size () + 1); } },
    { "HeaderSize near 4 GiB",            [&](Bytes &B) { Put<UINT32>(B, 16, 0xFFFFFFF0u); } },
    { "HeaderSize below a header",        [&](Bytes &B) { Put<UINT32>(B, 16, 4); } },
    { "no room for the FMP header",       [&](Bytes &B) { B.resize (32); Put<UINT32>(B, 24, 32); } },
    { "payload shorter than 40 bytes",    [&](Bytes &B) { Offset (B, 2, B.size () - 28 - 39); } },
  };

  for (const Case &C : Cases) {
    SCOPED_TRACE (C.What);
    Reboot ();
    FmpInstance  Fmp (TypeA);
    Fmp.Install (Platform);
    Bytes  Driver = Fill (50, 3);
    Platform.RegisterImage (Driver, nullptr);
    Bytes  Bytes = MakeFmpCapsule ({ Driver }, { { TypeA, 1, 2, 0, Fill (20, 1) }, { TypeA, 2, 2, 0, Fill (20, 1) } });
    C.Break (Bytes);
    Host::HobListBuilder  List;
    Bytes.shrink_to_fit ();
    List.AddCapsule (Bytes.data (), Bytes.size ()).Install (Platform);

    EXPECT_EQ (RunPass (), PassEnd::Returned);
    EXPECT_TRUE (Platform.CallsStartingWith ("LoadImage").empty ());
    EXPECT_TRUE (Fmp.Writes.empty ());
    EXPECT_EQ (Records (), 0u);
  }
}

TEST_F (FmpTest, CorruptedCapsulesNeverReadOutsideTheirBytes)
{
  // Valid capsules with a few fields or bytes overwritten at random: whatever
  // the driver then decides, the sanitizers see no read outside the capsule
  // or a pool buffer, and a pass that returns leaves the pool balanced.
  std::mt19937  Random (20261211);
  const Bytes   Driver = Fill (40, 1);
  const Bytes   Valid  = MakeFmpCapsule ({ Driver }, { { TypeA, 1, 2, 0, Fill (30, 2), Fill (6, 3) }, { TypeA, 2, 1, 5, Fill (9, 4) } });
  const size_t  Fields[] = { 16, 24, 28 + 4, 28 + 6, 28 + 8, 28 + 16, 28 + 24, 28 + 32 + 40 + 24, 28 + 32 + 40 + 28 };

  for (int Round = 0; Round < 300; Round++) {
    Reboot ();
    FmpInstance  Fmp (TypeA);
    Fmp.Install (Platform);
    Platform.RegisterImage (Driver, nullptr);
    Bytes  Capsule = Valid;
    for (int Change = 0; Change < 3; Change++) {
      size_t  At = (Random () % 2) ? Fields[Random () % (sizeof (Fields) / sizeof (Fields[0]))] : Random () % (Capsule.size () - 3);
      UINT32  Value = (Random () % 3 == 0) ? (UINT32)Random () : (UINT32)(Random () % 256);
      Put<UINT32>(Capsule, At, Value);
    }

    Capsule.resize (Capsule.size ());
    Capsule.shrink_to_fit ();
    Host::HobListBuilder  List;
    // The HOB says where the capsule lies; CapsuleImageSize must not claim
    // more than that memory, as the capsule's own source vouches for it.
    if (Get<UINT32>(Capsule, 24) > Capsule.size ()) {
      Put<UINT32>(Capsule, 24, (UINT32)Capsule.size ());
    }

    List.AddCapsule (Capsule.data (), Capsule.size ()).Install (Platform);
    PassEnd  End = RunPass ();
    if (End == PassEnd::Returned) {
      EXPECT_EQ (Platform.LiveAllocations (), 0u) << "round " << Round;
    }

    for (auto &Write : Fmp.Writes) {
      EXPECT_TRUE (Write.ImageInPool);
    }
  }
}
