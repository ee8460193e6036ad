/** @file
  Debug output and assertion services. Each module links one instance; the
  instance decides where messages go and which levels pass.
**/
#ifndef DEBUG_LIB_H_
#define DEBUG_LIB_H_

#include <Base.h>

//
// Message levels.
//
#define DEBUG_INIT     0x00000001
#define DEBUG_WARN     0x00000002
#define DEBUG_LOAD     0x00000004
#define DEBUG_FS       0x00000008
#define DEBUG_POOL     0x00000010
#define DEBUG_PAGE     0x00000020
#define DEBUG_INFO     0x00000040
#define DEBUG_DISPATCH 0x00000080
#define DEBUG_VARIABLE 0x00000100
#define DEBUG_VERBOSE  0x00400000
#define DEBUG_ERROR    0x80000000

/**
  Prints a message when its level is enabled.

  @param[in] ErrorLevel  Level of the message.
  @param[in] Format      ASCII format string, followed by its arguments.
**/
VOID
EFIAPI
DebugPrint (
  IN UINTN        ErrorLevel,
  IN CONST CHAR8  *Format,
  ...
  );

/**
  Prints a message when its level is enabled, arguments as a VA_LIST.

  @param[in] ErrorLevel  Level of the message.
  @param[in] Format      ASCII format string.
  @param[in] VaListMarker  The format's arguments.
**/
VOID
EFIAPI
DebugVPrint (
  IN UINTN        ErrorLevel,
  IN CONST CHAR8  *Format,
  IN VA_LIST      VaListMarker
  );

/**
  Reports a failed assertion.

  @param[in] FileName     Source file of the assertion.
  @param[in] LineNumber   Line of the assertion.
  @param[in] Description  The asserted expression.
**/
VOID
EFIAPI
DebugAssert (
  IN CONST CHAR8  *FileName,
  IN UINTN        LineNumber,
  IN CONST CHAR8  *Description
  );

/**
  Fills a buffer with the instance's "cleared memory" pattern.

  @return Buffer.
**/
VOID *
EFIAPI
DebugClearMemory (
  OUT VOID  *Buffer,
  IN UINTN  Length
  );

BOOLEAN
EFIAPI
DebugAssertEnabled (
  VOID
  );

BOOLEAN
EFIAPI
DebugPrintEnabled (
  VOID
  );

BOOLEAN
EFIAPI
DebugCodeEnabled (
  VOID
  );

BOOLEAN
EFIAPI
DebugClearMemoryEnabled (
  VOID
  );

/**
  Tells whether messages of a level are passed on.

  @param[in] ErrorLevel  The level.

  @retval TRUE   Messages of this level are printed.
  @retval FALSE  They are dropped.
**/
BOOLEAN
EFIAPI
DebugPrintLevelEnabled (
  IN CONST UINTN  ErrorLevel
  );

#endif
