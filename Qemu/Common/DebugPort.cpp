/** @file
  printf-style output to QEMU's debug console port 0xE9. Every byte written
  to the port lands in the host's debugcon file at once, so the host can
  follow a boot while it runs.
**/
#include "DebugPort.h"

#define DEBUG_CONSOLE_PORT  0xE9

namespace {

VOID
PutByte (
  CHAR8  Byte
  )
{
  __asm__ __volatile__ ("outb %0, %1" : : "a" (Byte), "Nd" ((UINT16)DEBUG_CONSOLE_PORT));
}

VOID
PutNumber (
  UINT64   Value,
  UINT32   Base,
  BOOLEAN  Upper,
  BOOLEAN  Negative,
  UINTN    Width,
  CHAR8    Pad
  )
{
  CHAR8        Digits[24];
  UINTN        Count;
  CONST CHAR8  *Set;

  Set   = Upper ? "0123456789ABCDEF" : "0123456789abcdef";
  Count = 0;
  do {
    Digits[Count++] = Set[Value % Base];
    Value          /= Base;
  } while (Value != 0 && Count < sizeof (Digits));

  if (Negative) {
    Width = (Width > 0) ? Width - 1 : 0;
    if (Pad == '0') {
      PutByte ('-');
    }
  }

  for (UINTN Fill = Count; Fill < Width; Fill++) {
    PutByte (Pad);
  }

  if (Negative && (Pad != '0')) {
    PutByte ('-');
  }

  while (Count > 0) {
    PutByte (Digits[--Count]);
  }
}

VOID
PutGuid (
  CONST EFI_GUID  *Guid
  )
{
  if (Guid == NULL) {
    PutByte ('?');
    return;
  }

  PutNumber (Guid->Data1, 16, TRUE, FALSE, 8, '0');
  PutByte ('-');
  PutNumber (Guid->Data2, 16, TRUE, FALSE, 4, '0');
  PutByte ('-');
  PutNumber (Guid->Data3, 16, TRUE, FALSE, 4, '0');
  PutByte ('-');
  for (UINTN Index = 0; Index < 8; Index++) {
    if (Index == 2) {
      PutByte ('-');
    }

    PutNumber (Guid->Data4[Index], 16, TRUE, FALSE, 2, '0');
  }
}

}  // namespace

VOID
DebugPortPrint (
  IN CONST CHAR8  *Format,
  ...
  )
{
  VA_LIST  Args;

  VA_START (Args, Format);
  for (CONST CHAR8 *Walk = Format; *Walk != '\0'; Walk++) {
    if (*Walk != '%') {
      PutByte (*Walk);
      continue;
    }

    Walk++;
    CHAR8    Pad   = ' ';
    UINTN    Width = 0;
    BOOLEAN  Long  = FALSE;
    if (*Walk == '0') {
      Pad = '0';
      Walk++;
    }

    while (*Walk >= '0' && *Walk <= '9') {
      Width = Width * 10 + (UINTN)(*Walk - '0');
      Walk++;
    }

    if ((*Walk == 'l') || (*Walk == 'L')) {
      Long = TRUE;
      Walk++;
    }

    switch (*Walk) {
      case 'a':
      {
        CONST CHAR8  *Text = VA_ARG (Args, CONST CHAR8 *);
        for (Text = (Text == NULL) ? "(null)" : Text; *Text != '\0'; Text++) {
          PutByte (*Text);
        }

        break;
      }
      case 's':
      {
        CONST CHAR16  *Text = VA_ARG (Args, CONST CHAR16 *);
        if (Text == NULL) {
          DebugPortPrint ("(null)");
          break;
        }

        for ( ; *Text != 0; Text++) {
          PutByte ((*Text < 0x80) ? (CHAR8)*Text : '?');
        }

        break;
      }
      case 'c':
        PutByte ((CHAR8)VA_ARG (Args, int));
        break;
      case 'd':
      {
        INT64  Value = Long ? VA_ARG (Args, INT64) : (INT64)VA_ARG (Args, int);
        PutNumber ((Value < 0) ? (UINT64)(-Value) : (UINT64)Value, 10, FALSE, (BOOLEAN)(Value < 0), Width, Pad);
        break;
      }
      case 'u':
        PutNumber (Long ? VA_ARG (Args, UINT64) : (UINT64)VA_ARG (Args, unsigned int), 10, FALSE, FALSE, Width, Pad);
        break;
      case 'x':
      case 'X':
        PutNumber (Long ? VA_ARG (Args, UINT64) : (UINT64)VA_ARG (Args, unsigned int), 16, (BOOLEAN)(*Walk == 'X'), FALSE, Width, Pad);
        break;
      case 'p':
        PutNumber ((UINT64)(UINTN)VA_ARG (Args, VOID *), 16, FALSE, FALSE, 16, '0');
        break;
      case 'g':
        PutGuid (VA_ARG (Args, CONST EFI_GUID *));
        break;
      case '%':
        PutByte ('%');
        break;
      case '\0':
        Walk--;
        break;
      default:
        PutByte ('%');
        PutByte (*Walk);
        break;
    }
  }

  VA_END (Args);
}

VOID
DebugPortHex (
  IN CONST VOID  *Data,
  IN UINTN       Size
  )
{
  CONST UINT8  *Bytes = (CONST UINT8 *)Data;

  for (UINTN Index = 0; Index < Size; Index++) {
    PutNumber (Bytes[Index], 16, FALSE, FALSE, 2, '0');
  }
}
