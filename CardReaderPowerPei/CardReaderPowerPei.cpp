/** @file
  Entry point of the card reader power-up PEIM, and the module's own
  DebugLib instance.

  The entry point announces the module on the platform's debug output,
  waits 100 ms on the ACPI PM timer, and drives the card reader pad high
  when the pad exists on this PCH and the host owns it. It installs nothing
  and always returns EFI_SUCCESS.

  Debug output goes to the platform's debug output PPI, looked up through
  the PEI services table pointer for every message (the module runs in
  place and keeps nothing between calls). Messages at error, information
  and load level are passed on.
**/
#include "CardReaderPowerPei.h"

namespace {

constexpr EFI_GUID  mDebugOutputPpiGuid = DEBUG_OUTPUT_PPI_GUID;

}  // namespace

/**
  Powers the card reader.

  @param[in] FileHandle   Handle of the PEIM's firmware file; not used.
  @param[in] PeiServices  The PEI services table pointer; not used (the
                          debug output finds it below the IDT).

  @retval EFI_SUCCESS  Always.
**/
extern "C" EFI_STATUS EFIAPI
CardReaderPowerPeiEntryPoint (
  IN EFI_PEI_FILE_HANDLE     FileHandle,
  IN CONST EFI_PEI_SERVICES  **PeiServices
  )
{
  DebugPrint (DEBUG_ERROR, "Card Reader entry.\n");

  //
  // The pad must not change sooner than 100 ms after the module starts.
  //
  MicroSecondDelay (CARD_READER_POWER_UP_DELAY_US);

  if (CardReaderPadAvailable () && CardReaderPadHostOwned ()) {
    CardReaderPadSetOutput (CARD_READER_OUTPUT_HIGH);
  }

  return EFI_SUCCESS;
}

//
// DebugLib instance of the module. It provides the whole library class so
// that no other DebugLib instance is needed by the libraries it links.
//

/**
  Prints a message through the platform's debug output PPI when the PPI is
  installed and the level is one the module passes on.

  @param[in] ErrorLevel  Level of the message.
  @param[in] Format      ASCII format string, followed by its arguments.
**/
VOID
EFIAPI
DebugPrint (
  IN UINTN        ErrorLevel,
  IN CONST CHAR8  *Format,
  ...
  )
{
  VA_LIST  Marker;

  VA_START (Marker, Format);
  DebugVPrint (ErrorLevel, Format, Marker);
  VA_END (Marker);
}

/**
  Prints a message through the platform's debug output PPI. The PPI is
  located anew for every message, before the level is looked at.

  @param[in] ErrorLevel    Level of the message.
  @param[in] Format        ASCII format string.
  @param[in] VaListMarker  The format's arguments, handed on unchanged.
**/
VOID
EFIAPI
DebugVPrint (
  IN UINTN        ErrorLevel,
  IN CONST CHAR8  *Format,
  IN VA_LIST      VaListMarker
  )
{
  CONST EFI_PEI_SERVICES  **PeiServices;
  DEBUG_OUTPUT_PPI        *DebugOutput;
  EFI_STATUS              Status;

  PeiServices = GetPeiServicesTablePointer ();
  Status      = (*PeiServices)->LocatePpi (PeiServices, &mDebugOutputPpiGuid, 0, NULL, (VOID **)&DebugOutput);
  if (EFI_ERROR (Status)) {
    return;
  }

  if (!DebugPrintLevelEnabled (ErrorLevel)) {
    return;
  }

  DebugOutput->Print ((UINT32)ErrorLevel, Format, VaListMarker);
}

/**
  Reports a failed assertion as an error message and returns; a PEIM that
  stopped here would stop the boot without a word.

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
  )
{
  DebugPrint (DEBUG_ERROR, "ASSERT %a(%d): %a\n", FileName, (INT32)LineNumber, Description);
}

/**
  Leaves the buffer as it is: the instance has no "cleared memory" pattern.

  @return Buffer.
**/
VOID *
EFIAPI
DebugClearMemory (
  OUT VOID  *Buffer,
  IN UINTN  Length
  )
{
  return Buffer;
}

BOOLEAN
EFIAPI
DebugAssertEnabled (
  VOID
  )
{
  return FALSE;
}

BOOLEAN
EFIAPI
DebugPrintEnabled (
  VOID
  )
{
  return TRUE;
}

BOOLEAN
EFIAPI
DebugCodeEnabled (
  VOID
  )
{
  return FALSE;
}

BOOLEAN
EFIAPI
DebugClearMemoryEnabled (
  VOID
  )
{
  return FALSE;
}

/**
  @retval TRUE   The level has a bit in common with the levels the module
                 passes on (error, information, load).
  @retval FALSE  Otherwise.
**/
BOOLEAN
EFIAPI
DebugPrintLevelEnabled (
  IN CONST UINTN  ErrorLevel
  )
{
  return (ErrorLevel & CARD_READER_DEBUG_LEVELS) != 0;
}
