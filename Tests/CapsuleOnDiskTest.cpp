// Capsule delivery on disk end to end on the simulated platform: the
// request bit, the directory walk, size checks, deferred files, dispatch and
// deletion, and resumption of an interrupted update from the backup file.
#include "DiskFixture.h"
#include "FmpInstance.h"

using namespace Harness;
using Host::FmpInstance;

namespace {

const EFI_GUID  KindA       = { 0x11111111, 0x2222, 0x3333, { 1, 2, 3, 4, 5, 6, 7, 8 } };
const EFI_GUID  TypeA       = { 0xaaaa0001, 0x1111, 0x2222, { 3, 3, 3, 3, 3, 3, 3, 3 } };
const EFI_GUID  DeferredOne = { 0x4a3ca68b, 0x7723, 0x48fb, { 0x80, 0x3d, 0x57, 0x8c, 0xc1, 0xfe, 0xc4, 0x4d } };
const EFI_GUID  DeferredTwo = { 0x0053e4ba, 0x9d91, 0x52aa, { 0xb9, 0x5b, 0x2b, 0x5c, 0x1c, 0xf7, 0x56, 0xf9 } };
const EFI_GUID  FlashUpdateImageName = FLASH_UPDATE_IMAGE_NAME_GUID;

/// A capsule of Guid whose whole file is Size bytes.
Bytes
CapsuleOfSize (
  const EFI_GUID  &Guid,
  size_t          Size
  )
{
  return MakeCapsule (Guid, Bytes (Size - sizeof (EFI_CAPSULE_HEADER), 0x5C));
}

}  // namespace

class OnDiskTest : public DiskTest {
protected:
  RecordingHandler  Handler;

  void
  InstallPlatform () override
  {
    DiskTest::InstallPlatform ();
    InstallHandler (KindA, Handler);
  }

  std::vector<size_t>
  HandledSizes () const
  {
    std::vector<size_t>  Sizes;

    for (auto &Call : Handler.Calls) {
      Sizes.push_back (Call.Size);
    }

    return Sizes;
  }

  Bytes
  FlashRecord () const
  {
    const Host::Variable  *V = Platform.GetVariable (u"FlashUpdateImageName", FlashUpdateImageName);

    return V == nullptr ? Bytes{} : V->Data;
  }
};

TEST_F (OnDiskTest, TheRequestBitIsClearedOnceWithTheSameAttributesAndSize)
{
  // No boot device at all: the bit is still consumed.
  SetOsIndications (0x5, 6);
  EXPECT_EQ (RunPass (), PassEnd::Returned);
  EXPECT_EQ (OsIndications (), 0x1u);
  EXPECT_EQ (Platform.GetVariable (u"OsIndications", gEfiGlobalVariableGuid)->Attributes, 6u);
  EXPECT_EQ (Platform.GetVariable (u"OsIndications", gEfiGlobalVariableGuid)->Data.size (), 8u);
  EXPECT_EQ (mCapsuleOnDiskBootDevice, nullptr);

  // Bit clear: nothing is written, the directory is not opened.
  BootFromEsp ();
  AddCapsuleFile ("A.CAP", MakeCapsule (KindA, { 1 }));
  mCapsuleOnDiskBootDevice = (EFI_HANDLE)&Handler;
  Platform.Calls.clear ();
  EXPECT_EQ (RunPass (), PassEnd::Returned);
  EXPECT_TRUE (Platform.CallsStartingWith ("SetVariable OsIndications").empty ());
  EXPECT_TRUE (Platform.CallsStartingWith ("Open \\EFI\\UpdateCapsule").empty ());
  EXPECT_EQ (mCapsuleOnDiskBootDevice, (EFI_HANDLE)&Handler);
  EXPECT_TRUE (CapsuleFileExists ("A.CAP"));

  // A 4-byte OsIndications is written back as 4 bytes.
  Platform.SetVariable (u"OsIndications", gEfiGlobalVariableGuid, 7, { 0x04, 0, 0, 0 });
  EXPECT_EQ (RunPass (), PassEnd::Returned);
  EXPECT_EQ (Platform.GetVariable (u"OsIndications", gEfiGlobalVariableGuid)->Data, (Bytes{ 0, 0, 0, 0 }));

  // A failed write-back leaves the request set and touches no file.
  AddCapsuleFile ("A.CAP", MakeCapsule (KindA, { 1 }));
  SetOsIndications (0x4);
  Platform.SetVariableFault = [](const std::u16string &Name) { return Name == u"OsIndications" ? EFI_WRITE_PROTECTED : EFI_SUCCESS; };
  EXPECT_EQ (RunPass (), PassEnd::Returned);
  EXPECT_EQ (OsIndications (), 0x4u);
  EXPECT_TRUE (CapsuleFileExists ("A.CAP"));
}

