// The tool's verdict against the real driver on the simulated platform: for
// a table of good and malformed capsules, handed over in memory (a capsule
// HOB) and as capsule files in EFI/UpdateCapsule, what inspect predicts is
// what the driver does (route, handler, FMP checks, refused payload items,
// records, reset, deferred record, file kept or deleted).
#include <gtest/gtest.h>

#include <functional>

#include "DiskFixture.h"
#include "FmpInstance.h"
#include "ToolTestSupport.h"

using namespace ToolTest;
using CapsuleTool::PayloadInput;
using CapsuleTool::Route;
using CapsuleTool::Verdict;
using Harness::Put;
using Harness::Get;

namespace {

const EFI_GUID  TypeA       = { 0xaaaa0001, 0x1111, 0x2222, { 3, 3, 3, 3, 3, 3, 3, 3 } };
const EFI_GUID  TypeB       = { 0xbbbb0002, 0x1111, 0x2222, { 4, 4, 4, 4, 4, 4, 4, 4 } };
const EFI_GUID  KindA       = { 0x11111111, 0x2222, 0x3333, { 1, 2, 3, 4, 5, 6, 7, 8 } };
const EFI_GUID  Wrapper1    = { 0x0053e4ba, 0x9d91, 0x52aa, { 0xb9, 0x5b, 0x2b, 0x5c, 0x1c, 0xf7, 0x56, 0xf9 } };
const EFI_GUID  Wrapper2    = { 0x69585d92, 0xb50a, 0x4ad7, { 0xb2, 0x65, 0x2e, 0xb1, 0xae, 0x06, 0x65, 0x74 } };
const EFI_GUID  Wrapper3    = { 0x4e88068b, 0x41b2, 0x4e05, { 0x89, 0x3c, 0xdb, 0x0b, 0x43, 0xf7, 0xd3, 0x48 } };
const EFI_GUID  Wrapper4    = { 0x0eab05c1, 0x766a, 0x4805, { 0xa0, 0x39, 0x30, 0x81, 0xde, 0x02, 0x10, 0xc7 } };
const EFI_GUID  Wrapper5    = { 0xeed54281, 0x1c11, 0x4358, { 0xbf, 0x5a, 0xf6, 0x49, 0x95, 0xfb, 0xf1, 0x1b } };
const EFI_GUID  DeferredOne = { 0x4a3ca68b, 0x7723, 0x48fb, { 0x80, 0x3d, 0x57, 0x8c, 0xc1, 0xfe, 0xc4, 0x4d } };
const EFI_GUID  FlashGuid   = FLASH_UPDATE_IMAGE_NAME_GUID;

/// The platform's one FMP instance: TypeA, hardware instance 7.
const UINT64  InstanceOfA = 7;

// Where the parts of an unwrapped FMP capsule built by the tool lie.
const size_t  CapsuleImageSizeAt = 24;
const size_t  HeaderSizeAt       = 16;
const size_t  FmpAt              = 28;
const size_t  PayloadCountAt     = FmpAt + 6;
const size_t  OffsetListAt       = FmpAt + 8;

PayloadInput
Payload (
  const EFI_GUID  &Type,
  UINT32          Version,
  UINT64          Instance,
  size_t          ImageSize,
  size_t          VendorSize = 0
  )
{
  PayloadInput  Item;

  Item.ImageTypeId      = Type;
  Item.ImageIndex       = 2;
  Item.Version          = Version;
  Item.HardwareInstance = Instance;
  Item.Image            = Fill (ImageSize, 0x20);
  Item.VendorCode       = Fill (VendorSize, 0x90);
  return Item;
}

Bytes
Fmp (
  const std::vector<Bytes>        &Drivers,
  const std::vector<PayloadInput>  &Payloads,
  const EFI_GUID                  *Wrap = nullptr
  )
{
  CapsuleTool::CapsuleDescription  Description;

  Description.Drivers  = Drivers;
  Description.Payloads = Payloads;
  if (Wrap != nullptr) {
    Description.Wrap     = true;
    Description.WrapGuid = *Wrap;
  }

  return CapsuleTool::BuildCapsule (Description);
}

Bytes
Plain (
  const EFI_GUID  &Guid,
  size_t          BodySize
  )
{
  CapsuleTool::CapsuleDescription  Description;

  Description.Plain = true;
  Description.Guid  = Guid;
  Description.Body  = Fill (BodySize, 0x44);
  return CapsuleTool::BuildCapsule (Description);
}

/// Inner inside a capsule of Guid, whatever Guid is.
Bytes
WrapIn (
  const EFI_GUID  &Guid,
  const Bytes     &Inner
  )
{
  EFI_CAPSULE_HEADER  Header = { Guid, sizeof (EFI_CAPSULE_HEADER), 0, (UINT32)(sizeof (EFI_CAPSULE_HEADER) + Inner.size ()) };
  Bytes               Result ((const UINT8 *)&Header, (const UINT8 *)&Header + sizeof (Header));

  Result.insert (Result.end (), Inner.begin (), Inner.end ());
  return Result;
}

/// Data changed by Patch.
Bytes
Patched (
  Bytes                              Data,
  const std::function<void (Bytes &)> &Patch
  )
{
  Patch (Data);
  return Data;
}

/// A two-payload FMP capsule (40 + 5 and 40 + 7 bytes) to break.
Bytes
TwoPayloads ()
{
  return Fmp ({}, { Payload (TypeA, 2, 0, 5), Payload (TypeB, 2, 0, 7) });
}

struct Case {
  const char              *What;
  std::function<Bytes ()> Make;
};

void
PrintTo (
  const Case    &Item,
  std::ostream  *Out
  )
{
  *Out << Item.What;
}

std::string
TestName (
  const char  *What
  )
{
  std::string  Name;

  for (const char *C = What; *C != 0; C++) {
    Name += std::isalnum ((unsigned char)*C) ? *C : '_';
  }

  return Name;
}

/// The status the driver should record for a payload item the tool judged,
/// on this platform.
EFI_STATUS
ExpectedStatus (
  const CapsuleTool::PayloadVerdict  &Payload
  )
{
  if (Payload.Refused) {
    return EFI_BAD_BUFFER_SIZE;
  }

  bool  Match = (Payload.Header.UpdateImageTypeId == TypeA) &&
                ((Payload.HardwareInstance == 0) || (Payload.HardwareInstance == InstanceOfA));
  return Match ? EFI_SUCCESS : EFI_NOT_FOUND;
}

/// The records a pass wrote, Capsule0000 on (no "CapsuleLast" before it).
std::vector<Bytes>
Records (
  const Host::Platform  &Platform
  )
{
  std::vector<Bytes>  Found;

  for (UINT32 Index = 0;; Index++) {
    char  Name[16];
    std::snprintf (Name, sizeof (Name), "Capsule%04X", Index);
    const Host::Variable  *Record = Platform.GetVariable (Host::U16 (Name), gEfiCapsuleReportGuid);
    if (Record == nullptr) {
      return Found;
    }

    Found.push_back (Record->Data);
  }
}

/// The records agree with the payload verdicts: one per payload item, in
/// order, with the item's type and the status the verdict implies.
void
ExpectRecords (
  const Host::Platform  &Platform,
  const Verdict         &Result,
  const std::string     &FileName
  )
{
  std::vector<Bytes>  Found = Records (Platform);

  ASSERT_EQ (Found.size (), Result.Payloads.size ());
  for (size_t Index = 0; Index < Found.size (); Index++) {
    const Bytes  &Record = Found[Index];
    SCOPED_TRACE ("record " + std::to_string (Index));
    EXPECT_EQ (Get<EFI_STATUS>(Record, 40), ExpectedStatus (Result.Payloads[Index]));
    EXPECT_EQ (Get<UINT8>(Record, 50), Index);
    EXPECT_EQ (Get<EFI_GUID>(Record, 52), Result.Payloads[Index].Header.UpdateImageTypeId);
    std::u16string  Name ((const char16_t *)(Record.data () + 68));
    EXPECT_EQ (Host::Narrow (Name), FileName);
  }
}

const Case  MemoryCases[] = {
  { "FMP capsule with one payload",                    [] { return Fmp ({}, { Payload (TypeA, 2, 0, 100) }); } },
  { "drivers and payloads matched by type and instance", [] {
      return Fmp ({ Fill (64, 1), Fill (33, 2) },
                  { Payload (TypeA, 1, 5, 10), Payload (TypeA, 2, InstanceOfA, 10, 3), Payload (TypeA, 2, 5, 10), Payload (TypeB, 2, 0, 1) });
    } },
  { "FMP capsule in the first wrapper kind",           [] { return Fmp ({}, { Payload (TypeA, 2, 0, 8) }, &Wrapper1); } },
  { "FMP capsule in the fifth wrapper kind",           [] { return Fmp ({ Fill (16, 9) }, { Payload (TypeB, 2, 0, 8) }, &Wrapper5); } },
  { "plain capsule to its handler",                    [] { return Plain (KindA, 10); } },
  { "wrapper around a plain capsule",                  [] { return WrapIn (Wrapper3, Plain (KindA, 3)); } },
  { "wrapper in a wrapper goes to the inner wrapper's handler", [] { return WrapIn (Wrapper1, Fmp ({}, { Payload (TypeA, 2, 0, 4) }, &Wrapper2)); } },
  { "bytes after the capsule's end are not part of it", [] { return Patched (TwoPayloads (), [](Bytes &D) { D.resize (D.size () + 16, 0xEE); }); } },
  { "image larger than its item",                      [] {
      return Patched (TwoPayloads (), [](Bytes &D) { Put<UINT32>(D, Get<UINT64>(D, OffsetListAt + 8) + FmpAt + 24, 8); });
    } },
  { "vendor code one byte past its item",              [] {
      return Patched (Fmp ({}, { Payload (TypeA, 2, 0, 4, 2), Payload (TypeA, 2, 0, 1) }),
                      [](Bytes &D) { Put<UINT32>(D, Get<UINT64>(D, OffsetListAt) + FmpAt + 28, 3); });
    } },
  { "wrapped capsule with a refused payload",          [] {
      Bytes  Inner = Patched (TwoPayloads (), [](Bytes &D) { Put<UINT32>(D, Get<UINT64>(D, OffsetListAt) + FmpAt + 24, 0x10000); });
      return WrapIn (Wrapper4, Inner);
    } },
  { "HeaderSize below the capsule header",             [] { return Patched (TwoPayloads (), [](Bytes &D) { Put<UINT32>(D, HeaderSizeAt, 20); }); } },
  { "HeaderSize past the capsule's end",               [] {
      return Patched (TwoPayloads (), [](Bytes &D) { Put<UINT32>(D, HeaderSizeAt, (UINT32)D.size () + 1); });
    } },
  { "FMP header cut short",                            [] { return WrapIn (Wrapper2, Plain (gEfiFmpCapsuleGuid, 4)); } },
  { "no items",                                        [] { return Plain (gEfiFmpCapsuleGuid, 8); } },
  { "offset list past the end",                        [] { return Patched (TwoPayloads (), [](Bytes &D) { Put<UINT16>(D, PayloadCountAt, 200); }); } },
  { "last offset at the end",                          [] {
      return Patched (TwoPayloads (), [](Bytes &D) { Put<UINT64>(D, OffsetListAt + 8, D.size () - FmpAt); });
    } },
  { "two equal offsets",                               [] {
      return Patched (TwoPayloads (), [](Bytes &D) { Put<UINT64>(D, OffsetListAt + 8, Get<UINT64>(D, OffsetListAt)); });
    } },
  { "first offset inside the offset list",             [] { return Patched (TwoPayloads (), [](Bytes &D) { Put<UINT64>(D, OffsetListAt, 16); }); } },
  { "payload shorter than its image header",           [] {
      return Patched (TwoPayloads (), [](Bytes &D) { Put<UINT64>(D, OffsetListAt + 8, Get<UINT64>(D, OffsetListAt) + 20); });
    } },
  { "CapsuleImageSize below the header",               [] { return Patched (Plain (KindA, 8), [](Bytes &D) { Put<UINT32>(D, CapsuleImageSizeAt, 20); }); } },
  { "wrapper HeaderSize below the header",             [] { return Patched (WrapIn (Wrapper2, Plain (KindA, 8)), [](Bytes &D) { Put<UINT32>(D, HeaderSizeAt, 27); }); } },
  { "wrapper HeaderSize past its end",                 [] {
      return Patched (WrapIn (Wrapper2, Plain (KindA, 8)), [](Bytes &D) { Put<UINT32>(D, HeaderSizeAt, (UINT32)D.size () + 4); });
    } },
  { "inner capsule larger than the wrapper",           [] {
      return Patched (WrapIn (Wrapper2, Plain (KindA, 8)), [](Bytes &D) { Put<UINT32>(D, 28 + CapsuleImageSizeAt, 28 + 8 + 1); });
    } },
  { "wrapper too short for an inner header",           [] {
      return Patched (WrapIn (Wrapper2, Plain (KindA, 8)), [](Bytes &D) { Put<UINT32>(D, CapsuleImageSizeAt, 28 + 10); });
    } },
};

}  // namespace

