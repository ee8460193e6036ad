/** @file
  GPIO group tables, register access by kind, lock updates and the card
  reader pad, against the PCH model.
**/
#include "PchFixture.h"

namespace {

using Pch::PcrAddress;

constexpr UINT64  kCardReaderOwnership  = PcrAddress (0x69, 0x24);
constexpr UINT64  kCardReaderConfigLock = PcrAddress (0x69, 0x90);

TEST_F (PchTest, TableFollowsTheSeries) {
  struct {
    UINT16    DeviceId;
    UINT32    Rows;
    UINT32    First;
    UINT32    Last;
  } const  Cases[] = {
    { Pch::kSeries1DeviceId, 19, 0x800, 0x812 },
    { Pch::kSeries2DeviceId, 18, 0x900, 0x911 },
    { 0x1234,                19, 0x800, 0x812 },  // unidentified PCH
  };

  for (const auto &Case : Cases) {
    SCOPED_TRACE (Case.DeviceId);
    Hw.SetLpcDeviceId (Case.DeviceId);
    UINT32  Count = 0;
    EXPECT_NE (GpioGetGroupTable (&Count), nullptr);
    EXPECT_EQ (Count, Case.Rows);
    EXPECT_EQ (GpioGroupFromIndex (0), Case.First);
    EXPECT_EQ (GpioGetLastGroup (), Case.Last);
  }
}

TEST_F (PchTest, GroupAndBlockValidity) {
  struct {
    UINT16     DeviceId;
    UINT32     Group;
    UINT32     Dw;
    BOOLEAN    Valid;
  } const  Cases[] = {
    { Pch::kSeries1DeviceId, 0x800, 0, TRUE  },
    { Pch::kSeries1DeviceId, 0x812, 0, TRUE  },
    { Pch::kSeries1DeviceId, 0x7FF, 0, FALSE },
    { Pch::kSeries1DeviceId, 0x813, 0, FALSE },
    { Pch::kSeries1DeviceId, 0x900, 0, FALSE },
    { Pch::kSeries1DeviceId, 0x80C, 0, TRUE  },  // 84 pads: blocks 0 to 2
    { Pch::kSeries1DeviceId, 0x80C, 2, TRUE  },
    { Pch::kSeries1DeviceId, 0x80C, 3, FALSE },
    { Pch::kSeries1DeviceId, 0x810, 0, TRUE  },  // 15 pads: block 0 only
    { Pch::kSeries1DeviceId, 0x810, 1, FALSE },
    { Pch::kSeries2DeviceId, 0x900, 0, TRUE  },
    { Pch::kSeries2DeviceId, 0x911, 0, TRUE  },
    { Pch::kSeries2DeviceId, 0x911, 2, TRUE  },  // 91 pads: blocks 0 to 2
    { Pch::kSeries2DeviceId, 0x911, 3, FALSE },
    { Pch::kSeries2DeviceId, 0x810, 0, FALSE },
    { Pch::kSeries2DeviceId, 0x912, 0, FALSE },
    { 0x1234,                0x812, 0, TRUE  },
    { 0x1234,                0x900, 0, FALSE },
  };

  for (const auto &Case : Cases) {
    SCOPED_TRACE (::testing::Message () << std::hex << Case.DeviceId << " group " << Case.Group << " dw " << Case.Dw);
    Hw.SetLpcDeviceId (Case.DeviceId);
    EXPECT_EQ (GpioIsGroupDwValid (Case.Group, Case.Dw), Case.Valid);
  }
}

TEST_F (PchTest, RegisterOffsetsByKindAndBlock) {
  struct {
    UINT16                DeviceId;
    GPIO_REGISTER_KIND    Kind;
    UINT32                Group;
    UINT32                Dw;
    UINT64                Address;
  } const  Cases[] = {
    // Row 12 of the 19-row table, block 1: 4 bytes a block, 8 for the locks.
    { Pch::kSeries1DeviceId, GpioHostOwnership, 0x80C, 1, PcrAddress (0x6B, 0xCC)  },
    { Pch::kSeries1DeviceId, GpioGpeEnable,     0x80C, 1, PcrAddress (0x6B, 0x16C) },
    { Pch::kSeries1DeviceId, GpioGpeStatus,     0x80C, 1, PcrAddress (0x6B, 0x14C) },
    { Pch::kSeries1DeviceId, GpioSmiEnable,     0x80C, 1, PcrAddress (0x6B, 0x1AC) },
    { Pch::kSeries1DeviceId, GpioSmiStatus,     0x80C, 1, PcrAddress (0x6B, 0x18C) },
    { Pch::kSeries1DeviceId, GpioNmiEnable,     0x80C, 1, PcrAddress (0x6B, 0x1EC) },
    { Pch::kSeries1DeviceId, GpioConfigLock,    0x80C, 1, PcrAddress (0x6B, 0xA8)  },
    { Pch::kSeries1DeviceId, GpioTxLock,        0x80C, 1, PcrAddress (0x6B, 0xAC)  },
    { Pch::kSeries1DeviceId, GpioTxLock,        0x80C, 2, PcrAddress (0x6B, 0xB4)  },
    { Pch::kSeries1DeviceId, GpioHostOwnership, 0x800, 0, PcrAddress (0x6E, 0xC0)  },
    { Pch::kSeries2DeviceId, GpioConfigLock,    0x911, 2, PcrAddress (0x6B, 0x98)  },
    { Pch::kSeries2DeviceId, GpioGpeEnable,     0x908, 0, PcrAddress (0x6D, 0x168) },
  };

  for (const auto &Case : Cases) {
    SCOPED_TRACE (::testing::Message () << "kind " << Case.Kind << std::hex << " group " << Case.Group << " dw " << Case.Dw);
    Hw.ClearObservations ();
    Hw.SetLpcDeviceId (Case.DeviceId);
    Hw.SetEndpointRegister ((UINT8)(Case.Address >> 16), Case.Address & 0xFFFF, 0xA5A50000 | Case.Kind);

    UINT32  Value = 0;
    EXPECT_EQ (GpioReadGroupRegister (Case.Kind, Case.Group, Case.Dw, &Value), EFI_SUCCESS);
    EXPECT_EQ (Value, 0xA5A50000 | Case.Kind);
    ASSERT_EQ (In (Pch::Space::Pcr).size (), 1u);
    EXPECT_EQ (In (Pch::Space::Pcr)[0].Address, Case.Address);
  }
}

TEST_F (PchTest, ReadsOfMissingRegistersAreRefusedWithoutAGpioAccess) {
  struct {
    UINT16                DeviceId;
    GPIO_REGISTER_KIND    Kind;
    UINT32                Group;
    EFI_STATUS            Status;
  } const  Cases[] = {
    { Pch::kSeries1DeviceId, 8,             0x810, EFI_UNSUPPORTED       },
    { Pch::kSeries2DeviceId, GpioSmiEnable, 0x901, EFI_UNSUPPORTED       },
    { Pch::kSeries2DeviceId, GpioGpeStatus, 0x911, EFI_UNSUPPORTED       },
    { Pch::kSeries1DeviceId, GpioTxLock,    0x813, EFI_INVALID_PARAMETER },  // no row 19
    { Pch::kSeries2DeviceId, GpioTxLock,    0x912, EFI_INVALID_PARAMETER },  // no row 18
  };

  for (const auto &Case : Cases) {
    SCOPED_TRACE (::testing::Message () << "kind " << Case.Kind << std::hex << " group " << Case.Group);
    Hw.ClearObservations ();
    Hw.SetLpcDeviceId (Case.DeviceId);
    UINT32  Value = 0x77;
    EXPECT_EQ (GpioReadGroupRegister (Case.Kind, Case.Group, 0, &Value), Case.Status);
    EXPECT_EQ (Value, 0x77u);
    EXPECT_TRUE (In (Pch::Space::Pcr).empty ());
  }
}

TEST_F (PchTest, LockUpdateOfANonLockKindSendsNothing) {
  for (GPIO_REGISTER_KIND Kind : { 0u, 1u, 5u, 8u }) {
    SCOPED_TRACE (Kind);
    EXPECT_EQ (GpioUpdateLockRegister (Kind, 0x810, 0, 0xFFFFFFFF, 0x100), EFI_UNSUPPORTED);
    EXPECT_TRUE (Hw.Accesses ().empty ());
    EXPECT_TRUE (Hw.Messages ().empty ());
  }
}

TEST_F (PchTest, LockOperationsRewriteTheRegisterBySidebandMessage) {
  struct {
    EFI_STATUS (*Operation)(UINT32, UINT32, UINT32);
    const char    *Name;
    UINT16        Offset;
    UINT32        Before;
    UINT32        Sent;
  } const  Cases[] = {
    { GpioClearTxLock,     "ClearTx",     0x94, 0x00000301, 0x00000201 },
    { GpioSetTxLock,       "SetTx",       0x94, 0x00000201, 0x00000301 },
    { GpioClearConfigLock, "ClearConfig", 0x90, 0xFFFFFFFF, 0xFFFFFEFF },
    { GpioSetConfigLock,   "SetConfig",   0x90, 0x00000000, 0x00000100 },
  };

  for (const auto &Case : Cases) {
    SCOPED_TRACE (Case.Name);
    Hw.ClearObservations ();
    Hw.SetEndpointRegister (0x69, Case.Offset, Case.Before);

    EXPECT_EQ (Case.Operation (0x810, 0, 0x100), EFI_SUCCESS);
    ASSERT_EQ (Hw.Messages ().size (), 1u);
    EXPECT_EQ (Hw.Messages ()[0].Port, 0x69);
    EXPECT_EQ (Hw.Messages ()[0].Offset, Case.Offset);
    EXPECT_EQ (Hw.Messages ()[0].Opcode, P2SB_OPCODE_GPIO_LOCK);
    EXPECT_EQ (Hw.Messages ()[0].Data, Case.Sent);
    // Read through the PCR window, never written through it.
    EXPECT_EQ (ReadsOf (PcrAddress (0x69, Case.Offset)), 1u);
    EXPECT_TRUE (WritesIn (Pch::Space::Pcr).empty ());
  }

  // Block 2 of row 17 on series 2: the lock of the third block, 16 bytes on.
  Hw.ClearObservations ();
  Hw.SetLpcDeviceId (Pch::kSeries2DeviceId);
  EXPECT_EQ (GpioSetTxLock (0x911, 2, 0x1), EFI_SUCCESS);
  ASSERT_EQ (Hw.Messages ().size (), 1u);
  EXPECT_EQ (Hw.Messages ()[0].Port, 0x6B);
  EXPECT_EQ (Hw.Messages ()[0].Offset, 0x9Cu);
}

TEST_F (PchTest, LockOperationsRefuseInvalidGroupsBeforeTouchingGpio) {
  struct {
    EFI_STATUS (*Operation)(UINT32, UINT32, UINT32);
    const char    *Name;
  } const  Operations[] = {
    { GpioClearTxLock, "ClearTx" }, { GpioSetTxLock, "SetTx" },
    { GpioClearConfigLock, "ClearConfig" }, { GpioSetConfigLock, "SetConfig" },
  };
  UINT32  Value = 0x77;

  for (const auto &Operation : Operations) {
    for (auto Pair : { std::make_pair (0x813u, 0u), std::make_pair (0x810u, 1u), std::make_pair (0x900u, 0u) }) {
      SCOPED_TRACE (::testing::Message () << Operation.Name << std::hex << " group " << Pair.first << " dw " << Pair.second);
      Hw.ClearObservations ();
      EXPECT_EQ (Operation.Operation (Pair.first, Pair.second, 0x100), EFI_INVALID_PARAMETER);
      EXPECT_EQ (GpioReadTxLock (Pair.first, Pair.second, &Value), EFI_INVALID_PARAMETER);
      EXPECT_EQ (GpioReadConfigLock (Pair.first, Pair.second, &Value), EFI_INVALID_PARAMETER);
      // Called directly, the update stops at its lock read.
      EXPECT_EQ (GpioUpdateLockRegister (GpioTxLock, Pair.first, Pair.second, 0xFFFFFFFF, 0x100), EFI_INVALID_PARAMETER);
      EXPECT_TRUE (In (Pch::Space::Pcr).empty ());
      EXPECT_TRUE (Hw.Messages ().empty ());
    }
  }

  EXPECT_EQ (Value, 0x77u);
}

TEST_F (PchTest, LockOperationsReturnSidebandFailuresUnchanged) {
  Hw.SetResponses ({}, 2);
  EXPECT_EQ (GpioClearTxLock (0x810, 0, 0x100), EFI_NO_RESPONSE);
  Hw.SetResponses ({}, 3);
  EXPECT_EQ (GpioSetConfigLock (0x810, 0, 0x100), EFI_DEVICE_ERROR);
  Hw.SetP2sbHidden (true);
  EXPECT_EQ (GpioSetTxLock (0x810, 0, 0x100), EFI_DEVICE_ERROR);
}

TEST_F (PchTest, CardReaderPadAvailabilityAndOwner) {
  struct {
    UINT16     DeviceId;
    UINT32     Ownership;
    BOOLEAN    Available;
    UINT32     Owner;
    BOOLEAN    HostOwned;
  } const  Cases[] = {
    { Pch::kSeries1DeviceId, 0xFFFFFFF0, TRUE,  0, TRUE  },  // only bits 1:0 count
    { Pch::kSeries1DeviceId, 0x00000001, TRUE,  1, FALSE },
    { Pch::kSeries1DeviceId, 0x00000002, TRUE,  2, FALSE },
    { Pch::kSeries1DeviceId, 0x00000007, TRUE,  3, FALSE },
    { 0x1234,                0x00000000, TRUE,  0, TRUE  },  // unidentified PCH: as series 1
    { Pch::kSeries2DeviceId, 0x00000000, FALSE, 0, FALSE },
  };

  for (const auto &Case : Cases) {
    SCOPED_TRACE (::testing::Message () << std::hex << Case.DeviceId << " ownership " << Case.Ownership);
    Hw.ClearObservations ();
    Hw.SetLpcDeviceId (Case.DeviceId);
    Hw.SetEndpointRegister (0x69, 0x24, Case.Ownership);

    UINT32  Owner = 0x55;
    EXPECT_EQ (CardReaderPadAvailable (), Case.Available);
    EXPECT_EQ (CardReaderPadOwner (&Owner), Case.Available ? EFI_SUCCESS : EFI_INVALID_PARAMETER);
    EXPECT_EQ (Owner, Case.Available ? Case.Owner : 0x55u);
    EXPECT_EQ (CardReaderPadHostOwned (), Case.HostOwned);
    // The ownership register is the only GPIO register asked.
    for (const Pch::Access &A : In (Pch::Space::Pcr)) {
      EXPECT_EQ (A.Address, kCardReaderOwnership);
    }

    EXPECT_EQ (In (Pch::Space::Pcr).empty (), !Case.Available);
  }
}

TEST_F (PchTest, SetOutputLiftsOnlyTheLocksItMustAndPutsThemBack) {
  //
  // Every output value with every lock combination. Only bit 8 of a lock
  // register is the pad's; the other bits must neither count nor change.
  //
  for (UINT32 Value : { 0u, 1u, 3u }) {
    for (UINT32 ConfigLock : { 0x0FFu, 0x1FFu }) {
      for (UINT32 TxLock : { 0x201u, 0x301u }) {
        SCOPED_TRACE (::testing::Message () << "value " << Value << std::hex << " config lock " << ConfigLock
                                            << " tx lock " << TxLock);
        Hw.ClearObservations ();
        Hw.SetEndpointRegister (0x69, 0x90, ConfigLock);
        Hw.SetEndpointRegister (0x69, 0x94, TxLock);
        Hw.SetEndpointRegister (0x69, 0x680, 0x44000300);

        CardReaderPadSetOutput (Value);

        // The configuration lock matters only when Value has more than bit 0.
        bool  ConfigLifted = (Value > 1) && ((ConfigLock & 0x100) != 0);
        bool  TxLifted     = (TxLock & 0x100) != 0;
        std::vector<std::string>  Order;
        std::vector<UINT32>       Sent;
        if (ConfigLifted) {
          Order.push_back ("msg");
          Sent.push_back (ConfigLock & ~0x100u);
        }

        if (TxLifted) {
          Order.push_back ("msg");
          Sent.push_back (TxLock & ~0x100u);
        }

        Order.push_back ("pcr:FD690680");
        if (ConfigLifted) {
          Order.push_back ("msg");
          Sent.push_back (ConfigLock);
        }

        if (TxLifted) {
          Order.push_back ("msg");
          Sent.push_back (TxLock);
        }

        EXPECT_EQ (MessageAndPcrWriteOrder (), Order);
        std::vector<UINT32>  Seen;
        for (const Pch::SidebandMessage &M : Hw.Messages ()) {
          Seen.push_back (M.Data);
          EXPECT_EQ (M.Opcode, P2SB_OPCODE_GPIO_LOCK);
        }

        EXPECT_EQ (Seen, Sent);
        EXPECT_EQ (ReadsOf (kCardReaderConfigLock) != 0, Value > 1);
        EXPECT_EQ (Hw.EndpointRegister (0x69, 0x680), 0x44000300 | Value);
        EXPECT_EQ (Hw.EndpointRegister (0x69, 0x90), ConfigLock);
        EXPECT_EQ (Hw.EndpointRegister (0x69, 0x94), TxLock);
      }
    }
  }

  // DW0 bit 0 is cleared before Value is ORed in.
  Hw.SetEndpointRegister (0x69, 0x680, 0x44000301);
  CardReaderPadSetOutput (0);
  EXPECT_EQ (Hw.EndpointRegister (0x69, 0x680), 0x44000300u);
}

TEST_F (PchTest, SetOutputWritesEvenWhenLiftingFailsAndLeavesTheLockClearedWhenPuttingBackFails) {
  //
  // Lifting fails: the write happens, and the lock is put back all the same.
  //
  Hw.SetEndpointRegister (0x69, 0x94, 0x100);
  Hw.SetResponses ({ 1 }, 0);
  CardReaderPadSetOutput (1);
  EXPECT_EQ (MessageAndPcrWriteOrder (), (std::vector<std::string>{ "msg", "pcr:FD690680", "msg" }));
  EXPECT_EQ (Hw.EndpointRegister (0x69, 0x680) & 1, 1u);
  EXPECT_EQ (Hw.EndpointRegister (0x69, 0x94), 0x100u);

  //
  // Putting back fails: the pad is left unlocked.
  //
  Hw.ClearObservations ();
  Hw.SetEndpointRegister (0x69, 0x680, 0);
  Hw.SetResponses ({ 0, 1 }, 0);
  CardReaderPadSetOutput (1);
  EXPECT_EQ (Hw.Messages ().size (), 2u);
  EXPECT_EQ (Hw.EndpointRegister (0x69, 0x680) & 1, 1u);
  EXPECT_EQ (Hw.EndpointRegister (0x69, 0x94), 0x000u);

  //
  // No bridge at all: the write still happens.
  //
  Hw.ClearObservations ();
  Hw.SetEndpointRegister (0x69, 0x680, 0);
  Hw.SetEndpointRegister (0x69, 0x94, 0x100);
  Hw.SetP2sbHidden (true);
  CardReaderPadSetOutput (1);
  EXPECT_EQ (Hw.EndpointRegister (0x69, 0x680), 1u);
  EXPECT_TRUE (Hw.Messages ().empty ());
}

TEST_F (PchTest, SetOutputLeavesEveryGpioRegisterAloneWhereThePadDoesNotExist) {
  Hw.SetLpcDeviceId (Pch::kSeries2DeviceId);
  Hw.SetEndpointRegister (0x6B, 0x84, 0x100);  // row 16 of the 18-row table is another group

  CardReaderPadSetOutput (1);
  CardReaderPadSetOutput (3);

  EXPECT_TRUE (In (Pch::Space::Pcr).empty ());
  EXPECT_TRUE (Hw.Messages ().empty ());
}

}  // namespace