TEST_F (OnDiskTest, FilesAreTakenInNameOrderSizeCheckedDispatchedAndDeleted)
{
  BootFromEsp ();
  SetOsIndications (0x4);
  AddCapsuleFile ("B.CAP", CapsuleOfSize (KindA, 200));
  AddCapsuleFile ("a.cap", CapsuleOfSize (KindA, 100));
  Bytes  Mismatch = CapsuleOfSize (KindA, 0x1000);
  Mismatch.pop_back ();
  AddCapsuleFile ("C.CAP", Mismatch);
  AddCapsuleFile ("D.CAP", { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10 });   // shorter than a header
  AddCapsuleFile ("E.CAP", {});
  AddCapsuleFile ("R.CAP", CapsuleOfSize (KindA, 300), EFI_FILE_READ_ONLY);
  AddCapsuleFile ("H.CAP", CapsuleOfSize (KindA, 300), EFI_FILE_HIDDEN);
  AddCapsuleFile ("S.CAP", CapsuleOfSize (KindA, 300), EFI_FILE_SYSTEM);
  Esp.AddDirectory ("EFI/UpdateCapsule/SUB");
  Esp.AddFile ("EFI/UpdateCapsule/SUB/X.CAP", CapsuleOfSize (KindA, 400));
  Bytes  Unhandled = CapsuleOfSize ({ 0x99, 0, 0, { 0 } }, 64);
  AddCapsuleFile ("U.CAP", Unhandled);

  EXPECT_EQ (RunPass (), PassEnd::Returned);

  EXPECT_EQ (HandledSizes (), (std::vector<size_t>{ 100, 200 })) << "a.cap before B.CAP; nothing else dispatched";
  EXPECT_EQ (Esp.List ("EFI/UpdateCapsule"), (std::vector<std::string>{ "E.CAP", "R.CAP", "H.CAP", "S.CAP", "SUB" }));
  EXPECT_TRUE (Esp.Exists ("EFI/UpdateCapsule/SUB/X.CAP"));
  EXPECT_EQ (mCapsuleOnDiskBootDevice, EspHandle);
  EXPECT_EQ (OsIndications (), 0u);
}

TEST_F (OnDiskTest, FilesThatCannotBeOpenedForWritingStay)
{
  BootFromEsp ();
  SetOsIndications (0x4);
  AddCapsuleFile ("A.CAP", CapsuleOfSize (KindA, 100));
  Esp.WriteProtected = true;
  EXPECT_EQ (RunPass (), PassEnd::Returned);
  EXPECT_TRUE (Handler.Calls.empty ());
  EXPECT_TRUE (CapsuleFileExists ("A.CAP"));
}

TEST_F (OnDiskTest, ADeferredFileStaysAndIsRecordedBeforeAWarmReset)
{
  BootFromEsp ();
  SetOsIndications (0x4);
  AddCapsuleFile ("FIRST.CAP", CapsuleOfSize (DeferredOne, 0x200));
  AddCapsuleFile ("ZZZZZ", CapsuleOfSize (DeferredTwo, 0x1000));

  EXPECT_EQ (RunPass (), PassEnd::WarmReset);

  EXPECT_TRUE (CapsuleFileExists ("FIRST.CAP"));
  EXPECT_TRUE (CapsuleFileExists ("ZZZZZ"));
  EXPECT_TRUE (Handler.Calls.empty ());
  Bytes  Record = FlashRecord ();
  ASSERT_EQ (Record.size (), 560u);
  EXPECT_EQ (Bytes (Record.begin (), Record.begin () + 42), PartitionNode (1));
  std::u16string  Path = u"EFI/UpdateCapsule/ZZZZZ";
  EXPECT_EQ (0, std::memcmp (Record.data () + 42, Path.c_str (), (Path.size () + 1) * 2)) << "the last deferred file, NUL-terminated";
  EXPECT_EQ (Get<UINT32>(Record, 556), 0x1000u);
  EXPECT_EQ (Platform.GetVariable (u"FlashUpdateImageName", FlashUpdateImageName)->Attributes, 7u);
  EXPECT_EQ (Platform.Calls.back (), "ResetSystem Warm");
}

