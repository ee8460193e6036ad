// Listing and ordering of the update directory.
#include "DiskFixture.h"

using namespace Harness;

namespace {

std::u16string
Wide (
  const std::string  &Latin1
  )
{
  std::u16string  Result;

  for (unsigned char C : Latin1) {
    Result.push_back (C);
  }

  return Result;
}

}  // namespace

class DirectoryTest : public DiskTest {
protected:
  /// Lists \EFI\UpdateCapsule on the boot partition and frees the listing.
  std::vector<std::string>
  List ()
  {
    EFI_SIMPLE_FILE_SYSTEM_PROTOCOL  *Fs = (EFI_SIMPLE_FILE_SYSTEM_PROTOCOL *)Platform.Protocol (EspHandle, gEfiSimpleFileSystemProtocolGuid);
    EFI_FILE_PROTOCOL                *Root;
    EFI_FILE_PROTOCOL                *Directory;
    std::vector<std::string>         Names;

    Esp.AddDirectory ("EFI/UpdateCapsule");
    EXPECT_EQ (Fs->OpenVolume (Fs, &Root), EFI_SUCCESS);
    EXPECT_EQ (Root->Open (Root, &Directory, (CHAR16 *)u"\\EFI\\UpdateCapsule", EFI_FILE_MODE_READ, 0), EFI_SUCCESS);
    EFI_FILE_INFO  **Entries = ReadUpdateDirectory (Directory);
    EXPECT_NE (Entries, nullptr);
    for (size_t Index = 0; Entries != nullptr && Entries[Index] != nullptr; Index++) {
      Names.push_back (Host::Narrow (Entries[Index]->FileName));
      FreePool (Entries[Index]);
    }

    FreePool (Entries);
    Directory->Close (Directory);
    Root->Close (Root);
    return Names;
  }
};

TEST_F (DirectoryTest, ParentFirstThenDirectoriesThenFilesByBaseAndExtension)
{
  struct Case {
    const char                           *What;
    std::vector<std::pair<std::string, UINT64>>  Entries;
    std::vector<std::string>             Expected;
  };
  const Case  Cases[] = {
    { "empty directory", {}, { ".." } },
    { "hidden and system dropped, read-only kept",
      { { "H.CAP", EFI_FILE_HIDDEN }, { "S.CAP", EFI_FILE_SYSTEM }, { "R.CAP", EFI_FILE_READ_ONLY } }, { "..", "R.CAP" } },
    { "directories before files", { { "A.CAP", 0 }, { "SUB", EFI_FILE_DIRECTORY } }, { "..", "SUB", "A.CAP" } },
    { "no extension before the same base with one", { { "b.cap", 0 }, { "A.CAP", 0 }, { "a", 0 } }, { "..", "a", "A.CAP", "b.cap" } },
    { "shorter base padded with spaces", { { "ABC.CAP", 0 }, { "AB.CAP", 0 } }, { "..", "AB.CAP", "ABC.CAP" } },
    { "underscore above the letters", { { "A_1.CAP", 0 }, { "AB.CAP", 0 } }, { "..", "AB.CAP", "A_1.CAP" } },
    { "a leading full stop is no separator", { { "b", 0 }, { ".cap", 0 } }, { "..", ".cap", "b" } },
    { "an empty extension sorts after none", { { "abc.", 0 }, { "abc", 0 } }, { "..", "abc", "abc." } },
  };

  for (const Case &C : Cases) {
    SCOPED_TRACE (C.What);
    Reboot ();
    Esp.Root.Children.clear ();
    for (auto &Entry : C.Entries) {
      if (Entry.second & EFI_FILE_DIRECTORY) {
        Esp.AddDirectory ("EFI/UpdateCapsule/" + Entry.first);
      } else {
        Esp.AddFile ("EFI/UpdateCapsule/" + Entry.first, { 1 }, Entry.second);
      }
    }

    std::vector<std::string>  Expected;
    for (auto &Name : C.Expected) {
      Expected.push_back (Host::Narrow (Wide (Name)));
    }

    EXPECT_EQ (List (), Expected);
  }
}

TEST_F (DirectoryTest, NamesCompareWithoutCaseInLatin1)
{
  struct Case {
    std::string    Left;
    std::string    Right;
    int            Sign;
  };
  const Case  Cases[] = {
    { "caf\xE9", "CAF\xC9", 0 },
    { "X\xFF", "X\xDD", 1 },
    { "a\xF7", "A\xD7", 1 },       // 0xF7 stays, 0xD7 is below it
    { "", "", 0 },
    { "AB", "ABC", -1 },           // space below C
    { "z", "Z", 0 },
  };

  for (const Case &C : Cases) {
    SCOPED_TRACE (C.Left + " vs " + C.Right);
    std::u16string  L = Wide (C.Left);
    std::u16string  R = Wide (C.Right);
    INTN            Result = CompareNamesNoCase ((const CHAR16 *)L.c_str (), (const CHAR16 *)R.c_str ());
    EXPECT_EQ ((Result > 0) - (Result < 0), C.Sign);
  }

  EXPECT_EQ (CharToUpperLatin1 (0x00FE), 0x00DE);
  EXPECT_EQ (CharToUpperLatin1 (0x00F7), 0x00F7);
  EXPECT_EQ (CharToUpperLatin1 (0x00FF), 0x00FF);
  EXPECT_EQ (CharToUpperLatin1 (0x0101), 0x0101);
  EXPECT_EQ (CharToUpperLatin1 ('{'), '{');
}

TEST_F (DirectoryTest, ManyEntriesGrowTheArrayAndNothingIsLost)
{
  for (int Index = 0; Index < 160; Index++) {
    char  Name[16];
    std::snprintf (Name, sizeof (Name), "F%03d.CAP", 159 - Index);
    Esp.AddFile (std::string ("EFI/UpdateCapsule/") + Name, { 1 });
  }

  Platform.Calls.clear ();
  auto  Names = List ();
  ASSERT_EQ (Names.size (), 161u);
  EXPECT_EQ (Names[1], "F000.CAP");
  EXPECT_EQ (Names[160], "F159.CAP");
  // Room for 100 pointers, then 150, then 200.
  EXPECT_EQ (Platform.CallsStartingWith ("AllocatePool 800").size (), 1u);
  EXPECT_EQ (Platform.CallsStartingWith ("AllocatePool 1200").size (), 1u);
  EXPECT_EQ (Platform.CallsStartingWith ("AllocatePool 1600").size (), 1u);
}

TEST_F (DirectoryTest, PoolExhaustionOrAReadErrorEndsTheListingWithWhatWasGathered)
{
  for (int Index = 0; Index < 120; Index++) {
    Esp.AddFile ("EFI/UpdateCapsule/F" + std::to_string (1000 + Index), { 1 });
  }

  // The array cannot grow past 100 pointers: 99 entries and the terminator.
  Platform.FailAllocationIf = [](size_t Size) { return Size == 1200; };
  auto  Names = List ();
  EXPECT_EQ (Names.size (), 99u);
  EXPECT_EQ (Names[0], "..");
  Platform.FailAllocationIf = nullptr;

  // A read error after five entries: those five, sorted.
  Esp.DirectoryReadFault      = EFI_DEVICE_ERROR;
  Esp.DirectoryReadFaultAfter = 5;
  Names                       = List ();
  EXPECT_EQ (Names, (std::vector<std::string>{ "..", "F1000", "F1001", "F1002" }));
}
