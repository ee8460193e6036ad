// The progress display adapter as a firmware write drives it.
#include "CapsuleBuilder.h"
#include "DriverFixture.h"
#include "FmpInstance.h"
#include "RecordingDisplay.h"

using namespace Harness;
using Host::FmpInstance;

namespace {

const EFI_GUID  TypeA = { 0xaaaa0001, 0x1111, 0x2222, { 3, 3, 3, 3, 3, 3, 3, 3 } };

}  // namespace

class ProgressTest : public DriverTest {
protected:
  FmpInstance           Fmp { TypeA };
  Host::HobListBuilder  Hobs;
  Bytes                 Capsule = MakeFmpCapsule ({}, { { TypeA, 1, 2, 0, { 1, 2, 3 } } });

  void
  Apply ()
  {
    Fmp.Install (Platform);
    Hobs.AddCapsule (Capsule.data (), Capsule.size ()).Install (Platform);
    EXPECT_EQ (RunPass (), PassEnd::ColdReset);
  }
};

TEST_F (ProgressTest, OneDisplaySpansTheWriteWithTheSameTitleContextAndCells)
{
  RecordingDisplay  Display;

  Display.Install (Platform);
  Display.ShowProgressStatus = EFI_DEVICE_ERROR;   // never passed on to the FMP instance
  Fmp.ProgressToReport       = { 0, 40, 100 };
  Apply ();

  ASSERT_EQ (Display.Calls.size (), 5u);
  const UINT8  Actions[]     = { 1, 2, 2, 2, 3 };
  const UINTN  Completions[] = { 0, 0, 40, 100, 0 };
  for (size_t Index = 0; Index < 5; Index++) {
    const DisplayCall  &Call = Display.Calls[Index];
    SCOPED_TRACE (Index);
    EXPECT_EQ (Call.Member, "ShowProgress");
    EXPECT_EQ (Call.Action, Actions[Index]);
    EXPECT_EQ (Call.Completion, Completions[Index]);
    EXPECT_EQ (Call.Title, "Flash Update Progress");
    EXPECT_EQ (Call.TitlePointer, Display.Calls[0].TitlePointer);
    EXPECT_EQ (Call.Context, nullptr);
    EXPECT_EQ (Call.Reserved, 0u);
    EXPECT_EQ (Call.StateB, &mProgressStateB);
    EXPECT_EQ (Call.StateA, &mProgressStateA);
  }

  ASSERT_EQ (Fmp.Writes.size (), 1u);
  EXPECT_EQ (Fmp.Writes[0].ProgressResults, (std::vector<EFI_STATUS>{ EFI_SUCCESS, EFI_SUCCESS, EFI_SUCCESS }));
  // The driver never touches the cells: only the display's own updates show.
  EXPECT_EQ (mProgressStateA, 5u);
  EXPECT_EQ (mProgressStateB, 10u);
}

TEST_F (ProgressTest, AFailureShowsItsAbortReasonAfterTheDisplayEndsAndOnlyThen)
{
  RecordingDisplay  Display;

  Display.Install (Platform);
  Fmp.SetImageStatus = EFI_SECURITY_VIOLATION;
  Fmp.AbortReason    = "signature rejected";
  Apply ();

  ASSERT_EQ (Display.Calls.size (), 5u);
  EXPECT_EQ (Display.Calls[3].Action, ProgressActionEnd);
  EXPECT_EQ (Display.Calls[4].Member, "ShowMessage");
  EXPECT_EQ (Display.Calls[4].Title, "Firmware Update failed");
  EXPECT_EQ (Display.Calls[4].Text, "signature rejected");
  EXPECT_EQ (Display.Calls[4].Action, 1) << "the 8-bit value is always 1";
  EXPECT_NE (Display.Calls[4].Answer, nullptr);
}

TEST_F (ProgressTest, AFailureWithoutAbortReasonOnlyClosesTheDisplay)
{
  RecordingDisplay  Display;

  Display.Install (Platform);
  Fmp.SetImageStatus = EFI_DEVICE_ERROR;
  Apply ();
  ASSERT_FALSE (Display.Calls.empty ());
  EXPECT_EQ (Display.Calls.back ().Member, "ShowProgress");
  EXPECT_EQ (Display.Calls.back ().Action, ProgressActionEnd);
}

TEST_F (ProgressTest, WithoutADisplayTheSilentUpdateAnswersSuccess)
{
  Fmp.ProgressToReport = { 0, 1, 99, 100, 1000 };
  Apply ();
  ASSERT_EQ (Fmp.Writes.size (), 1u);
  EXPECT_EQ (Fmp.Writes[0].Progress, SilentProgressOps.Update);
  EXPECT_EQ (Fmp.Writes[0].ProgressResults, std::vector<EFI_STATUS> (5, EFI_SUCCESS));
}
