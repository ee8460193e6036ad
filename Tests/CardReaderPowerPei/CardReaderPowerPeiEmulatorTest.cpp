/** @file
  The real CardReaderPowerPei TE image, executed instruction by instruction
  in the unicorn emulator against the same PCH model the host tests use.
**/
#include <gtest/gtest.h>

#include "PeimEmulator.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

using Pch::PcrAddress;

/// Where the image's RVA 0 is placed: flash below 4 GB, away from the link
/// base, so that every relocation matters.
constexpr uint32_t  kImageBase = 0xFFFC0000;

constexpr UINT64  kTicksFor100ms = 357954;

/// The PM timer advances 4 ticks (about 1.1 us, one port read) per read.
constexpr UINT32  kTicksPerRead = 4;

class EmulatorTest : public ::testing::Test {
protected:
  Pch::Model  Hw;

  void
  SetUp (
    ) override
  {
    Hw.SetPmTimer (0xFF0000, kTicksPerRead);  // rolls over during the wait
    Hw.SetEndpointRegister (0x69, 0x680, 0x44000300);
  }

  PeimRun
  Run (
    )
  {
    std::vector<uint8_t>  Image = ReadFileBytes (CARD_READER_TE_IMAGE);
    EXPECT_FALSE (Image.empty ()) << CARD_READER_TE_IMAGE;
    PeimEmulator  Emulator (Hw, Image, kImageBase);
    EXPECT_EQ (Emulator.LoadError (), "");

    PeimRun  Result = Emulator.RunEntryPoint ();
    EXPECT_EQ (Result.Error, "");
    EXPECT_TRUE (Result.Returned);
    EXPECT_TRUE (Result.CalleeSavedKept);
    EXPECT_EQ (Result.Eax, 0u) << "EFI_SUCCESS";
    for (const Pch::Access &A : Hw.Accesses ()) {
      EXPECT_NE (A.Where, Pch::Space::Other) << "access outside the modelled hardware at 0x" << std::hex << A.Address;
    }

    return Result;
  }

  std::vector<Pch::Access>
  In (
    Pch::Space  Where
    ) const
  {
    std::vector<Pch::Access>  Out;

    for (const Pch::Access &A : Hw.Accesses ()) {
      if (A.Where == Where) {
        Out.push_back (A);
      }
    }

    return Out;
  }

  void
  ExpectEntryMessage (
    ) const
  {
    ASSERT_EQ (Hw.DebugMessages ().size (), 1u);
    EXPECT_EQ (Hw.DebugMessages ()[0].Level, 0x80000000u);
    EXPECT_EQ (Hw.DebugMessages ()[0].Text, "Card Reader entry.\n");
  }

  /// The wait: at least 357954 PM timer ticks between the first and the
  /// last timer read, and no PCH register touched before the last one.
  void
  ExpectWaitFirst (
    ) const
  {
    std::vector<Pch::Access>  Timer = In (Pch::Space::Io);

    ASSERT_FALSE (Timer.empty ());
    UINT64  Waited = Timer.back ().Time - Timer.front ().Time;
    EXPECT_GE (Waited, kTicksFor100ms);
    EXPECT_LT (Waited, kTicksFor100ms + kTicksPerRead);
    for (const Pch::Access &A : Hw.Accesses ()) {
      if (A.Where != Pch::Space::Io) {
        EXPECT_GT (A.Time, Timer.back ().Time);
      }
    }
  }
};

