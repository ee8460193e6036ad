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
#include <Library/BaseLib.h>
#include <Library/BaseMemoryLib.h>
#include <Library/HobLib.h>
#include <Library/MemoryAllocationLib.h>
#include <Library/PrintLib.h>
#include <Library/SortLib.h>
#include <Library/UefiLib.h>
#include <Library/UefiBootServicesTableLib.h>
#include <Library/UefiRuntimeServicesTableLib.h>
#include <Guid/FileInfo.h>
#include <Protocol/BlockIo.h>
#include <Protocol/DevicePath.h>
#include <Protocol/DevicePathToText.h>
#include <Protocol/SimpleFileSystem.h>
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
// The platform's update display. The driver calls two members, at fixed
// positions of the x64 interface, without passing the interface pointer.
//
#define UPDATE_DISPLAY_PROTOCOL_GUID \
  { 0x8a91b1e1, 0x56c7, 0x4adc, { 0xab, 0xeb, 0x1c, 0x2c, 0xa1, 0x72, 0x9e, 0xff } }

typedef EFI_STATUS (EFIAPI *UPDATE_DISPLAY_SHOW_MESSAGE)(
  IN CHAR16   *Title,
  IN CHAR16   *Text,
  IN UINT8    Style,
  OUT UINT64  *Answer
  );

typedef EFI_STATUS (EFIAPI *UPDATE_DISPLAY_SHOW_PROGRESS)(
  IN UINT8      Action,
  IN CHAR16     *Title,
  IN VOID       *Context,
  IN UINTN      Reserved,
  IN UINTN      Completion,
  IN OUT UINT64 *StateB,
  IN OUT UINT64 *StateA
  );

typedef struct {
  VOID                            *NotCalled0[4];
  UPDATE_DISPLAY_SHOW_MESSAGE     ShowMessage;
  VOID                            *NotCalled1[10];
  UPDATE_DISPLAY_SHOW_PROGRESS    ShowProgress;
} UPDATE_DISPLAY_PROTOCOL;

#if defined (MDE_CPU_X64)
STATIC_ASSERT (OFFSET_OF (UPDATE_DISPLAY_PROTOCOL, ShowMessage) == 0x20, "ShowMessage is the fifth member");
STATIC_ASSERT (OFFSET_OF (UPDATE_DISPLAY_PROTOCOL, ShowProgress) == 0x78, "ShowProgress is the sixteenth member");
#endif

#define ProgressActionBegin   1
#define ProgressActionUpdate  2
#define ProgressActionEnd     3

extern EFI_GUID  gUpdateDisplayProtocolGuid;

///
/// How a firmware write shows its progress: through the display protocol,
/// or not at all.
///
typedef struct {
  EFI_STATUS (EFIAPI *Start)(IN CHAR16 *Title, IN VOID *Context);
  EFI_STATUS (EFIAPI *End)(VOID);
  EFI_STATUS (EFIAPI *Message)(IN CHAR16 *Title, IN CHAR16 *Text);
  EFI_FIRMWARE_MANAGEMENT_UPDATE_IMAGE_PROGRESS    Update;
} UPDATE_PROGRESS_OPS;

extern CONST UPDATE_PROGRESS_OPS  DisplayProgressOps;
extern CONST UPDATE_PROGRESS_OPS  SilentProgressOps;

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

extern UPDATE_DISPLAY_PROTOCOL  *mUpdateDisplay;
extern CHAR16                   *mProgressTitle;
extern VOID                     *mProgressContext;
extern UINT64                   mProgressStateA;
extern UINT64                   mProgressStateB;

///
/// Owner of a pool buffer: frees it when it goes out of scope, unless it was
/// handed on with Release().
///
template<typename T>
class POOL_BUFFER {
public:
  explicit POOL_BUFFER (
    T  *Buffer = NULL
    ) : mBuffer (Buffer)
  {
  }

  ~POOL_BUFFER (
    )
  {
    Reset ();
  }

