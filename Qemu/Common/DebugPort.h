/** @file
  Text output of the end-to-end images to QEMU's debug console (I/O port
  0xE9, read by the host from the file given to -debugcon).
**/
#ifndef E2E_DEBUG_PORT_H_
#define E2E_DEBUG_PORT_H_

extern "C" {
#include <Uefi.h>
}

/**
  Writes formatted text to the debug port. Conversions: %a (ASCII string),
  %s (CHAR16 string), %c, %d, %u, %x, %X, %p, %g (EFI_GUID pointer, upper
  case); flag '0', a decimal width and 'l' (64-bit argument).

  @param[in] Format  The ASCII format.
**/
VOID
DebugPortPrint (
  IN CONST CHAR8  *Format,
  ...
  );

/**
  Writes Size bytes as lower-case hexadecimal digits, no separators.
**/
VOID
DebugPortHex (
  IN CONST VOID  *Data,
  IN UINTN       Size
  );

#endif
