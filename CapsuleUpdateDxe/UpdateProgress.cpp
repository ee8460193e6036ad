/** @file
  Progress display adapter: the operations a firmware write uses to show its
  progress and failure, forwarded to the platform's display protocol when
  there is one, or doing nothing when there is none.
**/
#include "CapsuleUpdateDxe.h"

EFI_GUID  gUpdateDisplayProtocolGuid = UPDATE_DISPLAY_PROTOCOL_GUID;

UPDATE_DISPLAY_PROTOCOL  *mUpdateDisplay  = NULL;
CHAR16                   *mProgressTitle  = NULL;
VOID                     *mProgressContext = NULL;

//
// Cells the display protocol may keep state in across calls; the driver
// only passes their addresses.
//
UINT64  mProgressStateA = 0;
UINT64  mProgressStateB = 0;

STATIC
EFI_STATUS
EFIAPI
DisplayStart (
  IN CHAR16  *Title,
  IN VOID    *Context
  )
{
  mProgressTitle   = Title;
  mProgressContext = Context;
  return mUpdateDisplay->ShowProgress (ProgressActionBegin, Title, Context, 0, 0, &mProgressStateB, &mProgressStateA);
}

STATIC
EFI_STATUS
EFIAPI
DisplayEnd (
  VOID
  )
{
  return mUpdateDisplay->ShowProgress (
                           ProgressActionEnd,
                           mProgressTitle,
                           mProgressContext,
                           0,
                           0,
                           &mProgressStateB,
                           &mProgressStateA
                           );
}

STATIC
EFI_STATUS
EFIAPI
DisplayMessage (
  IN CHAR16  *Title,
  IN CHAR16  *Text
  )
{
  UINT64  Answer;

  return mUpdateDisplay->ShowMessage (Title, Text, 1, &Answer);
}

/**
  Progress callback handed to SetImage: shows the completion and never asks
  the firmware write to stop.
**/
STATIC
EFI_STATUS
EFIAPI
DisplayUpdate (
  IN UINTN  Completion
  )
{
  mUpdateDisplay->ShowProgress (
                    ProgressActionUpdate,
                    mProgressTitle,
                    mProgressContext,
                    0,
                    Completion,
                    &mProgressStateB,
                    &mProgressStateA
                    );
  return EFI_SUCCESS;
}

STATIC
EFI_STATUS
EFIAPI
SilentStart (
  IN CHAR16  *Title,
  IN VOID    *Context
  )
{
  return EFI_SUCCESS;
}

STATIC
EFI_STATUS
EFIAPI
SilentEnd (
  VOID
  )
{
  return EFI_SUCCESS;
}

STATIC
EFI_STATUS
EFIAPI
SilentMessage (
  IN CHAR16  *Title,
  IN CHAR16  *Text
  )
{
  return EFI_SUCCESS;
}

STATIC
EFI_STATUS
EFIAPI
SilentUpdate (
  IN UINTN  Completion
  )
{
  return EFI_SUCCESS;
}

CONST UPDATE_PROGRESS_OPS  DisplayProgressOps = { DisplayStart, DisplayEnd, DisplayMessage, DisplayUpdate };
CONST UPDATE_PROGRESS_OPS  SilentProgressOps  = { SilentStart, SilentEnd, SilentMessage, SilentUpdate };
