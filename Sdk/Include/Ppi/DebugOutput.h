/** @file
  The platform's debug output PPI: where PEIMs send their debug messages.
  The first member is the print function; the platform may keep further
  members behind it, which nothing here uses.
**/
#ifndef DEBUG_OUTPUT_PPI_H_
#define DEBUG_OUTPUT_PPI_H_

#include <Uefi/UefiBaseType.h>

#define DEBUG_OUTPUT_PPI_GUID \
  { 0x36232936, 0x0e76, 0x31c8, { 0xa1, 0x3a, 0x3a, 0xf2, 0xfc, 0x1c, 0x39, 0x32 } }

/**
  Writes one debug message.

  @param[in] ErrorLevel  The message level (DEBUG_ERROR, DEBUG_INFO, ...).
  @param[in] Format      ASCII format string.
  @param[in] Marker      The format's arguments.
**/
typedef VOID (EFIAPI *DEBUG_OUTPUT_PPI_PRINT)(
  IN UINT32       ErrorLevel,
  IN CONST CHAR8  *Format,
  IN VA_LIST      Marker
  );

typedef struct {
  DEBUG_OUTPUT_PPI_PRINT    Print;
} DEBUG_OUTPUT_PPI;

#endif
