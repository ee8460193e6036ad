/** @file
  Formatted output into CHAR16 buffers.
**/
#ifndef PRINT_LIB_H_
#define PRINT_LIB_H_

/**
  Formats into a CHAR16 buffer from an ASCII format string. Conversions:
  %x and %X (hexadecimal; %X upper case and zero-padded to the width), %d,
  %u, %c, %s (CHAR16 string), %a (ASCII string), %%; flags '0' and '-', a
  decimal width, and 'l'/'L' for 64-bit arguments (otherwise an argument is
  an int). The output is always NUL-terminated inside BufferSize bytes and
  never written past them.

  @param[out] StartOfBuffer  The output buffer.
  @param[in]  BufferSize     Size of the buffer in bytes.
  @param[in]  FormatString   The ASCII format.

  @return The number of CHAR16 written, not counting the NUL.
**/
UINTN
EFIAPI
UnicodeSPrintAsciiFormat (
  OUT CHAR16       *StartOfBuffer,
  IN UINTN         BufferSize,
  IN CONST CHAR8   *FormatString,
  ...
  );

#endif
