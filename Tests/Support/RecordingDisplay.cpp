#include "RecordingDisplay.h"

#include <cstring>

namespace Harness {

namespace {

RecordingDisplay  *mActive = nullptr;

EFI_STATUS EFIAPI
RecordShowMessage (
  CHAR16  *Title,
  CHAR16  *Text,
  UINT8   Style,
  UINT64  *Answer
  )
{
  DisplayCall  Call {};

  Call.Member       = "ShowMessage";
  Call.Action       = Style;
  Call.Title        = Host::Narrow (Title);
  Call.Text         = Host::Narrow (Text);
  Call.TitlePointer = Title;
  Call.Answer       = Answer;
  *Answer           = 0x5A5A;
  mActive->Calls.push_back (Call);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI
RecordShowProgress (
  UINT8   Action,
  CHAR16  *Title,
  VOID    *Context,
  UINTN   Reserved,
  UINTN   Completion,
  UINT64  *StateB,
  UINT64  *StateA
  )
{
  DisplayCall  Call {};

  Call.Member       = "ShowProgress";
  Call.Action       = Action;
  Call.Title        = Host::Narrow (Title);
  Call.TitlePointer = Title;
  Call.Context      = Context;
  Call.Reserved     = Reserved;
  Call.Completion   = Completion;
  Call.StateB       = StateB;
  Call.StateA       = StateA;
  //
  // The display may keep state in the driver's cells.
  //
  *StateA += 1;
  *StateB += 2;
  mActive->Calls.push_back (Call);
  return mActive->ShowProgressStatus;
}

}  // namespace

RecordingDisplay::RecordingDisplay ()
{
  std::memset (&Protocol, 0, sizeof (Protocol));
  Protocol.ShowMessage  = RecordShowMessage;
  Protocol.ShowProgress = RecordShowProgress;
  mActive               = this;
}

RecordingDisplay::~RecordingDisplay ()
{
  mActive = nullptr;
}

void
RecordingDisplay::Install (
  Host::Platform  &Target
  )
{
  Target.InstallProtocol (nullptr, gUpdateDisplayProtocolGuid, &Protocol);
}

}  // namespace Harness