  POOL_BUFFER (const POOL_BUFFER &)            = delete;
  POOL_BUFFER &operator= (const POOL_BUFFER &) = delete;

  T *
  Get (
    ) const
  {
    return mBuffer;
  }

  /// Hands the buffer on; the owner forgets it.
  T *
  Release (
    )
  {
    T  *Buffer = mBuffer;

    mBuffer = NULL;
    return Buffer;
  }

  /// Frees the buffer held (if any) and takes Buffer.
  VOID
  Reset (
    T  *Buffer = NULL
    )
  {
    if (mBuffer != NULL) {
      FreePool ((VOID *)mBuffer);
    }

    mBuffer = Buffer;
  }

private:
  T  *mBuffer;
};

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

/**
  Tells whether Guid names one of the wrapper capsule kinds.
**/
BOOLEAN
IsWrapperCapsule (
  IN CONST EFI_GUID  *Guid
  );

/**
  Tells whether Guid names one of the capsule kinds whose files are deferred
  to the platform's flash update component.
**/
BOOLEAN
IsDeferredCapsule (
  IN CONST EFI_GUID  *Guid
  );

/**
  Opens the capsule at the start of Bytes and removes one wrapper level: a
  capsule of a wrapper kind is replaced by the capsule that starts HeaderSize
  bytes into it, which must lie wholly inside the wrapper.

  @param[in]  Bytes    Memory that holds the capsule.
  @param[out] Header   The header of the capsule to route.
  @param[out] Capsule  The bytes of the capsule to route.

  @retval TRUE   Header and Capsule describe the capsule to route.
  @retval FALSE  The capsule or its inner capsule is malformed.
**/
BOOLEAN
UnwrapCapsule (
  IN  BYTE_VIEW           Bytes,
  OUT EFI_CAPSULE_HEADER  *Header,
  OUT BYTE_VIEW           *Capsule
  );

//
// The layout of an FMP capsule and the checks it must pass before anything
// of it runs (CapsuleLayout.cpp).
//

/// The 40 bytes of a payload item's image header that are read; the image
/// starts right after them whatever the header's Version.
#define FMP_IMAGE_HEADER_SIZE  40

typedef enum {
  FmpCapsuleValid,
  FmpCapsuleHeaderSizeInvalid,     ///< HeaderSize below a capsule header or past the capsule's end
  FmpCapsuleHeaderTruncated,       ///< no room for the 8-byte FMP capsule header
  FmpCapsuleNoItems,               ///< neither drivers nor payloads
  FmpCapsuleOffsetListTruncated,   ///< the item offset list reaches past the capsule's end
  FmpCapsuleLastOffsetNotBelowEnd, ///< the last item offset is not below the FMP part's size
  FmpCapsuleOffsetsNotAscending,   ///< two item offsets are equal or descend
  FmpCapsuleItemsPastEnd,          ///< items read from after the list would pass the capsule's end
  FmpCapsulePayloadTooShort,       ///< a payload item is shorter than its 40-byte image header
} FMP_CAPSULE_CHECK;

typedef struct {
  BYTE_VIEW    Fmp;                  ///< from the FMP capsule header to the capsule's end
  UINT16       EmbeddedDriverCount;
  UINT16       PayloadItemCount;
} FMP_CAPSULE_LAYOUT;

/**
  Checks an FMP capsule before any of it is used: the item offsets must pass
  their tests and every item must lie inside the capsule, every payload item
  must hold its image header.

  @param[in]  Capsule     The whole capsule, CapsuleImageSize bytes.
  @param[out] Layout      Where its parts lie, when it is valid.
  @param[out] FailedItem  Optional: the item a per-item check failed on.

  @return FmpCapsuleValid, or the first check that failed.
**/
FMP_CAPSULE_CHECK
CheckFmpCapsule (
  IN  BYTE_VIEW           Capsule,
  OUT FMP_CAPSULE_LAYOUT  *Layout,
  OUT UINT32              *FailedItem OPTIONAL
  );