TEST_F (OnDiskTest, TheDeferredPathHoldsAtMost255Characters)
{
  for (size_t Length : { 237u, 238u }) {
    SCOPED_TRACE (Length);
    Reboot ();
    Platform.DeleteVariable (u"FlashUpdateImageName", FlashUpdateImageName);
    Esp.Root.Children.clear ();
    BootFromEsp ();
    SetOsIndications (0x4);
    AddCapsuleFile (std::string (Length, 'N'), CapsuleOfSize (DeferredTwo, 64));

    EXPECT_EQ (RunPass (), Length == 237 ? PassEnd::WarmReset : PassEnd::Returned);
    EXPECT_EQ (FlashRecord ().size (), Length == 237 ? 560u : 0u);
    if (Length == 237) {
      EXPECT_EQ (Get<CHAR16>(FlashRecord (), 42 + 2 * 255), 0) << "255 characters and the NUL";
    }
  }
}

TEST_F (OnDiskTest, WithoutAHardDriveNodeOrPoolForTheNameTheFileJustStays)
{
  // The boot device found through a full path that has no hard-drive node.
  Host::Volume  Plain;
  EFI_HANDLE    PlainHandle = Plain.Install (Platform, Host::DevicePathBuilder ().Acpi (0x0A0341D0, 1).Pci (2, 0).End ().Bytes ());
  SetBootOption (5, Host::DevicePathBuilder ().Acpi (0x0A0341D0, 1).Pci (2, 0).FilePath ("\\BOOT.EFI").End ().Bytes ());
  SetBootOrder ({ 5 });
  SetOsIndications (0x4);
  Plain.AddFile ("EFI/UpdateCapsule/D.CAP", CapsuleOfSize (DeferredOne, 64));

  EXPECT_EQ (RunPass (), PassEnd::Returned);
  EXPECT_EQ (mCapsuleOnDiskBootDevice, PlainHandle);
  EXPECT_TRUE (FlashRecord ().empty ());
  EXPECT_TRUE (Plain.Exists ("EFI/UpdateCapsule/D.CAP"));
  EXPECT_EQ (Plain.OpenHandles (), 0u);

  // No pool for the name: the file is neither dispatched nor deleted.
  Reboot ();
  BootFromEsp ();
  SetOsIndications (0x4);
  AddCapsuleFile ("W.CAP", CapsuleOfSize (DeferredTwo, 64));
  Platform.FailAllocationIf = [](size_t Size) { return Size == 12; };   // "W.CAP" and its NUL
  EXPECT_EQ (RunPass (), PassEnd::Returned);
  EXPECT_TRUE (CapsuleFileExists ("W.CAP"));
  EXPECT_TRUE (FlashRecord ().empty ());
}