TEST_F (EmulatorTest, TxLockedHostOwnedPadIsDrivenHighBetweenTwoSidebandMessages) {
  Hw.SetEndpointRegister (0x69, 0x94, 0x00000301);

  PeimRun  Result = Run ();

  std::printf (
    "[ emulator ] entry point executed %llu instructions in the image (%llu with the PEI service stand-ins)\n",
    (unsigned long long)Result.Instructions,
    (unsigned long long)Result.AllInstructions
    );
  RecordProperty ("Instructions", std::to_string (Result.Instructions));
  EXPECT_EQ (Result.PeiServicesSeen, 0x00020000u);
  ExpectEntryMessage ();
  ExpectWaitFirst ();

  //
  // Exactly two messages: TX lock bit 8 cleared, then set again, at port
  // 0x69 offset 0x94 with opcode 0x13, around the DW0 write with bit 0 set.
  //
  ASSERT_EQ (Hw.Messages ().size (), 2u);
  EXPECT_EQ (Hw.Messages ()[0].Data, 0x00000201u);
  EXPECT_EQ (Hw.Messages ()[1].Data, 0x00000301u);
  for (const Pch::SidebandMessage &M : Hw.Messages ()) {
    EXPECT_EQ (M.Port, 0x69);
    EXPECT_EQ (M.Offset, 0x94u);
    EXPECT_EQ (M.Opcode, 0x13);
    EXPECT_FALSE (M.Posted);
    EXPECT_EQ (M.Routing, 0xF000);
  }

  std::vector<std::string>  Order;
  for (const Pch::Access &A : Hw.Accesses ()) {
    if (A.Write && (A.Where == Pch::Space::Pcr)) {
      Order.push_back (A.Address == PcrAddress (0x69, 0x680) ? "DW0" : "other PCR write");
    } else if (A.Write && (A.Address == Pch::ConfigAddress (Pch::kP2sbFunction, 0xD8)) && ((A.Value & 1) != 0)) {
      Order.push_back ("message");
    }
  }

  EXPECT_EQ (Order, (std::vector<std::string>{ "message", "DW0", "message" }));
  EXPECT_EQ (Hw.EndpointRegister (0x69, 0x680), 0x44000301u);
  EXPECT_EQ (Hw.EndpointRegister (0x69, 0x94), 0x00000301u);
}

TEST_F (EmulatorTest, Series2TouchesNoGpioRegister) {
  Hw.SetLpcDeviceId (Pch::kSeries2DeviceId);
  Hw.SetEndpointRegister (0x69, 0x94, 0x100);

  Run ();

  ExpectEntryMessage ();
  ExpectWaitFirst ();
  EXPECT_TRUE (In (Pch::Space::Pcr).empty ());
  EXPECT_TRUE (Hw.Messages ().empty ());
}

TEST_F (EmulatorTest, OtherScenariosEndInSuccess) {
  struct {
    const char    *Name;
    bool          DebugOutput;
    UINT32        Owner;
    UINT32        TxLock;
    UINT8         Response;
    size_t        Messages;
    size_t        Printed;
    UINT32        Dw0After;
  } const  Cases[] = {
    { "no debug output PPI",       false, 0, 0x000, 0, 0, 0, 0x44000301 },
    { "pad owned by another agent", true, 2, 0x100, 0, 0, 1, 0x44000300 },
    { "every message fails",        true, 0, 0x100, 1, 2, 1, 0x44000301 },
  };

  for (const auto &Case : Cases) {
    SCOPED_TRACE (Case.Name);
    Hw.ClearObservations ();
    Hw.SetPmTimer (0, 0x1000);
    Hw.SetDebugOutputPpi (Case.DebugOutput);
    Hw.SetResponses ({}, Case.Response);
    Hw.SetEndpointRegister (0x69, 0x24, Case.Owner);
    Hw.SetEndpointRegister (0x69, 0x94, Case.TxLock);
    Hw.SetEndpointRegister (0x69, 0x680, 0x44000300);

    Run ();

    EXPECT_EQ (Hw.PpiLookups ().size (), 1u);
    EXPECT_EQ (Hw.DebugMessages ().size (), Case.Printed);
    EXPECT_EQ (Hw.Messages ().size (), Case.Messages);
    EXPECT_EQ (Hw.EndpointRegister (0x69, 0x680), Case.Dw0After);
  }
}

}  // namespace