/**
  Item Index of a valid FMP capsule. Items are read one after another from
  right after the offset list; each has the size its offsets give.
**/
BYTE_VIEW
FmpCapsuleItem (
  IN CONST FMP_CAPSULE_LAYOUT  *Layout,
  IN UINT32                    Index
  );

/**
  Reads a payload item's image header (the fields up to and including
  UpdateHardwareInstance; the rest is zero) and tells whether the image and
  the vendor code fit in the item.

  @retval TRUE   40 + UpdateImageSize + UpdateVendorCodeSize fits in Item.
  @retval FALSE  They reach past the item.
**/
BOOLEAN
ReadPayloadHeader (
  IN  BYTE_VIEW                                     Item,
  OUT EFI_FIRMWARE_MANAGEMENT_CAPSULE_IMAGE_HEADER  *Header
  );

/**
  The hardware instance a payload item is matched on: its
  UpdateHardwareInstance from image header version 2 on, else 0 (any).
**/
UINT64
PayloadHardwareInstance (
  IN CONST EFI_FIRMWARE_MANAGEMENT_CAPSULE_IMAGE_HEADER  *Header
  );

//
// FMP capsule application (FmpCapsule.cpp).
//
VOID
ApplyFmpCapsule (
  IN EFI_CAPSULE_HEADER  *Capsule,
  IN CHAR16              *CapsuleFileName
  );

EFI_HANDLE
FindNextMatchingFmp (
  IN OUT UINTN     *Cursor,
  IN EFI_GUID      *ImageTypeId,
  IN UINT64        HardwareInstance
  );

VOID
UninstallAddedFmpInstances (
  VOID
  );

//
// Capsule result records (CapsuleResult.cpp).
//
VOID
RecordCapsuleResult (
  IN EFI_CAPSULE_HEADER                            *CapsuleHeader,
  IN EFI_FIRMWARE_MANAGEMENT_CAPSULE_IMAGE_HEADER  *ImageHeader,
  IN UINT16                                        PayloadIndex,
  IN EFI_STATUS                                    Status,
  IN CHAR16                                        *CapsuleFileName
  );

VOID
PublishCapsuleMax (
  VOID
  );

///
/// Owner of an open file or directory: closes it when it goes out of scope.
/// Delete closes the handle as it deletes the file.
///
class FILE_HANDLE {
public:
  FILE_HANDLE (
    ) : mFile (NULL)
  {
  }

  ~FILE_HANDLE (
    )
  {
    Close ();
  }

  FILE_HANDLE (const FILE_HANDLE &)            = delete;
  FILE_HANDLE &operator= (const FILE_HANDLE &) = delete;

  EFI_FILE_PROTOCOL *
  Get (
    ) const
  {
    return mFile;
  }

  /// Where an Open or OpenVolume stores the new handle.
  EFI_FILE_PROTOCOL **
  Out (
    )
  {
    Close ();
    return &mFile;
  }

  /// Hands the handle on; the owner forgets it.
  EFI_FILE_PROTOCOL *
  Release (
    )
  {
    EFI_FILE_PROTOCOL  *File = mFile;

    mFile = NULL;
    return File;
  }

  VOID
  Close (
    )
  {
    if (mFile != NULL) {
      mFile->Close (mFile);
      mFile = NULL;
    }
  }

  /// Deletes the file; the handle is closed whatever the outcome.
  EFI_STATUS
  Delete (
    )
  {
    EFI_FILE_PROTOCOL  *File = Release ();

    return File->Delete (File);
  }

private:
  EFI_FILE_PROTOCOL  *mFile;
};

//
// Boot device resolution (BootDevice.cpp).
//

/**
  TRUE when Path holds a well-formed device path: nodes of at least 4 bytes
  inside Path, ended by an end-of-path node.
**/
BOOLEAN
DevicePathFits (
  IN BYTE_VIEW  Path
  );

EFI_HANDLE
FindHardDriveFileSystem (
  IN EFI_DEVICE_PATH_PROTOCOL  *HardDriveNode
  );

EFI_HANDLE
LocateBootDevice (
  VOID
  );

