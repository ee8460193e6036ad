/** @file
  Capsule result records: one Capsule#### variable per FMP payload item,
  "CapsuleLast" naming the record written last, and "CapsuleMax" naming the
  highest record the platform uses.
**/
#include "CapsuleUpdateDxe.h"

///
/// Record indices run from 0 to this value inclusive, then wrap to 0.
///
#define CAPSULE_RESULT_MAX_INDEX  0x64

///
/// "Capsule" and four hexadecimal digits, then the NUL of the name buffer.
///
#define CAPSULE_NAME_CHARS  11

#define CAPSULE_RECORD_ATTRIBUTES \
  (EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS)

/**
  The index of the next record: one after the record "CapsuleLast" names,
  0 after the last index, or 0 when "CapsuleLast" cannot be read.
**/
STATIC
UINTN
NextRecordIndex (
  VOID
  )
{
  CHAR16  LastName[CAPSULE_NAME_CHARS + 1];
  UINTN   Size;
  UINT64  Last;

  //
  // Characters the variable does not deliver read as NUL.
  //
  ZeroMem (LastName, sizeof (LastName));
  Size = CAPSULE_NAME_CHARS * sizeof (CHAR16);
  if (EFI_ERROR (gRT->GetVariable (WSTR ("CapsuleLast"), &gEfiCapsuleReportGuid, NULL, &Size, LastName))) {
    return 0;
  }

  LastName[CAPSULE_NAME_CHARS] = 0;
  Last                         = 0;
  StrHexToUint64S (&LastName[7], NULL, &Last);
  return (Last + 1 > CAPSULE_RESULT_MAX_INDEX) ? 0 : (UINTN)(Last + 1);
}

/**
  The text of the device path of the first FMP instance the payload item
  aims at, in pool memory, or NULL.
**/
STATIC
CHAR16 *
CapsuleTargetText (
  IN EFI_FIRMWARE_MANAGEMENT_CAPSULE_IMAGE_HEADER  *ImageHeader
  )
{
  EFI_GUID                          TypeId;
  UINTN                             Cursor;
  EFI_HANDLE                        Handle;
  EFI_DEVICE_PATH_PROTOCOL          *DevicePath;
  EFI_DEVICE_PATH_TO_TEXT_PROTOCOL  *ToText;

  CopyGuid (&TypeId, &ImageHeader->UpdateImageTypeId);
  Cursor = 0;
  Handle = FindNextMatchingFmp (&Cursor, &TypeId, PayloadHardwareInstance (ImageHeader));
  if ((Handle == NULL) ||
      EFI_ERROR (gBS->HandleProtocol (Handle, &gEfiDevicePathProtocolGuid, (VOID **)&DevicePath)) ||
      EFI_ERROR (gBS->LocateProtocol (&gEfiDevicePathToTextProtocolGuid, NULL, (VOID **)&ToText)))
  {
    return NULL;
  }

  return ToText->ConvertDevicePathToText (DevicePath, FALSE, FALSE);
}

