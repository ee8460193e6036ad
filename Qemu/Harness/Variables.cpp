/** @file
  Variables for the scenarios: set and delete them from the step file, print
  the ones the host checks, and print how the variable service answers the
  size questions the capsule update driver asks.

  Printed form, one variable per line:
    [var] <vendor GUID> <name> attr <hex> size <decimal> data <hex bytes>
**/
#include "E2eHarness.h"

namespace {

EFI_GUID  mGlobalGuid   = EFI_GLOBAL_VARIABLE;
EFI_GUID  mReportGuid   = EFI_CAPSULE_REPORT_GUID;
EFI_GUID  mE2eGuid      = E2E_VARIABLE_GUID;
EFI_GUID  mFlashGuid    = { 0xa4ea2f68, 0x5778, 0x40aa, { 0xb1, 0xd7, 0x60, 0x0e, 0x6e, 0x16, 0xb3, 0xcc } };

struct GUID_ALIAS {
  CONST CHAR8    *Name;
  EFI_GUID       *Guid;
};

CONST GUID_ALIAS  mAliases[] = {
  { "global", &mGlobalGuid },
  { "report", &mReportGuid },
  { "e2e",    &mE2eGuid    },
  { "flash",  &mFlashGuid  },
};

BOOLEAN
HexDigit (
  CHAR8  C,
  UINT8  *Value
  )
{
  if ((C >= '0') && (C <= '9')) {
    *Value = (UINT8)(C - '0');
  } else if ((C >= 'a') && (C <= 'f')) {
    *Value = (UINT8)(C - 'a' + 10);
  } else if ((C >= 'A') && (C <= 'F')) {
    *Value = (UINT8)(C - 'A' + 10);
  } else {
    return FALSE;
  }

  return TRUE;
}

BOOLEAN
ResolveGuid (
  CONST CHAR8  *Text,
  EFI_GUID     *Guid
  )
{
  for (UINTN Index = 0; Index < ARRAY_SIZE (mAliases); Index++) {
    if (AsciiEqual (Text, mAliases[Index].Name)) {
      *Guid = *mAliases[Index].Guid;
      return TRUE;
    }
  }

  return ParseGuid (Text, Guid);
}

BOOLEAN
NameIs (
  CONST CHAR16  *Name,
  CONST CHAR8   *Ascii
  )
{
  while (*Ascii != '\0' && *Name == (CHAR16)*Ascii) {
    Name++;
    Ascii++;
  }

  return (BOOLEAN)(*Name == 0 && *Ascii == '\0');
}

BOOLEAN
Wanted (
  CONST CHAR16    *Name,
  CONST EFI_GUID  *Guid
  )
{
  if (CompareGuid (Guid, &mReportGuid) || CompareGuid (Guid, &mE2eGuid) || CompareGuid (Guid, &mFlashGuid)) {
    return TRUE;
  }

  return (BOOLEAN)(CompareGuid (Guid, &mGlobalGuid) &&
                   (NameIs (Name, "OsIndications") || NameIs (Name, "OsIndicationsSupported") || NameIs (Name, "BootNext")));
}

VOID
PrintVariable (
  CONST CHAR16    *Name,
  CONST EFI_GUID  *Guid
  )
{
  UINTN       Size = 0;
  UINT32      Attributes;
  EFI_STATUS  Status;

  Status = gRT->GetVariable ((CHAR16 *)Name, (EFI_GUID *)Guid, &Attributes, &Size, NULL);
  if (Status != EFI_BUFFER_TOO_SMALL) {
    DebugPortPrint ("[var] %g %s unreadable: %a\n", Guid, Name, StatusText (Status));
    return;
  }

  UINT8  *Data = (UINT8 *)AllocatePool (Size);
  if (Data == NULL) {
    return;
  }

  Status = gRT->GetVariable ((CHAR16 *)Name, (EFI_GUID *)Guid, &Attributes, &Size, Data);
  if (!EFI_ERROR (Status)) {
    DebugPortPrint ("[var] %g %s attr %x size %u data ", Guid, Name, Attributes, (UINT32)Size);
    DebugPortHex (Data, Size);
    DebugPortPrint ("\n");
  }

  FreePool (Data);
}

}  // namespace

BOOLEAN
ParseGuid (
  IN  CONST CHAR8  *Text,
  OUT EFI_GUID     *Guid
  )
{
  //
  // Canonical text form: 8-4-4-4-12 hexadecimal digits.
  //
  UINT8  Digits[32];
  UINTN  Count = 0;

  for ( ; *Text != '\0'; Text++) {
    UINT8  Value;
    if (*Text == '-') {
      continue;
    }

    if ((Count == 32) || !HexDigit (*Text, &Value)) {
      return FALSE;
    }

    Digits[Count++] = Value;
  }

  if (Count != 32) {
    return FALSE;
  }

  UINT64  Data1 = 0;
  for (UINTN Index = 0; Index < 8; Index++) {
    Data1 = (Data1 << 4) | Digits[Index];
  }

  Guid->Data1 = (UINT32)Data1;
  Guid->Data2 = (UINT16)((Digits[8] << 12) | (Digits[9] << 8) | (Digits[10] << 4) | Digits[11]);
  Guid->Data3 = (UINT16)((Digits[12] << 12) | (Digits[13] << 8) | (Digits[14] << 4) | Digits[15]);
  for (UINTN Index = 0; Index < 8; Index++) {
    Guid->Data4[Index] = (UINT8)((Digits[16 + 2 * Index] << 4) | Digits[17 + 2 * Index]);
  }

  return TRUE;
}