class MemoryAgreement : public Harness::DriverTest, public ::testing::WithParamInterface<Case> {};

TEST_P (MemoryAgreement, TheDriverDoesWhatInspectPredicts)
{
  Harness::RecordingHandler  HandlerA;
  Harness::RecordingHandler  HandlerW2;
  Host::FmpInstance          Instance (TypeA, InstanceOfA);
  Host::HobListBuilder       Hobs;
  Bytes                      Capsule = GetParam ().Make ();

  InstallHandler (KindA, HandlerA);
  InstallHandler (Wrapper2, HandlerW2);
  Instance.Install (Platform);
  Capsule.shrink_to_fit ();
  Hobs.AddCapsule (Capsule.data (), Capsule.size ()).Install (Platform);

  Verdict                   Result = CapsuleTool::Judge (Capsule, CapsuleTool::FileContext ());
  Harness::PassEnd          End    = RunPass ();
  std::vector<const Harness::RecordingHandler *>  Called;
  for (auto *Handler : { &HandlerA, &HandlerW2 }) {
    if (!Handler->Calls.empty ()) {
      Called.push_back (Handler);
    }
  }

  SCOPED_TRACE (CapsuleTool::VerdictSummary (Result));
  switch (Result.Path) {
    case Route::Handler: {
      const Harness::RecordingHandler  *Expected = Result.RoutedGuid == KindA ? &HandlerA : &HandlerW2;
      ASSERT_EQ (Called.size (), 1u);
      EXPECT_EQ (Called[0], Expected);
      ASSERT_EQ (Expected->Calls.size (), 1u);
      EXPECT_EQ ((const UINT8 *)Expected->Calls[0].Capsule - Capsule.data (), (ptrdiff_t)Result.RoutedOffset);
      EXPECT_EQ (End, Harness::PassEnd::Returned);
      EXPECT_TRUE (Records (Platform).empty ());
      break;
    }

    case Route::Fmp:
      EXPECT_TRUE (Called.empty ());
      if (Result.FmpCheck != FmpCapsuleValid) {
        EXPECT_EQ (End, Harness::PassEnd::Returned);
        EXPECT_TRUE (Platform.CallsStartingWith ("LoadImage").empty ());
        EXPECT_TRUE (Records (Platform).empty ());
        break;
      }

      EXPECT_EQ (End, Harness::PassEnd::ColdReset);
      EXPECT_EQ (Platform.CallsStartingWith ("LoadImage").size (), Result.DriverCount);
      ExpectRecords (Platform, Result, "");
      break;

    case Route::Dropped:
      EXPECT_TRUE (Called.empty ());
      EXPECT_EQ (End, Harness::PassEnd::Returned);
      EXPECT_TRUE (Records (Platform).empty ());
      EXPECT_TRUE (Platform.CallsStartingWith ("LoadImage").empty ());
      break;

    default:
      ADD_FAILURE () << "a capsule in memory cannot take the route of a file";
  }
}

