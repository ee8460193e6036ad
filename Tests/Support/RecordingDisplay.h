/** @file
  A platform update display that records every call the driver makes to it.
  Its members are called without the interface pointer, so the recorder is
  reached through the one active instance.
**/
#ifndef RECORDING_DISPLAY_H_
#define RECORDING_DISPLAY_H_

#include "CapsuleUpdateDxe.h"
#include "HostPlatform.h"

#include <string>
#include <vector>

namespace Harness {

struct DisplayCall {
  std::string    Member;        // "ShowProgress" or "ShowMessage"
  UINT8          Action;        // ShowProgress: the action; ShowMessage: the style value
  std::string    Title;
  std::string    Text;          // ShowMessage
  const CHAR16   *TitlePointer;
  VOID           *Context;
  UINTN          Reserved;
  UINTN          Completion;
  UINT64         *StateB;
  UINT64         *StateA;
  UINT64         *Answer;
};

class RecordingDisplay {
public:
  UPDATE_DISPLAY_PROTOCOL     Protocol;
  std::vector<DisplayCall>    Calls;
  EFI_STATUS                  ShowProgressStatus = EFI_SUCCESS;

  RecordingDisplay ();
  ~RecordingDisplay ();
  void Install (Host::Platform &Target);
};

}  // namespace Harness

#endif
