/** @file
  Entry point of the end-to-end harness and the interpreter of the step
  file. Each line of \E2E\STEP.TXT is one command; the harness prints every
  command and its outcome, then shuts the machine down when the file ends
  (unless the driver reset the platform first).

  Commands:
    partition                       print the boot partition's device path
    boot-option hd|full <hex>       write Boot#### for the test disk and
                                    point BootNext at it
    set-var <name> <guid> <attr> <hex data>
    delete-var <name> <guid>
    display                         install an update display protocol
    capsule-handler                 install a handler for the test capsule kind
    hob-capsule <path>              hand a capsule file over as a capsule HOB
    load-driver <path>              load and start a driver from the disk
    run <path>                      load the capsule update driver, call
                                    ProcessPendingCapsules
    dump-vars                       print the variables the host checks
    list-dir <path>                 print a directory as Read returns it
    probe-files <dir>               print how the file system treats a
                                    read-only file
    probe-variables                 print GetVariable's size answers
    probe-device-path               print LocateDevicePath's answers
**/
#include "E2eHarness.h"

#define STEP_FILE  WSTR ("\\E2E\\STEP.TXT")
#define MAX_WORDS  6

namespace {

EFI_GUID  mTriggerGuid = CAPSULE_UPDATE_TRIGGER_PROTOCOL_GUID;

/**
  Loads and starts a driver from a file of the test disk.
**/
EFI_STATUS
LoadDriver (
  IN  CONST CHAR16  *Path,
  OUT EFI_HANDLE    *ImageHandle
  )
{
  EFI_DEVICE_PATH_PROTOCOL  *FilePath;
  EFI_STATUS                Status;

  *ImageHandle = NULL;
  FilePath     = DiskFileDevicePath (Path);
  if (FilePath == NULL) {
    return EFI_OUT_OF_RESOURCES;
  }

  Status = gBS->LoadImage (FALSE, gImageHandle, FilePath, NULL, 0, ImageHandle);
  FreePool (FilePath);
  DebugPortPrint ("[harness] LoadImage %s: %a\n", Path, StatusText (Status));
  if (EFI_ERROR (Status)) {
    return Status;
  }

  Status = gBS->StartImage (*ImageHandle, NULL, NULL);
  DebugPortPrint ("[harness] StartImage %s: %a\n", Path, StatusText (Status));
  return Status;
}

/**
  Loads the capsule update driver and runs one update pass through its
  trigger protocol, with the capsule HOBs of this step in place.
**/
VOID
RunDriver (
  IN CONST CHAR16  *Path
  )
{
  EFI_HANDLE                       DriverImage;
  CAPSULE_UPDATE_TRIGGER_PROTOCOL  *Trigger;
  EFI_STATUS                       Status;

  if (EFI_ERROR (LoadDriver (Path, &DriverImage))) {
    return;
  }

  Status = gBS->LocateProtocol (&mTriggerGuid, NULL, (VOID **)&Trigger);
  DebugPortPrint ("[harness] trigger protocol: %a\n", StatusText (Status));
  if (EFI_ERROR (Status)) {
    return;
  }

  //
  // The trigger protocol sits on a handle of its own, not on the image.
  //
  VOID  *OnImage = NULL;
  DebugPortPrint (
    "[harness] trigger protocol on the driver's image handle: %a\n",
    EFI_ERROR (gBS->HandleProtocol (DriverImage, &mTriggerGuid, &OnImage)) ? "no" : "yes"
    );

  if (EFI_ERROR (InstallHobListCopy ())) {
    return;
  }

  DebugPortPrint ("[harness] calling ProcessPendingCapsules\n");
  Status = Trigger->ProcessPendingCapsules ();
  DebugPortPrint ("[harness] ProcessPendingCapsules returned %a\n", StatusText (Status));
  RestoreHobList ();
}

/**
  Splits Line in place into words separated by spaces or tabs.
**/
UINTN
SplitWords (
  IN  CHAR8  *Line,
  OUT CHAR8  **Words
  )
{
  UINTN  Count = 0;

  while (*Line != '\0' && Count < MAX_WORDS) {
    while (*Line == ' ' || *Line == '\t') {
      *Line++ = '\0';
    }

    if (*Line == '\0') {
      break;
    }

    Words[Count++] = Line;
    while (*Line != '\0' && *Line != ' ' && *Line != '\t') {
      Line++;
    }
  }

  return Count;
}

VOID
RunCommand (
  IN CHAR8  **Words,
  IN UINTN  Count
  )
{
  CHAR16      Path[128];
  EFI_STATUS  Status;
  EFI_HANDLE  Image;

  if ((Count >= 2) && (Words[1] != NULL)) {
    AsciiToUnicode (Words[1], Path, ARRAY_SIZE (Path));
  } else {
    Path[0] = 0;
  }

  if (AsciiEqual (Words[0], "partition")) {
    PrintPartition ();
  } else if (AsciiEqual (Words[0], "boot-option") && (Count == 3)) {
    Status = WriteBootOption (AsciiEqual (Words[1], "hd"), (UINT16)AsciiHexToUint64 (Words[2]));
    DebugPortPrint ("[harness] boot option: %a\n", StatusText (Status));
  } else if (AsciiEqual (Words[0], "set-var") && (Count == 5)) {
    Status = SetVariableFromText (Words[1], Words[2], Words[3], Words[4]);
    DebugPortPrint ("[harness] set %a: %a\n", Words[1], StatusText (Status));
  } else if (AsciiEqual (Words[0], "delete-var") && (Count == 3)) {
    Status = DeleteVariableByText (Words[1], Words[2]);
    DebugPortPrint ("[harness] delete %a: %a\n", Words[1], StatusText (Status));
  } else if (AsciiEqual (Words[0], "display")) {
    DebugPortPrint ("[harness] display protocol: %a\n", StatusText (InstallUpdateDisplay ()));
  } else if (AsciiEqual (Words[0], "capsule-handler")) {
    DebugPortPrint ("[harness] capsule handler: %a\n", StatusText (InstallCapsuleHandler ()));
  } else if (AsciiEqual (Words[0], "hob-capsule") && (Count == 2)) {
    DebugPortPrint ("[harness] capsule HOB for %s: %a\n", Path, StatusText (AddHobCapsule (Path)));
  } else if (AsciiEqual (Words[0], "load-driver") && (Count == 2)) {
    LoadDriver (Path, &Image);
  } else if (AsciiEqual (Words[0], "run") && (Count == 2)) {
    RunDriver (Path);
  } else if (AsciiEqual (Words[0], "dump-vars")) {
    DumpVariables ();
  } else if (AsciiEqual (Words[0], "list-dir") && (Count == 2)) {
    ListDirectory (Path);
  } else if (AsciiEqual (Words[0], "probe-files") && (Count == 2)) {
    ProbeFileBehaviour (Path);
  } else if (AsciiEqual (Words[0], "probe-variables")) {
    ProbeVariableSizes ();
  } else if (AsciiEqual (Words[0], "probe-device-path")) {
    ProbeLocateDevicePath ();
  } else {
    DebugPortPrint ("[harness] unknown command '%a'\n", Words[0]);
  }
}

}  // namespace

