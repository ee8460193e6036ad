/** @file
  Test fixture that loads the capsule update driver on a fresh simulated
  platform, runs update passes and checks what every test must hold: no
  wrong frees, no faults seen by the platform, and a balanced pool unless
  the pass ended in a reset.
**/
#ifndef DRIVER_FIXTURE_H_
#define DRIVER_FIXTURE_H_

#include <gtest/gtest.h>

#include "CapsuleUpdateDxe.h"
#include "HostPlatform.h"

extern "C" EFI_STATUS EFIAPI _ModuleEntryPoint (EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable);

namespace Harness {

enum class PassEnd { Returned, ColdReset, WarmReset };

/// A platform capsule handler that records every capsule it is handed.
struct RecordingHandler {
  CAPSULE_HANDLER_PROTOCOL    Protocol;       // first: the interface pointer is the record
  struct Call {
    CAPSULE_HANDLER_PROTOCOL    *This;
    const EFI_CAPSULE_HEADER    *Capsule;
    UINTN                       Size;
    BOOLEAN                     FromHob;
  };
  std::vector<Call>           Calls;
  RecordingHandler ();
};

class DriverTest : public ::testing::Test {
protected:
  Host::Platform                     Platform;
  EFI_HANDLE                         ImageHandle = nullptr;
  EFI_STATUS                         EntryStatus = EFI_NOT_STARTED;
  CAPSULE_UPDATE_TRIGGER_PROTOCOL    *Trigger    = nullptr;
  /// The HOB list of the DXE phase: every boot has one, without capsules
  /// unless a test installs its own.
  std::unique_ptr<Host::HobListBuilder>  BootHobs;

  void SetUp () override;
  void TearDown () override;
  /// What the platform holds at every boot beyond the driver (disks, ...).
  virtual void InstallPlatform ();
  /// Checks of the platform's own state that every test must pass.
  virtual void CheckPlatform () {}

  /// Loads the driver as the firmware would: zeroed globals, an image
  /// handle, then the image entry point.
  void LoadDriver ();
  /// Runs one update pass and tells how it ended.
  PassEnd RunPass ();
  /// Ends this boot and starts the next one with the driver loaded again.
  void Reboot ();
  /// Installs Handler under Guid on a new handle.
  void InstallHandler (const EFI_GUID &Guid, RecordingHandler &Handler);
};

}  // namespace Harness

#endif
