// The update backup file: chunked save, load and delete.
#include "DiskFixture.h"

using namespace Harness;

class BackupTest : public DiskTest {
protected:
  void
  SetUp () override
  {
    DiskTest::SetUp ();
    mBackupBootDevice = EspHandle;
  }

  static Bytes
  Pattern (
    size_t  Size
    )
  {
    Bytes  B (Size);

    for (size_t Index = 0; Index < Size; Index++) {
      B[Index] = (UINT8)(Index * 7 + 3);
    }

    return B;
  }

  Bytes
  Load (
    EFI_STATUS  *Status
    )
  {
    VOID   *Buffer = (VOID *)1;
    UINTN  Size    = 99;

    *Status = LoadUpdateBackup (&Buffer, &Size);
    if (EFI_ERROR (*Status)) {
      EXPECT_EQ (Buffer, nullptr) << "no buffer on error";
      return {};
    }

    Bytes  Result ((UINT8 *)Buffer, (UINT8 *)Buffer + (Buffer == nullptr ? 0 : Size));
    EXPECT_EQ (Result.size (), Size);
    if (Buffer != nullptr) {
      FreePool (Buffer);
    }

    return Result;
  }
};

TEST_F (BackupTest, SavesInPiecesOfAtMost4096BytesAndLoadsTheSameBytes)
{
  struct Case {
    size_t                Size;
    std::vector<UINTN>    Writes;
  };
  const Case  Cases[] = {
    { 10000, { 4096, 4096, 1808 } },
    { 4096, { 4096 } },
    { 1, { 1 } },
  };

  for (const Case &C : Cases) {
    SCOPED_TRACE (C.Size);
    Bytes  Capsule = Pattern (C.Size);
    Esp.WriteSizes.clear ();
    EXPECT_EQ (SaveUpdateBackup (Capsule.data (), Capsule.size ()), EFI_SUCCESS);
    EXPECT_EQ (Esp.WriteSizes, C.Writes);

    EFI_STATUS  Status;
    EXPECT_EQ (Load (&Status), Capsule);
    EXPECT_EQ (Status, EFI_SUCCESS);
  }
}

TEST_F (BackupTest, AnOlderLongerBackupIsReplacedWhole)
{
  Esp.AddFile ("CapUptBkTemp", Pattern (9000));
  Bytes  Capsule (100, 0x42);
  EXPECT_EQ (SaveUpdateBackup (Capsule.data (), Capsule.size ()), EFI_SUCCESS);
  EXPECT_EQ (Esp.Find ("CapUptBkTemp")->Data, Capsule);
}

TEST_F (BackupTest, AShortWriteContinuesRightAfterWhatWasWritten)
{
  Bytes  Capsule = Pattern (5000);
  int    Calls   = 0;

  Esp.WriteFault = [&](const std::u16string &, UINTN &Size) {
    if (Calls++ == 0) {
      Size = 1000;
    }

    return EFI_SUCCESS;
  };
  EXPECT_EQ (SaveUpdateBackup (Capsule.data (), Capsule.size ()), EFI_SUCCESS);
  EXPECT_EQ (Esp.WriteSizes, (std::vector<UINTN>{ 4096, 4000 }));
  EXPECT_EQ (Esp.Find ("CapUptBkTemp")->Data, Capsule);
}

TEST_F (BackupTest, AWriteThatStallsOrFailsEndsTheSaveWithAnError)
{
  Bytes  Capsule = Pattern (9000);

  // Success with nothing written would never advance.
  Esp.WriteFault = [](const std::u16string &, UINTN &Size) { Size = 0; return EFI_SUCCESS; };
  EXPECT_TRUE (EFI_ERROR (SaveUpdateBackup (Capsule.data (), Capsule.size ())));
  EXPECT_EQ (Esp.WriteSizes.size (), 1u);

  // A failing second write: the file keeps the first piece.
  int  Calls = 0;
  Esp.WriteFault = [&](const std::u16string &, UINTN &) { return Calls++ == 1 ? EFI_VOLUME_FULL : EFI_SUCCESS; };
  EXPECT_EQ (SaveUpdateBackup (Capsule.data (), Capsule.size ()), EFI_VOLUME_FULL);
  EXPECT_EQ (Esp.Find ("CapUptBkTemp")->Data.size (), 4096u);
}

TEST_F (BackupTest, LoadAndDeleteWithoutAFileAndLoadOfAnEmptyFile)
{
  EFI_STATUS  Status;

  EXPECT_TRUE (Load (&Status).empty ());
  EXPECT_EQ (Status, EFI_NOT_FOUND);
  EXPECT_EQ (DeleteUpdateBackup (), EFI_SUCCESS);

  EXPECT_EQ (SaveUpdateBackup (nullptr, 0), EFI_SUCCESS);
  EXPECT_EQ (Esp.WriteSizes, (std::vector<UINTN>{ 0 }));
  VOID   *Buffer = (VOID *)1;
  UINTN  Size    = 5;
  EXPECT_EQ (LoadUpdateBackup (&Buffer, &Size), EFI_SUCCESS);
  EXPECT_EQ (Buffer, nullptr);
  EXPECT_EQ (Size, 0u);

  EXPECT_EQ (DeleteUpdateBackup (), EFI_SUCCESS);
  EXPECT_FALSE (Esp.Exists ("CapUptBkTemp"));
}

TEST_F (BackupTest, WriteProtectedMediaAndNoPool)
{
  Bytes  Capsule = Pattern (10);

  Esp.WriteProtected = true;
  EXPECT_EQ (SaveUpdateBackup (Capsule.data (), Capsule.size ()), EFI_WRITE_PROTECTED);
  Esp.WriteProtected = false;

  EXPECT_EQ (SaveUpdateBackup (Capsule.data (), Capsule.size ()), EFI_SUCCESS);
  Platform.FailAllocationsFrom (1);
  EFI_STATUS  Status;
  EXPECT_TRUE (Load (&Status).empty ());
  EXPECT_EQ (Status, EFI_OUT_OF_RESOURCES);
}