//
// Update backup file (UpdateBackup.cpp).
//
EFI_STATUS
SaveUpdateBackup (
  IN CONST VOID  *Capsule,
  IN UINTN       Size
  );

EFI_STATUS
LoadUpdateBackup (
  OUT VOID   **Capsule,
  OUT UINTN  *Size
  );

EFI_STATUS
DeleteUpdateBackup (
  VOID
  );

//
// Update directory listing (UpdateDirectory.cpp).
//

///
/// A growable array of fixed-size elements in one pool buffer.
///
typedef struct {
  UINT8     *Buffer;
  UINT32    Capacity;      ///< bytes reserved
  UINT32    Used;          ///< bytes in use
  UINT32    ElementSize;
  UINT32    GrowBy;        ///< elements added when full
} ENTRY_ARRAY;

ENTRY_ARRAY *
CreateEntryArray (
  VOID
  );

EFI_STATUS
AppendEntry (
  IN OUT ENTRY_ARRAY  *Array,
  IN CONST VOID       *Element
  );

EFI_FILE_INFO **
ReadUpdateDirectory (
  IN EFI_FILE_PROTOCOL  *Directory
  );

INTN
EFIAPI
CompareDirectoryEntries (
  IN CONST VOID  *Left,
  IN CONST VOID  *Right
  );

INTN
CompareFileNames (
  IN CONST CHAR16  *Name1,
  IN CONST CHAR16  *Name2
  );

INTN
CompareNamesNoCase (
  IN CONST CHAR16  *String1,
  IN CONST CHAR16  *String2
  );

CHAR16
CharToUpperLatin1 (
  IN CHAR16  Char
  );

//
// Deferred capsule files (DeferredCapsule.cpp).
//

#define FLASH_UPDATE_IMAGE_NAME_GUID \
  { 0xa4ea2f68, 0x5778, 0x40aa, { 0xb1, 0xd7, 0x60, 0x0e, 0x6e, 0x16, 0xb3, 0xcc } }

///
/// Where a deferred capsule file lies, for the platform's flash update
/// component: the boot partition's hard-drive node and the file's path on it.
///
#pragma pack(1)
typedef struct {
  UINT8     HardDriveNode[42];
  CHAR16    FilePath[256];
  UINT8     Padding[2];
  UINT32    FileSize;
} FLASH_UPDATE_IMAGE_RECORD;
#pragma pack()

STATIC_ASSERT (sizeof (FLASH_UPDATE_IMAGE_RECORD) == 560, "FlashUpdateImageName is 560 bytes");
STATIC_ASSERT (OFFSET_OF (FLASH_UPDATE_IMAGE_RECORD, FilePath) == 42, "FilePath at 42");
STATIC_ASSERT (OFFSET_OF (FLASH_UPDATE_IMAGE_RECORD, FileSize) == 556, "FileSize at 556");

extern EFI_GUID  gFlashUpdateImageNameGuid;
extern CHAR16    *mDeferredCapsuleName;
extern UINTN     mDeferredCapsuleSize;

EFI_STATUS
DeferCapsuleFile (
  IN CONST VOID    *Capsule,
  IN UINTN         Size,
  IN CONST CHAR16  *FileName
  );

EFI_STATUS
BuildDeferredCapsulePath (
  OUT CHAR16  *Buffer
  );

VOID
RequestDeferredFlashUpdate (
  VOID
  );

//
// Capsule file intake (CapsuleOnDisk.cpp).
//

///
/// The capsule file whose capsule is being dispatched, open for reading and
/// writing; it is deleted once its dispatch ends, also right before the
/// reset that ends an applied FMP capsule.
///
extern EFI_FILE_PROTOCOL  *mCapsuleFileInProcess;

VOID
DeleteCapsuleFileInProcess (
  VOID
  );

VOID
ProcessCapsuleFile (
  IN EFI_FILE_PROTOCOL  *Directory,
  IN EFI_FILE_INFO      *Entry
  );

VOID
ProcessCapsulesOnDisk (
  VOID
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