VOID
AsciiToUnicode (
  IN  CONST CHAR8  *Ascii,
  OUT CHAR16       *Unicode,
  IN  UINTN        Capacity
  )
{
  UINTN  Index;

  for (Index = 0; Index + 1 < Capacity && Ascii[Index] != '\0'; Index++) {
    Unicode[Index] = (CHAR16)(UINT8)Ascii[Index];
  }

  Unicode[Index] = 0;
}

BOOLEAN
AsciiEqual (
  IN CONST CHAR8  *Left,
  IN CONST CHAR8  *Right
  )
{
  while (*Left != '\0' && *Left == *Right) {
    Left++;
    Right++;
  }

  return (BOOLEAN)(*Left == *Right);
}

UINT64
AsciiHexToUint64 (
  IN CONST CHAR8  *Text
  )
{
  UINT64  Value = 0;

  if ((Text[0] == '0') && ((Text[1] == 'x') || (Text[1] == 'X'))) {
    Text += 2;
  }

  for ( ; *Text != '\0'; Text++) {
    CHAR8  C = *Text;
    UINT8  Digit;
    if ((C >= '0') && (C <= '9')) {
      Digit = (UINT8)(C - '0');
    } else if ((C >= 'a') && (C <= 'f')) {
      Digit = (UINT8)(C - 'a' + 10);
    } else if ((C >= 'A') && (C <= 'F')) {
      Digit = (UINT8)(C - 'A' + 10);
    } else {
      break;
    }

    Value = (Value << 4) | Digit;
  }

  return Value;
}