INSTANTIATE_TEST_SUITE_P (Capsules, MemoryAgreement, ::testing::ValuesIn (MemoryCases),
                          [](const ::testing::TestParamInfo<Case> &Info) { return TestName (Info.param.What); });

//
// Capsule files.
//
namespace {

struct FileCase {
  const char              *What;
  std::string             Name;
  std::function<Bytes ()> Make;
};

void
PrintTo (
  const FileCase  &Item,
  std::ostream    *Out
  )
{
  *Out << Item.What;
}

const FileCase  FileCases[] = {
  { "FMP capsule file",                       "FW.CAP",   [] { return Fmp ({}, { Payload (TypeA, 2, 0, 30), Payload (TypeB, 2, 0, 3) }); } },
  { "wrapped FMP file with a refused payload", "W.CAP",   [] {
      return WrapIn (Wrapper4, Patched (TwoPayloads (), [](Bytes &D) { Put<UINT32>(D, Get<UINT64>(D, OffsetListAt + 8) + FmpAt + 24, 9); }));
    } },
  { "FMP file failing its checks",            "BAD.CAP",  [] {
      return Patched (TwoPayloads (), [](Bytes &D) { Put<UINT64>(D, OffsetListAt + 8, Get<UINT64>(D, OffsetListAt)); });
    } },
  { "plain capsule file",                     "A.CAP",    [] { return Plain (KindA, 50); } },
  { "file shorter than its CapsuleImageSize", "S.CAP",    [] { return Patched (Plain (KindA, 50), [](Bytes &D) { D.pop_back (); }); } },
  { "file longer than its CapsuleImageSize",  "L.CAP",    [] { return Patched (Plain (KindA, 50), [](Bytes &D) { D.push_back (0); }); } },
  { "file shorter than a capsule header",     "T.CAP",    [] { return Fill (20, 1); } },
  { "empty file",                             "E.CAP",    [] { return Bytes (); } },
  { "deferred kind",                          "FLASH",    [] { return Plain (DeferredOne, 0x1000 - 28); } },
  { "deferred kind that is also a wrapper",   "WRAP.CAP", [] { return Fmp ({}, { Payload (TypeA, 2, 0, 8) }, &Wrapper1); } },
  { "deferred file whose path does not fit",  std::string (234, 'N') + ".CAP", [] { return Plain (DeferredOne, 10); } },
  { "deferred file whose path just fits",     std::string (233, 'N') + ".CAP", [] { return Plain (DeferredOne, 10); } },
  { "malformed wrapper file",                 "MW.CAP",   [] {
      return Patched (WrapIn (Wrapper2, Plain (KindA, 8)), [](Bytes &D) { Put<UINT32>(D, HeaderSizeAt, (UINT32)D.size () + 4); });
    } },
};

}  // namespace

