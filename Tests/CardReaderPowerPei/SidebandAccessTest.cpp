/** @file
  PCH series and P2SB sideband messages, against the PCH model.
**/
#include "PchFixture.h"

namespace {

using Pch::ConfigAddress;
using Pch::kP2sbFunction;

constexpr UINT64  kStatus   = ConfigAddress (kP2sbFunction, 0xD8);
constexpr UINT64  kAddress  = ConfigAddress (kP2sbFunction, 0xD0);
constexpr UINT64  kData     = ConfigAddress (kP2sbFunction, 0xD4);
constexpr UINT64  kRouting  = ConfigAddress (kP2sbFunction, 0xDA);
constexpr UINT64  kExtended = ConfigAddress (kP2sbFunction, 0xDC);
constexpr UINT64  kVendor   = ConfigAddress (kP2sbFunction, 0x00);

constexpr UINT8   kUntouched = 0xAA;

class SidebandTest : public PchTest {
protected:
  UINT32  Data     = 0x12345678;
  UINT8   Response = kUntouched;

  EFI_STATUS
  Send (
    INT32   Opcode,
    UINT64  Offset = 0x94,
    UINT8   Port = 0x69
    )
  {
    return SendSidebandMessage (Port, Offset, Opcode, &Data, &Response);
  }

