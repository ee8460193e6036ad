/** @file
  String helpers of the base library that the modules use.
**/
#ifndef BASE_LIB_H_
#define BASE_LIB_H_

/**
  Returns the number of CHAR16 characters before the terminating NUL.
**/
UINTN
EFIAPI
StrLen (
  IN CONST CHAR16  *String
  );

/**
  Converts a hexadecimal string to a UINT64. Leading spaces and tabs, then
  leading zeros, are skipped; an "x" or "X" right after a zero is skipped
  as a prefix; conversion stops at the first character that is not a
  hexadecimal digit.

  @param[in]  String      The NUL-terminated string.
  @param[out] EndPointer  Optional: the first character not converted (the
                          start of String when nothing was converted).
  @param[out] Data        The value.

  @retval RETURN_SUCCESS            Converted (0 when there are no digits).
  @retval RETURN_INVALID_PARAMETER  String or Data is NULL.
  @retval RETURN_UNSUPPORTED        The value overflows UINT64; Data is
                                    MAX_UINT64.
**/
RETURN_STATUS
EFIAPI
StrHexToUint64S (
  IN  CONST CHAR16  *String,
  OUT CHAR16        **EndPointer  OPTIONAL,
  OUT UINT64        *Data
  );

#endif
