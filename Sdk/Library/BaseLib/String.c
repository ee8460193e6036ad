/** @file
  String length and hexadecimal conversion.
**/
#include <Base.h>
#include <Library/BaseLib.h>

UINTN
EFIAPI
StrLen (
  IN CONST CHAR16  *String
  )
{
  UINTN  Length;

  for (Length = 0; String[Length] != 0; Length++) {
  }

  return Length;
}

/**
  Value of a hexadecimal digit, or -1 for any other character.
**/
STATIC
INTN
HexDigitValue (
  IN CHAR16  Char
  )
{
  if ((Char >= '0') && (Char <= '9')) {
    return Char - '0';
  }

  if ((Char >= 'a') && (Char <= 'f')) {
    return Char - 'a' + 10;
  }

  if ((Char >= 'A') && (Char <= 'F')) {
    return Char - 'A' + 10;
  }

  return -1;
}

RETURN_STATUS
EFIAPI
StrHexToUint64S (
  IN  CONST CHAR16  *String,
  OUT CHAR16        **EndPointer  OPTIONAL,
  OUT UINT64        *Data
  )
{
  CONST CHAR16  *Start;
  INTN          Digit;

  if ((String == NULL) || (Data == NULL)) {
    return RETURN_INVALID_PARAMETER;
  }

  Start = String;
  while ((*String == ' ') || (*String == '\t')) {
    String++;
  }

  while (*String == '0') {
    String++;
  }

  *Data = 0;
  if ((*String == 'x') || (*String == 'X')) {
    if ((String == Start) || (String[-1] != '0')) {
      //
      // An "x" not preceded by a zero is no prefix: nothing converts.
      //
      if (EndPointer != NULL) {
        *EndPointer = (CHAR16 *)Start;
      }

      return RETURN_SUCCESS;
    }

    String++;
  }

  while ((Digit = HexDigitValue (*String)) >= 0) {
    if (*Data > (MAX_UINT64 >> 4)) {
      *Data = MAX_UINT64;
      if (EndPointer != NULL) {
        *EndPointer = (CHAR16 *)String;
      }

      return RETURN_UNSUPPORTED;
    }

    *Data = (*Data << 4) | (UINT64)Digit;
    String++;
  }

  if (EndPointer != NULL) {
    *EndPointer = (CHAR16 *)String;
  }

  return RETURN_SUCCESS;
}