EFI_STATUS
SetVariableFromText (
  IN CONST CHAR8  *Name,
  IN CONST CHAR8  *Guid,
  IN CONST CHAR8  *Attributes,
  IN CONST CHAR8  *HexData
  )
{
  EFI_GUID  Vendor;
  CHAR16    Name16[64];
  UINTN     Length = 0;

  if (!ResolveGuid (Guid, &Vendor)) {
    return EFI_INVALID_PARAMETER;
  }

  while (HexData[Length] != '\0') {
    Length++;
  }

  if ((Length % 2) != 0) {
    return EFI_INVALID_PARAMETER;
  }

  UINT8  *Data = (UINT8 *)AllocatePool (Length / 2 + 1);
  if (Data == NULL) {
    return EFI_OUT_OF_RESOURCES;
  }

  for (UINTN Index = 0; Index < Length / 2; Index++) {
    UINT8  High;
    UINT8  Low;
    if (!HexDigit (HexData[2 * Index], &High) || !HexDigit (HexData[2 * Index + 1], &Low)) {
      FreePool (Data);
      return EFI_INVALID_PARAMETER;
    }

    Data[Index] = (UINT8)((High << 4) | Low);
  }

  AsciiToUnicode (Name, Name16, ARRAY_SIZE (Name16));
  EFI_STATUS  Status = gRT->SetVariable (Name16, &Vendor, (UINT32)AsciiHexToUint64 (Attributes), Length / 2, Data);
  FreePool (Data);
  return Status;
}

EFI_STATUS
DeleteVariableByText (
  IN CONST CHAR8  *Name,
  IN CONST CHAR8  *Guid
  )
{
  EFI_GUID  Vendor;
  CHAR16    Name16[64];

  if (!ResolveGuid (Guid, &Vendor)) {
    return EFI_INVALID_PARAMETER;
  }

  AsciiToUnicode (Name, Name16, ARRAY_SIZE (Name16));
  return gRT->SetVariable (Name16, &Vendor, 0, 0, NULL);
}

VOID
DumpVariables (
  VOID
  )
{
  UINTN     Capacity = 256;
  CHAR16    *Name    = (CHAR16 *)AllocateZeroPool (Capacity);
  EFI_GUID  Guid;

  if (Name == NULL) {
    return;
  }

  ZeroMem (&Guid, sizeof (Guid));
  for ( ; ; ) {
    UINTN       Size   = Capacity;
    EFI_STATUS  Status = gRT->GetNextVariableName (&Size, Name, &Guid);
    if (Status == EFI_BUFFER_TOO_SMALL) {
      CHAR16  *Larger = (CHAR16 *)AllocateZeroPool (Size);
      if (Larger == NULL) {
        break;
      }

      CopyMem (Larger, Name, Capacity);
      FreePool (Name);
      Name     = Larger;
      Capacity = Size;
      continue;
    }

    if (EFI_ERROR (Status)) {
      break;
    }

    if (Wanted (Name, &Guid)) {
      PrintVariable (Name, &Guid);
    }
  }

  FreePool (Name);
  DebugPortPrint ("[var] end\n");
}

VOID
ProbeVariableSizes (
  VOID
  )
{
  UINT8       Value[5] = { 1, 2, 3, 4, 5 };
  UINT8       Buffer[16];
  UINTN       Size;
  EFI_STATUS  Status;
  CHAR16      *Name = WSTR ("ProbeSize");

  gRT->SetVariable (Name, &mE2eGuid, EFI_VARIABLE_BOOTSERVICE_ACCESS, sizeof (Value), Value);

  Size   = 0;
  Status = gRT->GetVariable (Name, &mE2eGuid, NULL, &Size, NULL);
  DebugPortPrint ("[probe] GetVariable of 5 bytes, size 0, no buffer: %a, size %u\n", StatusText (Status), (UINT32)Size);

  Size   = 4;
  Status = gRT->GetVariable (Name, &mE2eGuid, NULL, &Size, Buffer);
  DebugPortPrint ("[probe] GetVariable of 5 bytes, size 4: %a, size %u\n", StatusText (Status), (UINT32)Size);

  Size   = sizeof (Buffer);
  Status = gRT->GetVariable (Name, &mE2eGuid, NULL, &Size, Buffer);
  DebugPortPrint ("[probe] GetVariable of 5 bytes, size 16: %a, size %u\n", StatusText (Status), (UINT32)Size);

  UINT32  Attributes = 0xFFFFFFFF;
  Size   = 1;
  Status = gRT->GetVariable (Name, &mE2eGuid, &Attributes, &Size, Buffer);
  DebugPortPrint ("[probe] GetVariable too small with an attributes pointer: %a, attributes %x\n", StatusText (Status), Attributes);

  Status = gRT->SetVariable (Name, &mE2eGuid, EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS, sizeof (Value), Value);
  DebugPortPrint ("[probe] SetVariable of an existing variable with other attributes: %a\n", StatusText (Status));

  Status = gRT->SetVariable (Name, &mE2eGuid, 0, 0, NULL);
  DebugPortPrint ("[probe] SetVariable with size 0 of an existing variable: %a\n", StatusText (Status));
  Status = gRT->SetVariable (Name, &mE2eGuid, 0, 0, NULL);
  DebugPortPrint ("[probe] SetVariable with size 0 of an absent variable: %a\n", StatusText (Status));

  Size   = sizeof (Buffer);
  Status = gRT->GetVariable (Name, &mE2eGuid, NULL, &Size, Buffer);
  DebugPortPrint ("[probe] GetVariable of an absent variable: %a, size %u\n", StatusText (Status), (UINT32)Size);
}