class FileAgreement : public Harness::DiskTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P (FileAgreement, TheDriverDoesWhatInspectAsFilePredicts)
{
  const FileCase             &Case = GetParam ();
  Harness::RecordingHandler  Handler;
  Host::FmpInstance          Instance (TypeA, InstanceOfA);
  Bytes                      Capsule = Case.Make ();
  CapsuleTool::FileContext   Context;

  Context.AsFile = true;
  Context.Name   = Case.Name;
  InstallHandler (KindA, Handler);
  Instance.Install (Platform);
  BootFromEsp ();
  SetOsIndications (EFI_OS_INDICATIONS_FILE_CAPSULE_DELIVERY_SUPPORTED);
  AddCapsuleFile (Case.Name, Capsule);

  Verdict           Result = CapsuleTool::Judge (Capsule, Context);
  Harness::PassEnd  End    = RunPass ();
  SCOPED_TRACE (CapsuleTool::VerdictSummary (Result));

  bool  Stays = (Result.Path == Route::FileLeft) || (Result.Path == Route::Deferred);
  EXPECT_EQ (CapsuleFileExists (Case.Name), Stays);
  EXPECT_EQ (Handler.Calls.size (), Result.Path == Route::Handler ? 1u : 0u);

  const Host::Variable  *Flash = Platform.GetVariable (u"FlashUpdateImageName", FlashGuid);
  if ((Result.Path == Route::Deferred) && Result.DeferredRecorded) {
    EXPECT_EQ (End, Harness::PassEnd::WarmReset);
    ASSERT_NE (Flash, nullptr);
    ASSERT_EQ (Flash->Data.size (), sizeof (FLASH_UPDATE_IMAGE_RECORD));
    std::u16string  Path ((const char16_t *)(Flash->Data.data () + OFFSET_OF (FLASH_UPDATE_IMAGE_RECORD, FilePath)));
    EXPECT_EQ (Host::Narrow (Path), Result.DeferredPath);
    EXPECT_EQ (Get<UINT32>(Flash->Data, OFFSET_OF (FLASH_UPDATE_IMAGE_RECORD, FileSize)), Capsule.size ());
  } else {
    EXPECT_EQ (Flash, nullptr);
  }

  if ((Result.Path == Route::Fmp) && (Result.FmpCheck == FmpCapsuleValid)) {
    EXPECT_EQ (End, Harness::PassEnd::ColdReset);
    ExpectRecords (Platform, Result, Case.Name);
  } else {
    if (!((Result.Path == Route::Deferred) && Result.DeferredRecorded)) {
      EXPECT_EQ (End, Harness::PassEnd::Returned);
    }

    EXPECT_TRUE (Records (Platform).empty ());
  }
}

INSTANTIATE_TEST_SUITE_P (Files, FileAgreement, ::testing::ValuesIn (FileCases),
                          [](const ::testing::TestParamInfo<FileCase> &Info) { return TestName (Info.param.What); });
