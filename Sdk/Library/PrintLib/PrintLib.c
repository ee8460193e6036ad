/** @file
  A small formatter covering the conversions the modules use.
**/
#include <Base.h>
#include <Library/PrintLib.h>

typedef struct {
  CHAR16    *Buffer;
  UINTN     Capacity;   // CHAR16 that may be written, the NUL excluded
  UINTN     Length;
} PRINT_OUTPUT;

STATIC
VOID
PutChar (
  IN OUT PRINT_OUTPUT  *Out,
  IN CHAR16            Char
  )
{
  if (Out->Length < Out->Capacity) {
    Out->Buffer[Out->Length++] = Char;
  }
}

/**
  Writes Count characters of Text (CHAR16 or ASCII), padded to Width.
**/
STATIC
VOID
PutField (
  IN OUT PRINT_OUTPUT  *Out,
  IN CONST VOID        *Text,
  IN BOOLEAN           Wide,
  IN UINTN             Count,
  IN UINTN             Width,
  IN BOOLEAN           LeftJustify,
  IN CHAR16            Pad
  )
{
  UINTN  Index;

  if (!LeftJustify) {
    for (Index = Count; Index < Width; Index++) {
      PutChar (Out, Pad);
    }
  }

  for (Index = 0; Index < Count; Index++) {
    PutChar (Out, Wide ? ((CONST CHAR16 *)Text)[Index] : (CHAR16)(UINT8)((CONST CHAR8 *)Text)[Index]);
  }

  if (LeftJustify) {
    for (Index = Count; Index < Width; Index++) {
      PutChar (Out, ' ');
    }
  }
}

UINTN
EFIAPI
UnicodeSPrintAsciiFormat (
  OUT CHAR16       *StartOfBuffer,
  IN UINTN         BufferSize,
  IN CONST CHAR8   *FormatString,
  ...
  )
{
  PRINT_OUTPUT  Out;
  VA_LIST       Marker;
  CHAR8         Digits[24];
  CONST CHAR8   *Format;

  if ((StartOfBuffer == NULL) || (BufferSize < sizeof (CHAR16)) || (FormatString == NULL)) {
    return 0;
  }

  Out.Buffer   = StartOfBuffer;
  Out.Capacity = BufferSize / sizeof (CHAR16) - 1;
  Out.Length   = 0;

  VA_START (Marker, FormatString);
  for (Format = FormatString; *Format != 0; Format++) {
    BOOLEAN  ZeroPad     = FALSE;
    BOOLEAN  LeftJustify = FALSE;
    BOOLEAN  Long        = FALSE;
    UINTN    Width       = 0;

    if (*Format != '%') {
      PutChar (&Out, (CHAR16)(UINT8)*Format);
      continue;
    }

    Format++;
    for ( ; ; Format++) {
      if (*Format == '0') {
        ZeroPad = TRUE;
      } else if (*Format == '-') {
        LeftJustify = TRUE;
      } else {
        break;
      }
    }

    while ((*Format >= '0') && (*Format <= '9')) {
      Width = Width * 10 + (UINTN)(*Format - '0');
      Format++;
    }

    while ((*Format == 'l') || (*Format == 'L')) {
      Long = TRUE;
      Format++;
    }

    switch (*Format) {
      case 'X':
        ZeroPad = TRUE;
      // fall through
      case 'x':
      case 'd':
      case 'u':
      {
        UINT64   Value;
        BOOLEAN  Negative = FALSE;
        UINTN    Radix    = (*Format == 'x' || *Format == 'X') ? 16 : 10;
        UINTN    Count    = 0;
        CHAR8    Start;

        if (Long) {
          Value = VA_ARG (Marker, UINT64);
        } else if (*Format == 'd') {
          INT32  Signed = (INT32)VA_ARG (Marker, UINTN);
          Value = (UINT64)(Signed < 0 ? -(INT64)Signed : Signed);
          Negative = (BOOLEAN)(Signed < 0);
        } else {
          Value = (UINT32)VA_ARG (Marker, UINTN);
        }

        if (Long && (*Format == 'd') && ((INT64)Value < 0)) {
          Negative = TRUE;
          Value    = 0 - Value;
        }

        Start = (*Format == 'x') ? 'a' : 'A';
        do {
          UINTN  Digit = (UINTN)(Value % Radix);
          Digits[sizeof (Digits) - 1 - Count++] = (CHAR8)(Digit < 10 ? '0' + Digit : Start + Digit - 10);
          Value /= Radix;
        } while (Value != 0 && Count < sizeof (Digits) - 1);

        if (Negative) {
          if (ZeroPad && !LeftJustify) {
            PutChar (&Out, '-');
            Width = Width > 0 ? Width - 1 : 0;
          } else {
            Digits[sizeof (Digits) - 1 - Count++] = '-';
          }
        }

        PutField (&Out, &Digits[sizeof (Digits) - Count], FALSE, Count, Width, LeftJustify, (ZeroPad && !LeftJustify) ? '0' : ' ');
        break;
      }
      case 'c':
      {
        CHAR16  Char = (CHAR16)VA_ARG (Marker, UINTN);
        PutField (&Out, &Char, TRUE, 1, Width, LeftJustify, ' ');
        break;
      }
      case 's':
      case 'a':
      {
        BOOLEAN      Wide  = (BOOLEAN)(*Format == 's');
        CONST VOID   *Text = VA_ARG (Marker, CONST VOID *);
        UINTN        Count = 0;

        if (Text == NULL) {
          Text = "<null string>";
          Wide = FALSE;
        }

        if (Wide) {
          while (((CONST CHAR16 *)Text)[Count] != 0) {
            Count++;
          }
        } else {
          while (((CONST CHAR8 *)Text)[Count] != 0) {
            Count++;
          }
        }

        PutField (&Out, Text, Wide, Count, Width, LeftJustify, ' ');
        break;
      }
      case '%':
        PutChar (&Out, '%');
        break;
      case 0:
        //
        // A lone '%' at the end of the format.
        //
        Format--;
        break;
      default:
        PutChar (&Out, '%');
        PutChar (&Out, (CHAR16)(UINT8)*Format);
        break;
    }
  }

  VA_END (Marker);
  StartOfBuffer[Out.Length] = 0;
  return Out.Length;
}