TEST_F (OnDiskTest, AnAppliedFmpCapsuleFileIsRemovedBeforeItsResetAndLaterFilesWait)
{
  FmpInstance  Fmp (TypeA);

  Fmp.Install (Platform);
  BootFromEsp ();
  SetOsIndications (0x4);
  AddCapsuleFile ("1.CAP", MakeFmpCapsule ({}, { { TypeA, 1, 2, 0, { 7, 7 } } }));
  AddCapsuleFile ("2.CAP", CapsuleOfSize (KindA, 64));
  Bytes  Rejected = MakeFmpCapsule ({}, { { TypeA, 1, 2, 0, { 7 } } });
  Put<UINT64>(Rejected, 28 + 8, Rejected.size ());   // offset beyond the capsule
  AddCapsuleFile ("0.CAP", Rejected);

  EXPECT_EQ (RunPass (), PassEnd::ColdReset);
  EXPECT_FALSE (CapsuleFileExists ("0.CAP")) << "a rejected FMP capsule's file is deleted";
  EXPECT_FALSE (CapsuleFileExists ("1.CAP")) << "the applied file is gone before the reset";
  EXPECT_TRUE (CapsuleFileExists ("2.CAP"));
  EXPECT_TRUE (Handler.Calls.empty ());
  ASSERT_EQ (Fmp.Writes.size (), 1u);
  EXPECT_FALSE (Esp.Exists ("CapUptBkTemp")) << "a capsule file is not backed up";

  // The record names the file.
  const Host::Variable  *Record = Platform.GetVariable (u"Capsule0000", gEfiCapsuleReportGuid);
  ASSERT_NE (Record, nullptr);
  std::u16string  Name = u"1.CAP";
  EXPECT_EQ (0, std::memcmp (Record->Data.data () + 68, Name.c_str (), 12));

  // The next boot leaves the remaining file alone: the request was consumed.
  Reboot ();
  EXPECT_EQ (RunPass (), PassEnd::Returned);
  EXPECT_TRUE (CapsuleFileExists ("2.CAP"));
}

TEST_F (OnDiskTest, AnUpdateCutOffByPowerLossResumesFromTheBackupFile)
{
  Bytes  Capsule = MakeFmpCapsule ({}, { { TypeA, 4, 2, 0, { 1, 2, 3, 4 } } });
  Capsule.shrink_to_fit ();
  int    Boot = 0;

  BootFromEsp ();
  FmpInstance  Fmp (TypeA);
  Fmp.DuringSetImage = [&]() {
    if (Boot == 0) {
      Platform.CutPower ();
    }
  };
  Fmp.Install (Platform);
  Host::HobListBuilder  Hobs;
  Hobs.AddCapsule (Capsule.data (), Capsule.size ()).Install (Platform);

  EXPECT_THROW (Trigger->ProcessPendingCapsules (), Host::PowerCut);
  ASSERT_TRUE (Esp.Exists ("CapUptBkTemp"));
  EXPECT_EQ (Esp.Find ("CapUptBkTemp")->Data, Capsule);

  // The next boot has no capsule HOB: the backup file brings the capsule back.
  Boot = 1;
  Reboot ();
  Fmp.Writes.clear ();
  Fmp.Install (Platform);
  EXPECT_EQ (RunPass (), PassEnd::ColdReset);
  ASSERT_EQ (Fmp.Writes.size (), 1u);
  EXPECT_EQ (Fmp.Writes[0].Image, (Bytes{ 1, 2, 3, 4 }));
  EXPECT_EQ (Fmp.Writes[0].ImageIndex, 4);
  EXPECT_FALSE (Esp.Exists ("CapUptBkTemp"));
  auto  &Calls = Platform.Calls;
  EXPECT_LT (std::find (Calls.begin (), Calls.end (), "Delete CapUptBkTemp"), std::find (Calls.begin (), Calls.end (), "ResetSystem Cold"));
}

TEST_F (OnDiskTest, ABackupCutShortOrNotAnFmpCapsuleStaysAndIsNotApplied)
{
  RecordingHandler  Other;
  BootFromEsp ();

  // Written only in part before power was lost: its header promises more.
  Bytes  Capsule = MakeFmpCapsule ({}, { { TypeA, 4, 2, 0, Bytes (100, 1) } });
  Esp.AddFile ("CapUptBkTemp", Bytes (Capsule.begin (), Capsule.begin () + 60));
  FmpInstance  Fmp (TypeA);
  Fmp.Install (Platform);
  EXPECT_EQ (RunPass (), PassEnd::Returned);
  EXPECT_TRUE (Fmp.Writes.empty ());
  EXPECT_TRUE (Esp.Exists ("CapUptBkTemp"));

  // Another kind: it goes to its handler and the file stays.
  Esp.AddFile ("CapUptBkTemp", CapsuleOfSize (KindA, 90));
  EXPECT_EQ (RunPass (), PassEnd::Returned);
  EXPECT_EQ (HandledSizes (), (std::vector<size_t>{ 90 }));
  EXPECT_FALSE (Handler.Calls[0].FromHob);
  EXPECT_TRUE (Esp.Exists ("CapUptBkTemp"));
}