CONST CHAR8 *
StatusText (
  IN EFI_STATUS  Status
  )
{
  switch (Status) {
    case EFI_SUCCESS:                return "EFI_SUCCESS";
    case EFI_LOAD_ERROR:             return "EFI_LOAD_ERROR";
    case EFI_INVALID_PARAMETER:      return "EFI_INVALID_PARAMETER";
    case EFI_UNSUPPORTED:            return "EFI_UNSUPPORTED";
    case EFI_BUFFER_TOO_SMALL:       return "EFI_BUFFER_TOO_SMALL";
    case EFI_DEVICE_ERROR:           return "EFI_DEVICE_ERROR";
    case EFI_WRITE_PROTECTED:        return "EFI_WRITE_PROTECTED";
    case EFI_OUT_OF_RESOURCES:       return "EFI_OUT_OF_RESOURCES";
    case EFI_NOT_FOUND:              return "EFI_NOT_FOUND";
    case EFI_ACCESS_DENIED:          return "EFI_ACCESS_DENIED";
    case EFI_ALREADY_STARTED:        return "EFI_ALREADY_STARTED";
    case EFI_SECURITY_VIOLATION:     return "EFI_SECURITY_VIOLATION";
    case EFI_WARN_DELETE_FAILURE:    return "EFI_WARN_DELETE_FAILURE";
    default:                         return "other status";
  }
}

/**
  The harness's entry point: carries out the step file, then shuts down.

  @param[in] ImageHandle  The harness's image handle.
  @param[in] SystemTable  The UEFI system table.

  @return Does not return when the machine shuts down or resets.
**/
extern "C"
EFI_STATUS
EFIAPI
E2eHarnessMain (
  IN EFI_HANDLE        ImageHandle,
  IN EFI_SYSTEM_TABLE  *SystemTable
  )
{
  CHAR8       *Step;
  UINTN       Size;
  EFI_STATUS  Status;

  DebugPortPrint ("[harness] start, firmware %s revision %x\n", SystemTable->FirmwareVendor, SystemTable->FirmwareRevision);

  //
  // Nothing should reset the machine behind the scenario's back.
  //
  gBS->SetWatchdogTimer (0, 0, 0, NULL);
  DebugPortPrint ("[harness] reset notification: %a\n", StatusText (WatchResets ()));

  Status = OpenHarnessDisk (ImageHandle);
  if (!EFI_ERROR (Status)) {
    Status = ReadDiskFile (STEP_FILE, (VOID **)&Step, &Size);
  }

  if (EFI_ERROR (Status)) {
    DebugPortPrint ("[harness] no step file: %a\n", StatusText (Status));
  } else {
    //
    // One command per line; the buffer gets a NUL of its own.
    //
    CHAR8  *Text = (CHAR8 *)AllocateZeroPool (Size + 1);
    if (Text != NULL) {
      CopyMem (Text, Step, Size);
      for (CHAR8 *Line = Text; *Line != '\0'; ) {
        CHAR8  *Next = Line;
        while (*Next != '\0' && *Next != '\n') {
          Next++;
        }

        BOOLEAN  Last = (BOOLEAN)(*Next == '\0');
        *Next = '\0';
        if ((Next > Line) && (Next[-1] == '\r')) {
          Next[-1] = '\0';
        }

        CHAR8  *Words[MAX_WORDS];
        UINTN  Count = SplitWords (Line, Words);
        if ((Count > 0) && (Words[0][0] != '#')) {
          DebugPortPrint ("[step] %a", Words[0]);
          for (UINTN Index = 1; Index < Count; Index++) {
            DebugPortPrint (" %a", Words[Index]);
          }

          DebugPortPrint ("\n");
          RunCommand (Words, Count);
        }

        if (Last) {
          break;
        }

        Line = Next + 1;
      }

      FreePool (Text);
    }

    FreePool (Step);
  }

  DebugPortPrint ("[harness] steps done, shutting down\n");
  gRT->ResetSystem (EfiResetShutdown, EFI_SUCCESS, 0, NULL);
  return EFI_SUCCESS;
}