  /// The value last written to a register of the bridge.
  UINT32
  LastWrite (
    UINT64  Address
    ) const
  {
    UINT32  Value = 0xDEADBEEF;

    for (const Pch::Access &A : WritesIn (Pch::Space::Config)) {
      Value = (A.Address == Address) ? A.Value : Value;
    }

    return Value;
  }
};

TEST_F (SidebandTest, RefusedOpcodesTouchNothing) {
  for (INT32 Opcode : { 2, 3, 8, 0x12, 0x14, 0x100, -1, (INT32)0x80000013 }) {
    SCOPED_TRACE (Opcode);
    EXPECT_EQ (Send (Opcode), EFI_INVALID_PARAMETER);
    EXPECT_TRUE (Hw.Accesses ().empty ());
    EXPECT_EQ (Response, kUntouched);
    EXPECT_EQ (Data, 0x12345678u);
  }
}

TEST_F (SidebandTest, MissingDataOrResponsePointerIsRefusedBeforeAnyAccess) {
  EXPECT_EQ (SendSidebandMessage (0x69, 0x94, P2SB_OPCODE_GPIO_LOCK, NULL, &Response), EFI_INVALID_PARAMETER);
  EXPECT_EQ (SendSidebandMessage (0x69, 0x94, P2SB_OPCODE_PRIVATE_READ, &Data, NULL), EFI_INVALID_PARAMETER);
  EXPECT_TRUE (Hw.Accesses ().empty ());
  EXPECT_EQ (Response, kUntouched);
}

TEST_F (SidebandTest, HiddenBridgeGivesDeviceErrorAfterOnlyTheVendorRead) {
  Hw.SetP2sbHidden (true);

  EXPECT_EQ (Send (P2SB_OPCODE_GPIO_LOCK), EFI_DEVICE_ERROR);
  ASSERT_EQ (Hw.Accesses ().size (), 1u);
  EXPECT_EQ (Hw.Accesses ()[0].Address, kVendor);
  EXPECT_EQ (Hw.Accesses ()[0].Value, 0xFFFFu);
  EXPECT_EQ (Response, kUntouched);
  EXPECT_TRUE (Hw.Messages ().empty ());
}

TEST_F (SidebandTest, BridgeBusyBeforeTheMessageTimesOutAfterTheFullCountWithNothingWritten) {
  Hw.SetBusyBeforeIdle (Pch::kForever);

  EXPECT_EQ (Send (P2SB_OPCODE_GPIO_LOCK), EFI_TIMEOUT);
  EXPECT_EQ (Hw.StatusReads (), 0x0FFFFFFFu);
  EXPECT_TRUE (WritesIn (Pch::Space::Config).empty ());
  EXPECT_EQ (Response, kUntouched);
}

TEST_F (SidebandTest, MessageThatNeverCompletesTimesOutWithResponseFourAfterAFreshCount) {
  //
  // The bridge goes idle on the last read the first wait allows; the
  // message then never completes, and the second wait counts anew.
  //
  Hw.SetBusyBeforeIdle (0x0FFFFFFE);
  Hw.SetBusyPerMessage (Pch::kForever);

  EXPECT_EQ (Send (P2SB_OPCODE_PRIVATE_READ), EFI_TIMEOUT);
  EXPECT_EQ (Response, P2SB_RESPONSE_NONE);
  EXPECT_EQ (Data, 0x12345678u);
  // First wait, the reads of the opcode update and of the start, second wait.
  EXPECT_EQ (Hw.StatusReads (), 0x0FFFFFFFull + 2 + 0x0FFFFFFFull);
  ASSERT_EQ (Hw.Messages ().size (), 1u);
  EXPECT_EQ (Hw.Messages ()[0].Response, 4);
  // Nothing is written after the start, and nothing undone.
  EXPECT_EQ (WritesIn (Pch::Space::Config).size (), 6u);
  EXPECT_EQ (WritesIn (Pch::Space::Config).back ().Address, kStatus);
  EXPECT_EQ (LastWrite (kAddress), 0x69000094u);
}

TEST_F (SidebandTest, WriteMessageProgramsTheBridgeInOrder) {
  Hw.SetStatusBits (0x00FE);  // bits 6:1 and the posted bit read 1
  Data = 0x00000201;

  EXPECT_EQ (Send (P2SB_OPCODE_GPIO_LOCK, 0x94, 0x69), EFI_SUCCESS);

  struct Expected {
    bool      Write;
    UINT64    Address;
    UINT8     Width;
    UINT32    Value;
  };
  const Expected  Trace[] = {
    { false, kVendor,   2, 0x8086     },
    { false, kStatus,   2, 0x00FE     },  // idle
    { true,  kAddress,  4, 0x69000094 },
    { true,  kExtended, 4, 0x00000000 },
    { false, kStatus,   2, 0x00FE     },
    { true,  kStatus,   2, 0x137E     },  // opcode in, bits 6:0 kept, posted bit cleared
    { true,  kRouting,  2, 0xF000     },
    { true,  kData,     4, 0x00000201 },
    { false, kStatus,   2, 0x137E     },
    { true,  kStatus,   2, 0x137F     },  // start
    { false, kStatus,   2, 0x1378     },  // done, response 0
  };
  const std::vector<Pch::Access>  &Seen = Hw.Accesses ();
  ASSERT_EQ (Seen.size (), ARRAY_SIZE (Trace));
  for (size_t Index = 0; Index < ARRAY_SIZE (Trace); Index++) {
    SCOPED_TRACE (Index);
    EXPECT_EQ (Seen[Index].Write, Trace[Index].Write);
    EXPECT_EQ (Seen[Index].Address, Trace[Index].Address);
    EXPECT_EQ (Seen[Index].Width, Trace[Index].Width);
    EXPECT_EQ (Seen[Index].Value, Trace[Index].Value);
    EXPECT_EQ (Seen[Index].Repeat, 1u);
  }

  ASSERT_EQ (Hw.Messages ().size (), 1u);
  EXPECT_EQ (Hw.Messages ()[0].Opcode, 0x13);
  EXPECT_FALSE (Hw.Messages ()[0].Posted);
  EXPECT_EQ (Hw.EndpointRegister (0x69, 0x94), 0x201u);
  EXPECT_EQ (Data, 0x201u);
  EXPECT_EQ (Response, 0);
}

TEST_F (SidebandTest, OffsetSplitsIntoAddressAndExtendedAddress) {
  struct {
    UINT64    Offset;
    UINT32    Address;
    UINT32    Extended;
  } const  Cases[] = {
    { 0x12345,            0x6A002345, 0x00000001 },
    { 0xABCD12345678,     0x6A005678, 0xABCD1234 },
    { 0xFFFF00000000FFFF, 0x6A00FFFF, 0x00000000 },  // bits 63:48 do not reach the bridge
  };

  for (const auto &Case : Cases) {
    SCOPED_TRACE (Case.Offset);
    Hw.ClearObservations ();
    EXPECT_EQ (Send (P2SB_OPCODE_PRIVATE_WRITE, Case.Offset, 0x6A), EFI_SUCCESS);
    EXPECT_EQ (LastWrite (kAddress), Case.Address);
    EXPECT_EQ (LastWrite (kExtended), Case.Extended);
  }
}

TEST_F (SidebandTest, ReadMessageSendsZeroAndFillsDataOnResponseZero) {
  for (INT32 Opcode : { P2SB_OPCODE_MEMORY_READ, P2SB_OPCODE_PCI_CFG_READ, P2SB_OPCODE_PRIVATE_READ }) {
    SCOPED_TRACE (Opcode);
    Hw.ClearObservations ();
    Hw.SetEndpointRegister (0x6B, 0x1234, 0xCAFEF00D);
    Data     = 0x12345678;
    Response = kUntouched;

    EXPECT_EQ (Send (Opcode, 0x1234, 0x6B), EFI_SUCCESS);
    EXPECT_EQ (LastWrite (kData), 0u);
    EXPECT_EQ (Hw.Messages ().back ().Data, 0u);
    EXPECT_EQ (Data, 0xCAFEF00Du);
    EXPECT_EQ (Response, 0);
  }
}

TEST_F (SidebandTest, ResponsesMapToStatusesAndLeaveDataAlone) {
  struct {
    INT32         Opcode;
    UINT8         Answer;
    EFI_STATUS    Status;
  } const  Cases[] = {
    { P2SB_OPCODE_PRIVATE_READ, 1, EFI_DEVICE_ERROR },
    { P2SB_OPCODE_PRIVATE_READ, 2, EFI_NO_RESPONSE  },
    { P2SB_OPCODE_PRIVATE_READ, 3, EFI_DEVICE_ERROR },
    { P2SB_OPCODE_MEMORY_WRITE, 0, EFI_SUCCESS      },
    { P2SB_OPCODE_MEMORY_WRITE, 1, EFI_DEVICE_ERROR },
    { P2SB_OPCODE_GPIO_LOCK,    2, EFI_NO_RESPONSE  },
    { P2SB_OPCODE_PCI_CFG_WRITE, 3, EFI_DEVICE_ERROR },
  };

  for (const auto &Case : Cases) {
    SCOPED_TRACE (::testing::Message () << "opcode " << Case.Opcode << " response " << (int)Case.Answer);
    Hw.ClearObservations ();
    Hw.SetResponses ({}, Case.Answer);
    Hw.SetEndpointRegister (0x69, 0x94, 0x55555555);
    Data     = 0x12345678;
    Response = kUntouched;

    EXPECT_EQ (Send (Case.Opcode), Case.Status);
    EXPECT_EQ (Response, Case.Answer);
    EXPECT_EQ (Data, 0x12345678u);
    // A write-kind message carries Data, and nobody reads the data register back.
    if (Case.Opcode != P2SB_OPCODE_PRIVATE_READ) {
      EXPECT_EQ (LastWrite (kData), 0x12345678u);
      EXPECT_EQ (ReadsOf (kData), 0u);
    }
  }
}

TEST_F (PchTest, SeriesComesFromTheMaskedDeviceIdOnEveryQuery) {
  struct {
    UINT16    DeviceId;
    UINT8     Series;
  } const  Cases[] = {
    { 0x4380, PCH_SERIES_1 }, { 0x439F, PCH_SERIES_1 },
    { 0xA080, PCH_SERIES_2 }, { 0xA09F, PCH_SERIES_2 },
    { 0x43A0, PCH_SERIES_UNKNOWN }, { 0xA0A0, PCH_SERIES_UNKNOWN }, { 0xFFFF, PCH_SERIES_UNKNOWN },
  };

  for (const auto &Case : Cases) {
    SCOPED_TRACE (Case.DeviceId);
    Hw.ClearObservations ();
    Hw.SetLpcDeviceId (Case.DeviceId);
    EXPECT_EQ (GetPchSeries (), Case.Series);
    EXPECT_EQ (PchIsSeries2 (), Case.Series == PCH_SERIES_2);
    EXPECT_EQ (ReadsOf (Pch::ConfigAddress (Pch::kLpcFunction, 0x02)), 2u);
  }
}

}  // namespace
