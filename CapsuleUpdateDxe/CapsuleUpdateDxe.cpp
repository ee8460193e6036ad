/** @file
  Driver entry point, the trigger protocol and the order of the update pass.
  Loading the driver only installs the protocol; the platform decides when
  the pass runs by calling ProcessPendingCapsules.
**/
#include "CapsuleUpdateDxe.h"

EFI_GUID  gCapsuleUpdateTriggerProtocolGuid = CAPSULE_UPDATE_TRIGGER_PROTOCOL_GUID;

EFI_HANDLE  mBackupBootDevice        = NULL;
EFI_HANDLE  mCapsuleOnDiskBootDevice = NULL;
BOOLEAN     mCapsuleFromHob          = FALSE;
EFI_HANDLE  *mFmpHandlesAtStart      = NULL;
UINTN       mFmpHandleCountAtStart   = 0;
EFI_HANDLE  *mFmpHandles             = NULL;
UINTN       mFmpHandleCount          = 0;

STATIC CAPSULE_UPDATE_TRIGGER_PROTOCOL  mCapsuleUpdateTrigger = {
  ProcessPendingCapsules
};

/**
  Runs one update pass: memory capsules and the backup file, capsule files
  on the boot device, the result bookkeeping, then the deferred capsule file.
  A step that applies a capsule may reset the platform and not return.

  @retval EFI_SUCCESS  Always, when the pass returns.
**/
EFI_STATUS
EFIAPI
ProcessPendingCapsules (
  VOID
  )
{
  //
  // Snapshot of the FMP instances present before any capsule is applied, so
  // that instances added by embedded drivers can be told apart later. A
  // failed lookup leaves an empty snapshot.
  //
  if (EFI_ERROR (
        gBS->LocateHandleBuffer (
               ByProtocol,
               &gEfiFirmwareManagementProtocolGuid,
               NULL,
               &mFmpHandleCountAtStart,
               &mFmpHandlesAtStart
               )
        ))
  {
    mFmpHandlesAtStart     = NULL;
    mFmpHandleCountAtStart = 0;
  }

  ProcessMemoryCapsules ();
  ProcessCapsulesOnDisk ();
  PublishCapsuleMax ();

  if (mFmpHandlesAtStart != NULL) {
    gBS->FreePool (mFmpHandlesAtStart);
    mFmpHandlesAtStart = NULL;
  }

  mFmpHandleCountAtStart = 0;

  RequestDeferredFlashUpdate ();
  return EFI_SUCCESS;
}

/**
  Entry point: installs the trigger protocol on a new handle of its own.

  @param[in] ImageHandle  The driver's image handle.
  @param[in] SystemTable  The UEFI system table.

  @return The status of the protocol installation.
**/
extern "C"
EFI_STATUS
EFIAPI
CapsuleUpdateEntryPoint (
  IN EFI_HANDLE        ImageHandle,
  IN EFI_SYSTEM_TABLE  *SystemTable
  )
{
  EFI_HANDLE  Handle;

  (VOID)ImageHandle;
  (VOID)SystemTable;

  Handle = NULL;
  return gBS->InstallProtocolInterface (
                &Handle,
                &gCapsuleUpdateTriggerProtocolGuid,
                EFI_NATIVE_INTERFACE,
                &mCapsuleUpdateTrigger
                );
}
