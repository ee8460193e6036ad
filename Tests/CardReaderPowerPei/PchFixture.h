/** @file
  Fixture of the card reader PEIM's host tests: a fresh PCH model per test
  (the host libraries act on it), and views of what the hardware saw.
**/
#ifndef PCH_FIXTURE_H_
#define PCH_FIXTURE_H_

#include <gtest/gtest.h>

#include "CardReaderPowerPei.h"
#include "PchModel.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

class PchTest : public ::testing::Test {
protected:
  Pch::Model  Hw;

  void
  TearDown (
    ) override
  {
    for (const Pch::Access &A : Hw.Accesses ()) {
      EXPECT_NE (A.Where, Pch::Space::Other) << "access outside the modelled hardware at 0x" << std::hex << A.Address;
    }
  }

  /// Accesses in one space.
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

  /// Writes, in order, in one space.
  std::vector<Pch::Access>
  WritesIn (
    Pch::Space  Where
    ) const
  {
    std::vector<Pch::Access>  Out;

    for (const Pch::Access &A : In (Where)) {
      if (A.Write) {
        Out.push_back (A);
      }
    }

    return Out;
  }

  /// Reads of one address, repeats included.
  UINT64
  ReadsOf (
    UINT64  Address
    ) const
  {
    UINT64  Count = 0;

    for (const Pch::Access &A : Hw.Accesses ()) {
      Count += (!A.Write && A.Address == Address) ? A.Repeat : 0;
    }

    return Count;
  }

  /// The order of sideband message starts ("msg") and PCR writes ("pcr:<address>").
  std::vector<std::string>
  MessageAndPcrWriteOrder (
    ) const
  {
    std::vector<std::string>  Out;
    char                      Text[32];

    for (const Pch::Access &A : Hw.Accesses ()) {
      if (!A.Write) {
        continue;
      }

      if ((A.Where == Pch::Space::Config) && (A.Address == Pch::ConfigAddress (Pch::kP2sbFunction, 0xD8)) &&
          ((A.Value & 1) != 0))
      {
        Out.push_back ("msg");
      } else if (A.Where == Pch::Space::Pcr) {
        std::snprintf (Text, sizeof (Text), "pcr:%llX", (unsigned long long)A.Address);
        Out.push_back (Text);
      }
    }

    return Out;
  }
};

#endif