/**
  Writes the result record of one FMP payload item as the next Capsule####
  variable and points "CapsuleLast" at it. Nothing is reported: a record
  that cannot be built is not written and "CapsuleLast" stays as it was.

  @param[in] CapsuleHeader    The FMP capsule being applied.
  @param[in] ImageHeader      The payload item's image header.
  @param[in] PayloadIndex     The item's position among the payload items.
  @param[in] Status           The item's outcome.
  @param[in] CapsuleFileName  The capsule file's name, or NULL.
**/
VOID
RecordCapsuleResult (
  IN EFI_CAPSULE_HEADER                            *CapsuleHeader,
  IN EFI_FIRMWARE_MANAGEMENT_CAPSULE_IMAGE_HEADER  *ImageHeader,
  IN UINT16                                        PayloadIndex,
  IN EFI_STATUS                                    Status,
  IN CHAR16                                        *CapsuleFileName
  )
{
  EFI_CAPSULE_RESULT_VARIABLE_HEADER  Header;
  EFI_CAPSULE_RESULT_VARIABLE_FMP     Fmp;
  CHAR16                              Name[CAPSULE_NAME_CHARS + 1];
  UINTN                               Index;
  UINTN                               FileNameSize;
  UINTN                               TargetSize;
  UINT8                               *Cursor;
  STATIC CHAR16                       Empty = 0;

  Index = NextRecordIndex ();

  ZeroMem (&Header, sizeof (Header));
  CopyGuid (&Header.CapsuleGuid, (CONST EFI_GUID *)(CONST VOID *)CapsuleHeader);
  Header.CapsuleStatus = Status;
  if (EFI_ERROR (gRT->GetTime (&Header.CapsuleProcessed, NULL))) {
    ZeroMem (&Header.CapsuleProcessed, sizeof (Header.CapsuleProcessed));
  }

  if ((CapsuleFileName == NULL) || (CapsuleFileName[0] == 0)) {
    CapsuleFileName = &Empty;
  }

  FileNameSize = (StrLen (CapsuleFileName) + 1) * sizeof (CHAR16);

  POOL_BUFFER<CHAR16>  Target (CapsuleTargetText (ImageHeader));
  TargetSize = ((Target.Get () == NULL) ? 0 : StrLen (Target.Get ()) + 1) * sizeof (CHAR16);
  if (TargetSize == 0) {
    TargetSize = sizeof (CHAR16);
  }

  ZeroMem (&Fmp, sizeof (Fmp));
  Fmp.Version          = EFI_CAPSULE_RESULT_VARIABLE_FMP_VERSION;
  Fmp.PayloadIndex     = (UINT8)PayloadIndex;
  Fmp.UpdateImageIndex = ImageHeader->UpdateImageIndex;
  CopyGuid (&Fmp.UpdateImageTypeId, &ImageHeader->UpdateImageTypeId);

  Header.VariableTotalSize = (UINT32)(sizeof (Header) + sizeof (Fmp) + FileNameSize + TargetSize);
  POOL_BUFFER<UINT8>  Record ((UINT8 *)AllocatePool (Header.VariableTotalSize));
  if (Record.Get () == NULL) {
    return;
  }

  Cursor = Record.Get ();
  CopyMem (Cursor, &Header, sizeof (Header));
  Cursor += sizeof (Header);
  CopyMem (Cursor, &Fmp, sizeof (Fmp));
  Cursor += sizeof (Fmp);
  CopyMem (Cursor, CapsuleFileName, FileNameSize);
  Cursor += FileNameSize;
  CopyMem (Cursor, (Target.Get () == NULL) ? &Empty : Target.Get (), TargetSize);
  Target.Reset ();

  UnicodeSPrintAsciiFormat (Name, sizeof (Name), "Capsule%4X", Index);
  gRT->SetVariable (Name, &gEfiCapsuleReportGuid, CAPSULE_RECORD_ATTRIBUTES, Header.VariableTotalSize, Record.Get ());
  gRT->SetVariable (
         WSTR ("CapsuleLast"),
         &gEfiCapsuleReportGuid,
         CAPSULE_RECORD_ATTRIBUTES,
         CAPSULE_NAME_CHARS * sizeof (CHAR16),
         Name
         );
}

/**
  Publishes "CapsuleMax" (volatile) naming the highest record index.
**/
VOID
PublishCapsuleMax (
  VOID
  )
{
  CHAR16  Name[CAPSULE_NAME_CHARS + 1];

  UnicodeSPrintAsciiFormat (Name, sizeof (Name), "Capsule%4X", CAPSULE_RESULT_MAX_INDEX);
  gRT->SetVariable (
         WSTR ("CapsuleMax"),
         &gEfiCapsuleReportGuid,
         EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS,
         CAPSULE_NAME_CHARS * sizeof (CHAR16),
         Name
         );
}
