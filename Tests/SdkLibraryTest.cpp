// The library classes the driver links: hexadecimal parsing, formatting
// into CHAR16 buffers, and sorting.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>

#include "CapsuleUpdateDxe.h"
#include "HostPlatform.h"

namespace {

std::u16string
Format (
  size_t      BufferBytes,
  const char  *FormatString,
  UINT64      A,
  UINT64      B,
  UINTN       *Written
  )
{
  // Exactly BufferBytes of heap, so a write past them is caught.
  std::unique_ptr<CHAR16[]>  Buffer (new CHAR16[BufferBytes / 2]);

  *Written = UnicodeSPrintAsciiFormat (Buffer.get (), BufferBytes, FormatString, A, B);
  return std::u16string ((const char16_t *)Buffer.get ());
}

}  // namespace

TEST (SdkLibraryTest, StrHexToUint64SkipsBlanksZerosAndPrefixAndStopsAtTheFirstNonDigit)
{
  struct Case {
    const char16_t    *Input;
    RETURN_STATUS     Status;
    UINT64            Value;
    size_t            End;    // characters consumed
  };
  const Case  Cases[] = {
    { u"0064", RETURN_SUCCESS, 0x64, 4 },
    { u"  \t0x1fZ", RETURN_SUCCESS, 0x1F, 7 },
    { u"0X00AB", RETURN_SUCCESS, 0xAB, 6 },
    { u"12G4", RETURN_SUCCESS, 0x12, 2 },
    { u"x12", RETURN_SUCCESS, 0, 0 },
    { u" x12", RETURN_SUCCESS, 0, 0 },
    { u"", RETURN_SUCCESS, 0, 0 },
    { u"FFFFFFFFFFFFFFFF", RETURN_SUCCESS, MAX_UINT64, 16 },
    { u"10000000000000000", RETURN_UNSUPPORTED, MAX_UINT64, 16 },
  };

  for (const Case &C : Cases) {
    SCOPED_TRACE (Host::Narrow (C.Input));
    UINT64  Value = 12345;
    CHAR16  *End  = nullptr;
    EXPECT_EQ (StrHexToUint64S ((const CHAR16 *)C.Input, &End, &Value), C.Status);
    EXPECT_EQ (Value, C.Value);
    EXPECT_EQ (End, (const CHAR16 *)C.Input + C.End);
  }

  UINT64  Value;
  EXPECT_EQ (StrHexToUint64S (nullptr, nullptr, &Value), RETURN_INVALID_PARAMETER);
  EXPECT_EQ (StrHexToUint64S ((const CHAR16 *)u"1", nullptr, nullptr), RETURN_INVALID_PARAMETER);
}

TEST (SdkLibraryTest, UnicodeSPrintAsciiFormatConversionsAndBounds)
{
  struct Case {
    const char        *Format;
    UINT64            A;
    UINT64            B;
    size_t            Bytes;
    const char16_t    *Expected;
  };
  const char16_t  Wide[] = u"wide";
  const Case      Cases[] = {
    { "Capsule%4X", 0x64, 0, 24, u"Capsule0064" },
    { "Boot%4X", 0xA, 0, 18, u"Boot000A" },
    { "%4X", 0x12345, 0, 24, u"12345" },
    { "%x/%X", 255, 255, 24, u"ff/FF" },
    { "[%5x][%-5x]", 0xab, 0xcd, 64, u"[   ab][cd   ]" },
    { "%08x", 0x1234, 0, 24, u"00001234" },
    { "%d %d", (UINT64)(INT64)-42, 7, 24, u"-42 7" },
    { "%05d", (UINT64)(INT64)-42, 0, 24, u"-0042" },
    { "%u", 0xFFFFFFFFull, 0, 24, u"4294967295" },
    { "%lX", 0x123456789ABCDEF0ull, 0, 64, u"123456789ABCDEF0" },
    { "%X", 0x123456789ull, 0, 24, u"23456789" },            // an int unless 'l'
    { "%a-%s", (UINT64)(UINTN)"narrow", (UINT64)(UINTN)Wide, 64, u"narrow-wide" },
    { "100%%", 0, 0, 24, u"100%" },
    { "Capsule%4X", 0x64, 0, 8, u"Cap" },                     // cut to fit, NUL kept
    { "abc", 0, 0, 2, u"" },
  };

  for (const Case &C : Cases) {
    SCOPED_TRACE (C.Format);
    UINTN  Written;
    EXPECT_EQ (Format (C.Bytes, C.Format, C.A, C.B, &Written), C.Expected);
    EXPECT_EQ (Written, std::u16string (C.Expected).size ());
  }
}

TEST (SdkLibraryTest, PerformQuickSortSortsLikeTheStandardLibrary)
{
  std::mt19937  Random (7);

  for (size_t Count : { 0u, 1u, 2u, 3u, 17u, 500u }) {
    std::vector<UINT32>  Values (Count);
    for (auto &V : Values) {
      V = Random () % 50;   // plenty of equal keys
    }

    std::vector<UINT32>  Expected = Values;
    std::sort (Expected.begin (), Expected.end ());
    PerformQuickSort (
      Values.data (),
      Values.size (),
      sizeof (UINT32),
      [](CONST VOID *A, CONST VOID *B) EFIAPI -> INTN {
        return (INTN)*(const UINT32 *)A - (INTN)*(const UINT32 *)B;
      }
      );
    EXPECT_EQ (Values, Expected) << Count;
  }
}
