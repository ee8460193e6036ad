/** @file
  The PEIM's entry point and its debug output, and the ACPI timer delay,
  against the PCH model and its PEI services.
**/
#include "PchFixture.h"

extern "C" {
#include <Library/PeimEntryPoint.h>
}

namespace {

using Pch::PcrAddress;

constexpr UINT64  kCardReaderDw0 = PcrAddress (0x69, 0x680);
constexpr UINT64  kTicksFor100ms = 357954;  // 100000 us at 3579545 Hz, whole ticks

class EntryTest : public PchTest {
protected:
  void
  SetUp (
    ) override
  {
    Hw.SetPmTimer (0xFFF000, 997);  // rolls over during the wait
    Hw.SetEndpointRegister (0x69, 0x680, 0x44000300);
  }

  EFI_STATUS
  RunEntry (
    )
  {
    // Through the image entry point, as the PEI dispatcher calls it.
    return _ModuleEntryPoint ((EFI_PEI_FILE_HANDLE)0x1234, Hw.PeiServices ());
  }

  /// PM timer ticks the module saw from its first timer read to the last one.
  UINT64
  TicksWaited (
    ) const
  {
    std::vector<Pch::Access>  Reads = In (Pch::Space::Io);

    EXPECT_FALSE (Reads.empty ());
    return Reads.empty () ? 0 : Reads.back ().Time - Reads.front ().Time;
  }

