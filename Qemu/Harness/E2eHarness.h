/** @file
  Private header of the end-to-end harness, the UEFI application that OVMF
  boots from the test disk as \EFI\BOOT\BOOTX64.EFI. It carries out the steps
  the host wrote to \E2E\STEP.TXT for this boot: prepares variables, boot
  options, capsule HOBs and platform protocols, loads CapsuleUpdateDxe.efi
  and calls ProcessPendingCapsules, and prints what it sees to the debug
  console for the host to parse.
**/
#ifndef E2E_HARNESS_H_
#define E2E_HARNESS_H_

#include "CapsuleUpdateDxe.h"

extern "C" {
#include <Guid/FileInfo.h>
#include <Guid/HobList.h>
#include <Protocol/LoadedImage.h>
#include <Protocol/ResetNotification.h>
#include <Protocol/SimpleFileSystem.h>
}

#include "DebugPort.h"
#include "E2eDefinitions.h"

#define HARNESS_MAX_HOB_CAPSULES  8

///
/// What the harness knows about the disk it was booted from.
///
typedef struct {
  EFI_HANDLE                  Device;       ///< partition handle (file system)
  EFI_DEVICE_PATH_PROTOCOL    *DevicePath;  ///< the partition's device path
  EFI_FILE_PROTOCOL           *Root;        ///< its volume root, open for the whole boot
} HARNESS_DISK;

extern HARNESS_DISK  mDisk;

//
// Files on the test disk (Files.cpp).
//
EFI_STATUS
OpenHarnessDisk (
  IN EFI_HANDLE  ImageHandle
  );

/**
  Reads a whole file of the test disk into a pool buffer the caller frees.
**/
EFI_STATUS
ReadDiskFile (
  IN  CONST CHAR16  *Path,
  OUT VOID          **Data,
  OUT UINTN         *Size
  );

VOID
ListDirectory (
  IN CONST CHAR16  *Path
  );

VOID
ProbeFileBehaviour (
  IN CONST CHAR16  *Directory
  );

/**
  The device path of a file on the test disk: the partition's path, a file
  path node, the end node. Pool memory the caller frees.
**/
EFI_DEVICE_PATH_PROTOCOL *
DiskFileDevicePath (
  IN CONST CHAR16  *Path
  );

UINTN
DevicePathSize (
  IN CONST EFI_DEVICE_PATH_PROTOCOL  *Path
  );

//
// Boot options (BootOption.cpp).
//
VOID
PrintPartition (
  VOID
  );

EFI_STATUS
WriteBootOption (
  IN BOOLEAN  ShortForm,
  IN UINT16   OptionNumber
  );

VOID
ProbeLocateDevicePath (
  VOID
  );

//
// Variables (Variables.cpp).
//
BOOLEAN
ParseGuid (
  IN  CONST CHAR8  *Text,
  OUT EFI_GUID     *Guid
  );

EFI_STATUS
SetVariableFromText (
  IN CONST CHAR8  *Name,
  IN CONST CHAR8  *Guid,
  IN CONST CHAR8  *Attributes,
  IN CONST CHAR8  *HexData
  );

EFI_STATUS
DeleteVariableByText (
  IN CONST CHAR8  *Name,
  IN CONST CHAR8  *Guid
  );

VOID
DumpVariables (
  VOID
  );

VOID
ProbeVariableSizes (
  VOID
  );

//
// Capsule HOBs (HobCapsules.cpp).
//
EFI_STATUS
AddHobCapsule (
  IN CONST CHAR16  *Path
  );

EFI_STATUS
InstallHobListCopy (
  VOID
  );

VOID
RestoreHobList (
  VOID
  );

//
// Platform protocols the harness provides (PlatformProtocols.cpp).
//
EFI_STATUS
InstallUpdateDisplay (
  VOID
  );

EFI_STATUS
InstallCapsuleHandler (
  VOID
  );

EFI_STATUS
WatchResets (
  VOID
  );

//
// Small string helpers (E2eHarness.cpp).
//
VOID
AsciiToUnicode (
  IN  CONST CHAR8  *Ascii,
  OUT CHAR16       *Unicode,
  IN  UINTN        Capacity
  );

BOOLEAN
AsciiEqual (
  IN CONST CHAR8  *Left,
  IN CONST CHAR8  *Right
  );

UINT64
AsciiHexToUint64 (
  IN CONST CHAR8  *Text
  );

CONST CHAR8 *
StatusText (
  IN EFI_STATUS  Status
  );

#endif
