#include "DriverFixture.h"

namespace Harness {

namespace {

EFI_GUID  mLoadedImageProtocolGuid = {
  0x5b1b31a1, 0x9562, 0x11d2, { 0x8e, 0x3f, 0x00, 0xa0, 0xc9, 0x69, 0x72, 0x3b }
};
int  mLoadedImageStandIn;

EFI_STATUS EFIAPI
RecordHandleCapsule (
  CAPSULE_HANDLER_PROTOCOL  *This,
  EFI_CAPSULE_HEADER        *Capsule,
  UINTN                     CapsuleSize
  )
{
  auto  *Handler = reinterpret_cast<RecordingHandler *>(This);

  Handler->Calls.push_back ({ This, Capsule, CapsuleSize, mCapsuleFromHob });
  return EFI_SUCCESS;
}

/// The driver's globals as an image load leaves them: all zero.
void
ResetDriverGlobals ()
{
  gImageHandle             = nullptr;
  gST                      = nullptr;
  gBS                      = nullptr;
  gRT                      = nullptr;
  mBackupBootDevice        = nullptr;
  mCapsuleOnDiskBootDevice = nullptr;
  mCapsuleFromHob          = FALSE;
  mFmpHandlesAtStart       = nullptr;
  mFmpHandleCountAtStart   = 0;
  mFmpHandles              = nullptr;
  mFmpHandleCount          = 0;
  mUpdateDisplay           = nullptr;
  mProgressTitle           = nullptr;
  mProgressContext         = nullptr;
  mProgressStateA          = 0;
  mProgressStateB          = 0;
  mDeferredCapsuleName     = nullptr;
  mDeferredCapsuleSize     = 0;
  mCapsuleFileInProcess    = nullptr;
}

}  // namespace

RecordingHandler::RecordingHandler ()
{
  Protocol.HandleCapsule = RecordHandleCapsule;
}

void
DriverTest::SetUp ()
{
  Host::NameGuid (gCapsuleUpdateTriggerProtocolGuid, "Trigger");
  InstallPlatform ();
  LoadDriver ();
}

void
DriverTest::InstallPlatform ()
{
  BootHobs = std::make_unique<Host::HobListBuilder>();
  BootHobs->Install (Platform);
}

void
DriverTest::LoadDriver ()
{
  ResetDriverGlobals ();
  ImageHandle = Platform.InstallProtocol (nullptr, mLoadedImageProtocolGuid, &mLoadedImageStandIn);
  EntryStatus = _ModuleEntryPoint (ImageHandle, Platform.SystemTable ());
  Trigger     = static_cast<CAPSULE_UPDATE_TRIGGER_PROTOCOL *>(
    Platform.HandlesWith (gCapsuleUpdateTriggerProtocolGuid).empty ()
    ? nullptr
    : Platform.Protocol (Platform.HandlesWith (gCapsuleUpdateTriggerProtocolGuid)[0], gCapsuleUpdateTriggerProtocolGuid));
}

PassEnd
DriverTest::RunPass ()
{
  if (Trigger == nullptr) {
    ADD_FAILURE () << "the trigger protocol is not installed";
    return PassEnd::Returned;
  }

  try {
    EFI_STATUS  Status = Trigger->ProcessPendingCapsules ();
    EXPECT_EQ (Status, EFI_SUCCESS) << "a pass that returns returns EFI_SUCCESS";
    return PassEnd::Returned;
  } catch (const Host::ResetRequested &Reset) {
    EXPECT_EQ (Reset.Status, EFI_SUCCESS);
    return Reset.Type == EfiResetCold ? PassEnd::ColdReset : PassEnd::WarmReset;
  }
}

void
DriverTest::Reboot ()
{
  Platform.Reboot ();
  InstallPlatform ();
  LoadDriver ();
}

void
DriverTest::InstallHandler (
  const EFI_GUID    &Guid,
  RecordingHandler  &Handler
  )
{
  Platform.InstallProtocol (nullptr, Guid, &Handler.Protocol);
}

void
DriverTest::TearDown ()
{
  EXPECT_TRUE (Platform.PoolErrors ().empty ()) << Platform.PoolErrors ().front ();
  EXPECT_TRUE (Platform.Faults ().empty ()) << Platform.Faults ().front ();
  if (!Platform.ResetHappened ()) {
    // A deferred file's name is kept until the reset that records it.
    size_t  Kept = (mDeferredCapsuleName != nullptr && Platform.IsPoolBuffer (mDeferredCapsuleName)) ? 1 : 0;
    EXPECT_EQ (Platform.LiveAllocations (), Kept) << "pool buffers left allocated by a pass that returned";
    CheckPlatform ();
  }
}

}  // namespace Harness
