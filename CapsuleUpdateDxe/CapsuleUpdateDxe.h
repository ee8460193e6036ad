/** @file
  Private header of the capsule update driver: the trigger protocol, the
  module globals every file shares, the bounded byte view used for anything
  read from outside the driver, and the operations the files call in each
  other.

  The includes are wrapped in extern "C": the EDK II headers carry no C++
  guards of their own.
**/
#ifndef CAPSULE_UPDATE_DXE_H_
#define CAPSULE_UPDATE_DXE_H_

extern "C" {
#include <PiDxe.h>
#include <Guid/CapsuleReport.h>
#include <Guid/FmpCapsule.h>
#include <Guid/GlobalVariable.h>
#include <Library/BaseMemoryLib.h>
#include <Library/HobLib.h>
#include <Library/MemoryAllocationLib.h>
#include <Library/UefiBootServicesTableLib.h>
#include <Library/UefiRuntimeServicesTableLib.h>
#include <Protocol/DevicePath.h>
#include <Protocol/FirmwareManagement.h>
}

///
/// A CHAR16 string literal. EDK II's CHAR16 is unsigned short, to which
/// neither L"" nor u"" converts on its own.
///
#define WSTR(Literal)  ((CHAR16 *)u"" Literal)

//
// The trigger protocol: the platform's only way into the driver's work.
//
#define CAPSULE_UPDATE_TRIGGER_PROTOCOL_GUID \
  { 0xefe61723, 0xf2ee, 0x4b99, { 0x8e, 0xe7, 0x57, 0x2e, 0x34, 0xa3, 0xe4, 0x29 } }

typedef EFI_STATUS (EFIAPI *CAPSULE_UPDATE_PROCESS_PENDING_CAPSULES)(
  VOID
  );

typedef struct {
  CAPSULE_UPDATE_PROCESS_PENDING_CAPSULES    ProcessPendingCapsules;
} CAPSULE_UPDATE_TRIGGER_PROTOCOL;

extern EFI_GUID  gCapsuleUpdateTriggerProtocolGuid;

///
/// What the platform installs under the GUID of a capsule kind it handles
/// itself. Only the first member is called.
///
typedef struct _CAPSULE_HANDLER_PROTOCOL CAPSULE_HANDLER_PROTOCOL;

typedef EFI_STATUS (EFIAPI *CAPSULE_HANDLER_HANDLE_CAPSULE)(
  IN CAPSULE_HANDLER_PROTOCOL  *This,
  IN EFI_CAPSULE_HEADER        *Capsule,
  IN UINTN                     CapsuleSize
  );

struct _CAPSULE_HANDLER_PROTOCOL {
  CAPSULE_HANDLER_HANDLE_CAPSULE    HandleCapsule;
};

//
// Module globals, zero at load.
//
extern EFI_HANDLE  mBackupBootDevice;
extern EFI_HANDLE  mCapsuleOnDiskBootDevice;
extern BOOLEAN     mCapsuleFromHob;
extern EFI_HANDLE  *mFmpHandlesAtStart;
extern UINTN       mFmpHandleCountAtStart;
extern EFI_HANDLE  *mFmpHandles;
extern UINTN       mFmpHandleCount;

///
/// A read-only window on bytes that came from outside the driver (capsules,
/// HOBs, variables, device paths, directory entries). Every read names an
/// offset and a length and fails instead of reaching past the window, with
/// 64-bit arithmetic that cannot wrap.
///
struct BYTE_VIEW {
  CONST UINT8    *Data;
  UINT64         Size;

  /// TRUE when Length bytes from Offset lie inside the window.
  BOOLEAN
  Contains (
    UINT64  Offset,
    UINT64  Length
    ) const
  {
    return (BOOLEAN)(Offset <= Size && Length <= Size - Offset);
  }

  /// Narrows the window to Length bytes from Offset.
  BOOLEAN
  Sub (
    UINT64     Offset,
    UINT64     Length,
    BYTE_VIEW  *Out
    ) const
  {
    if (!Contains (Offset, Length)) {
      return FALSE;
    }

    Out->Data = Data + Offset;
    Out->Size = Length;
    return TRUE;
  }

  /// Copies a value of type T from Offset; the bytes may be unaligned.
  template<typename T>
  BOOLEAN
  Read (
    UINT64  Offset,
    T       *Value
    ) const
  {
    if (!Contains (Offset, sizeof (T))) {
      return FALSE;
    }

    CopyMem (Value, Data + Offset, sizeof (T));
    return TRUE;
  }
};

/**
  The bytes of a capsule that lies in memory the driver was handed (a capsule
  HOB, a loaded file): CapsuleImageSize bytes from the header on, which the
  source vouches are readable. The header may be unaligned.

  @param[in] Capsule  The capsule's first byte.

  @return A window of the capsule's CapsuleImageSize bytes.
**/
BYTE_VIEW
CapsuleInMemory (
  IN CONST VOID  *Capsule
  );

/**
  Opens the capsule whose header lies at the start of Bytes: reads the header
  and checks that the capsule it describes (CapsuleImageSize bytes, header
  included) lies inside Bytes.

  @param[in]  Bytes    Memory that holds the capsule.
  @param[out] Header   The capsule header.
  @param[out] Capsule  Bytes narrowed to the CapsuleImageSize bytes.

  @retval TRUE   The capsule is inside Bytes.
  @retval FALSE  Bytes are too short for the header or the capsule.
**/
BOOLEAN
OpenCapsule (
  IN  BYTE_VIEW           Bytes,
  OUT EFI_CAPSULE_HEADER  *Header,
  OUT BYTE_VIEW           *Capsule
  );

//
// Update pass (CapsuleUpdateDxe.cpp).
//
extern "C" EFI_STATUS EFIAPI
CapsuleUpdateEntryPoint (
  IN EFI_HANDLE        ImageHandle,
  IN EFI_SYSTEM_TABLE  *SystemTable
  );

EFI_STATUS EFIAPI
ProcessPendingCapsules (
  VOID
  );

//
// Capsule intake and dispatch (CapsuleDispatch.cpp).
//
VOID
ProcessMemoryCapsules (
  VOID
  );

VOID
ProcessCapsule (
  IN EFI_CAPSULE_HEADER  *Capsule,
  IN CHAR16              *CapsuleFileName
  );

#endif