  /// Checks the 100 ms wait, and that no PCH register was touched before
  /// it ended.
  void
  ExpectWaitBeforeGpio (
    ) const
  {
    UINT64  WaitEnd = In (Pch::Space::Io).back ().Time;

    EXPECT_GE (TicksWaited (), kTicksFor100ms);
    EXPECT_LT (TicksWaited (), kTicksFor100ms + 997);
    EXPECT_FALSE (In (Pch::Space::Pcr).empty ());
    for (const Pch::Access &A : Hw.Accesses ()) {
      if (A.Where != Pch::Space::Io) {
        EXPECT_GT (A.Time, WaitEnd);
      }
    }
  }
};

TEST_F (EntryTest, HostOwnedPadWithoutLocksIsDrivenHighWithoutSidebandMessages) {
  EXPECT_EQ (RunEntry (), EFI_SUCCESS);

  ASSERT_EQ (Hw.DebugMessages ().size (), 1u);
  EXPECT_EQ (Hw.DebugMessages ()[0].Level, 0x80000000u);
  EXPECT_EQ (Hw.DebugMessages ()[0].Text, "Card Reader entry.\n");
  ExpectWaitBeforeGpio ();
  EXPECT_EQ (Hw.EndpointRegister (0x69, 0x680), 0x44000301u);
  EXPECT_TRUE (Hw.Messages ().empty ());
  ASSERT_EQ (WritesIn (Pch::Space::Pcr).size (), 1u);
  EXPECT_EQ (WritesIn (Pch::Space::Pcr)[0].Address, kCardReaderDw0);
}

TEST_F (EntryTest, TxLockIsLiftedAndPutBackAroundTheWrite) {
  Hw.SetEndpointRegister (0x69, 0x90, 0x100);  // with value 1 the configuration lock stays
  Hw.SetEndpointRegister (0x69, 0x94, 0x100);

  EXPECT_EQ (RunEntry (), EFI_SUCCESS);

  EXPECT_EQ (MessageAndPcrWriteOrder (), (std::vector<std::string>{ "msg", "pcr:FD690680", "msg" }));
  ASSERT_EQ (Hw.Messages ().size (), 2u);
  for (const Pch::SidebandMessage &M : Hw.Messages ()) {
    EXPECT_EQ (M.Port, 0x69);
    EXPECT_EQ (M.Offset, 0x94u);
    EXPECT_EQ (M.Opcode, 0x13);
  }

  EXPECT_EQ (Hw.Messages ()[0].Data, 0x000u);
  EXPECT_EQ (Hw.Messages ()[1].Data, 0x100u);
  EXPECT_EQ (ReadsOf (PcrAddress (0x69, 0x90)), 0u);
  EXPECT_EQ (Hw.EndpointRegister (0x69, 0x680), 0x44000301u);
  ExpectWaitBeforeGpio ();
}

TEST_F (EntryTest, NothingIsDrivenOnSeries2OrForAnotherOwner) {
  struct {
    UINT16    DeviceId;
    UINT32    Owner;
    size_t    PcrReads;  // the ownership register, when the pad exists
  } const  Cases[] = {
    { Pch::kSeries2DeviceId, 0, 0 },
    { Pch::kSeries1DeviceId, 1, 1 },
    { Pch::kSeries1DeviceId, 2, 1 },
    { Pch::kSeries1DeviceId, 3, 1 },
  };

  for (const auto &Case : Cases) {
    SCOPED_TRACE (::testing::Message () << std::hex << Case.DeviceId << " owner " << Case.Owner);
    Hw.ClearObservations ();
    Hw.SetPmTimer (0, 997);
    Hw.SetLpcDeviceId (Case.DeviceId);
    Hw.SetEndpointRegister (0x69, 0x24, Case.Owner);
    Hw.SetEndpointRegister (0x69, 0x94, 0x100);

    EXPECT_EQ (RunEntry (), EFI_SUCCESS);
    ASSERT_EQ (Hw.DebugMessages ().size (), 1u);
    EXPECT_EQ (Hw.DebugMessages ()[0].Text, "Card Reader entry.\n");
    EXPECT_GE (TicksWaited (), kTicksFor100ms);
    EXPECT_EQ (In (Pch::Space::Pcr).size (), Case.PcrReads);
    EXPECT_TRUE (WritesIn (Pch::Space::Pcr).empty ());
    EXPECT_TRUE (Hw.Messages ().empty ());
  }
}

TEST_F (EntryTest, WithoutTheDebugOutputPpiNothingIsPrintedAndThePadIsStillDriven) {
  Hw.SetDebugOutputPpi (false);

  EXPECT_EQ (RunEntry (), EFI_SUCCESS);

  EXPECT_TRUE (Hw.DebugMessages ().empty ());
  ASSERT_EQ (Hw.PpiLookups ().size (), 1u);
  EXPECT_FALSE (Hw.PpiLookups ()[0].Found);
  ExpectWaitBeforeGpio ();
  EXPECT_EQ (Hw.EndpointRegister (0x69, 0x680), 0x44000301u);
}

TEST_F (EntryTest, FailingSidebandMessagesStillEndInSuccess) {
  Hw.SetEndpointRegister (0x69, 0x94, 0x100);
  for (bool Hidden : { false, true }) {
    SCOPED_TRACE (Hidden ? "bridge hidden" : "every message answered 1");
    Hw.ClearObservations ();
    Hw.SetEndpointRegister (0x69, 0x680, 0);
    Hw.SetP2sbHidden (Hidden);
    Hw.SetResponses ({}, 1);

    EXPECT_EQ (RunEntry (), EFI_SUCCESS);
    EXPECT_EQ (Hw.EndpointRegister (0x69, 0x680), 1u);
    EXPECT_EQ (Hw.EndpointRegister (0x69, 0x94), 0x100u);
  }
}

TEST_F (PchTest, DebugOutputLooksUpThePpiEveryTimeAndPassesOnlyItsLevels) {
  struct {
    UINTN    Level;
    bool     Printed;
  } const  Cases[] = {
    { DEBUG_ERROR, true }, { DEBUG_INFO, true }, { DEBUG_LOAD, true }, { DEBUG_ERROR | DEBUG_VERBOSE, true },
    { DEBUG_INIT, false }, { DEBUG_WARN, false }, { DEBUG_VERBOSE, false }, { 0, false },
  };

  for (const auto &Case : Cases) {
    SCOPED_TRACE (Case.Level);
    Hw.ClearObservations ();
    DebugPrint (Case.Level, "level message\n");
    DebugPrint (Case.Level, "level message\n");

    // Looked up for each message, including those it then drops.
    ASSERT_EQ (Hw.PpiLookups ().size (), 2u);
    const EFI_GUID  Expected = DEBUG_OUTPUT_PPI_GUID;
    EXPECT_EQ (std::memcmp (&Hw.PpiLookups ()[0].Guid, &Expected, sizeof (EFI_GUID)), 0);
    EXPECT_EQ (Hw.PpiLookups ()[0].Instance, 0u);
    EXPECT_EQ (Hw.DebugMessages ().size (), Case.Printed ? 2u : 0u);
    EXPECT_EQ (DebugPrintLevelEnabled (Case.Level), Case.Printed);
  }
}

TEST_F (PchTest, DebugOutputHandsTheArgumentsOnAsAVaList) {
  DebugPrint (DEBUG_INFO, "%a=%d/%x %lX %5u|%-3c|\n", "pad", -3, 0x810u, 0x123456789ULL, 42u, 'z');

  ASSERT_EQ (Hw.DebugMessages ().size (), 1u);
  EXPECT_EQ (Hw.DebugMessages ()[0].Level, (UINT32)DEBUG_INFO);
  EXPECT_EQ (Hw.DebugMessages ()[0].Format, "%a=%d/%x %lX %5u|%-3c|\n");
  EXPECT_EQ (Hw.DebugMessages ()[0].Text, "pad=-3/810 123456789    42|z  |\n");
}

TEST_F (PchTest, MicroSecondDelayCountsWholeTicksAcrossRollovers) {
  struct {
    UINT32    Start;
    UINT32    Step;
    UINTN     MicroSeconds;
  } const  Cases[] = {
    { 0x000000, 1000,     100000   },
    { 0xFFFF00, 1000,     100000   },  // one rollover
    { 0x123456, 0x7FFFFF, 10000000 },  // 35795450 ticks: two rollovers, long strides
    { 0xFFFFFF, 1,        1        },  // 3 ticks
    { 0x000010, 5,        0        },  // no wait
  };

  for (const auto &Case : Cases) {
    SCOPED_TRACE (::testing::Message () << "start " << Case.Start << " step " << Case.Step << " us " << Case.MicroSeconds);
    Hw.ClearObservations ();
    Hw.SetPmTimer (Case.Start, Case.Step);

    EXPECT_EQ (MicroSecondDelay (Case.MicroSeconds), Case.MicroSeconds);

    UINT64  Ticks = (UINT64)Case.MicroSeconds * 3579545 / 1000000;
    UINT64  Reads = Hw.Now () / Case.Step;
    // The first read is the reference; the wait ends on the first read at
    // least Ticks later.
    EXPECT_GE ((Reads - 1) * Case.Step, Ticks);
    if (Reads > 1) {
      EXPECT_LT ((Reads - 2) * Case.Step, Ticks);
    }

    for (const Pch::Access &A : Hw.Accesses ()) {
      EXPECT_EQ (A.Address, Pch::kPmTimerPort);
      EXPECT_EQ (A.Width, 4);
    }
  }
}

}  // namespace
