/** @file
  Platform protocols the harness provides for a scenario: an update display
  that prints every call it gets, a capsule handler for the test capsule
  kind that prints every capsule it gets, and a reset notification that
  prints the type and status of the reset that ends the boot and the
  variables as they are at that moment.
**/
#include "E2eHarness.h"

namespace {

EFI_GUID  mDisplayGuid      = UPDATE_DISPLAY_PROTOCOL_GUID;
EFI_GUID  mHandlerGuid      = E2E_HANDLER_CAPSULE_GUID;
EFI_GUID  mResetNotifyGuid  = EFI_RESET_NOTIFICATION_PROTOCOL_GUID;

UPDATE_DISPLAY_PROTOCOL   mDisplay;
CAPSULE_HANDLER_PROTOCOL  mHandler;
UINTN                     mHandledCount;

CONST CHAR8 *
ResetTypeName (
  EFI_RESET_TYPE  Type
  )
{
  switch (Type) {
    case EfiResetCold:             return "cold";
    case EfiResetWarm:             return "warm";
    case EfiResetShutdown:         return "shutdown";
    case EfiResetPlatformSpecific: return "platform-specific";
    default:                       return "unknown";
  }
}

EFI_STATUS
EFIAPI
DisplayShowMessage (
  IN CHAR16   *Title,
  IN CHAR16   *Text,
  IN UINT8    Style,
  OUT UINT64  *Answer
  )
{
  DebugPortPrint ("[display] message \"%s\": \"%s\" (style %u)\n", Title, Text, (UINT32)Style);
  if (Answer != NULL) {
    *Answer = 0;
  }

  return EFI_SUCCESS;
}

EFI_STATUS
EFIAPI
DisplayShowProgress (
  IN UINT8      Action,
  IN CHAR16     *Title,
  IN VOID       *Context,
  IN UINTN      Reserved,
  IN UINTN      Completion,
  IN OUT UINT64 *StateB,
  IN OUT UINT64 *StateA
  )
{
  CONST CHAR8  *Name = (Action == ProgressActionBegin) ? "begin" :
                       (Action == ProgressActionUpdate) ? "update" :
                       (Action == ProgressActionEnd) ? "end" : "unknown";

  DebugPortPrint (
    "[display] progress %a \"%s\" context %p completion %u cells %p %p\n",
    Name,
    Title,
    Context,
    (UINT32)Completion,
    StateB,
    StateA
    );
  return EFI_SUCCESS;
}

EFI_STATUS
EFIAPI
HandleTestCapsule (
  IN CAPSULE_HANDLER_PROTOCOL  *This,
  IN EFI_CAPSULE_HEADER        *Capsule,
  IN UINTN                     CapsuleSize
  )
{
  CHAR8  Tag[33];
  UINTN  Length = 0;

  //
  // The host puts an ASCII tag at the start of each test capsule's body.
  //
  if (Capsule->HeaderSize <= CapsuleSize) {
    CONST CHAR8  *Body = (CONST CHAR8 *)Capsule + Capsule->HeaderSize;
    while (Length < sizeof (Tag) - 1 && Capsule->HeaderSize + Length < CapsuleSize &&
           Body[Length] >= ' ' && Body[Length] <= '~')
    {
      Tag[Length] = Body[Length];
      Length++;
    }
  }

  Tag[Length] = '\0';
  mHandledCount++;
  DebugPortPrint (
    "[handler] capsule %u: %g, %u bytes, tag \"%a\", interface %a\n",
    (UINT32)mHandledCount,
    &Capsule->CapsuleGuid,
    (UINT32)CapsuleSize,
    Tag,
    (This == &mHandler) ? "ours" : "foreign"
    );
  return EFI_SUCCESS;
}

VOID
EFIAPI
OnReset (
  IN EFI_RESET_TYPE  ResetType,
  IN EFI_STATUS      ResetStatus,
  IN UINTN           DataSize,
  IN VOID            *ResetData
  )
{
  DebugPortPrint ("[reset] %a, status %lx\n", ResetTypeName (ResetType), (UINT64)ResetStatus);

  //
  // What the variable store holds at the moment of the reset, volatile
  // variables included: the last look at this boot.
  //
  DumpVariables ();
}

}  // namespace

EFI_STATUS
InstallUpdateDisplay (
  VOID
  )
{
  EFI_HANDLE  Handle = NULL;

  ZeroMem (&mDisplay, sizeof (mDisplay));
  mDisplay.ShowMessage  = DisplayShowMessage;
  mDisplay.ShowProgress = DisplayShowProgress;
  return gBS->InstallProtocolInterface (&Handle, &mDisplayGuid, EFI_NATIVE_INTERFACE, &mDisplay);
}

EFI_STATUS
InstallCapsuleHandler (
  VOID
  )
{
  EFI_HANDLE  Handle = NULL;

  mHandler.HandleCapsule = HandleTestCapsule;
  return gBS->InstallProtocolInterface (&Handle, &mHandlerGuid, EFI_NATIVE_INTERFACE, &mHandler);
}

EFI_STATUS
WatchResets (
  VOID
  )
{
  EFI_RESET_NOTIFICATION_PROTOCOL  *Notification;
  EFI_STATUS                       Status;

  Status = gBS->LocateProtocol (&mResetNotifyGuid, NULL, (VOID **)&Notification);
  if (!EFI_ERROR (Status)) {
    Status = Notification->RegisterResetNotify (Notification, OnReset);
  }

  return Status;
}
