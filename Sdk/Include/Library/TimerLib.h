/** @file
  Busy-wait delays on a hardware timer.
**/
#ifndef TIMER_LIB_H_
#define TIMER_LIB_H_

#include <Base.h>

/**
  Waits at least the given number of microseconds.

  @param[in] MicroSeconds  How long to wait.

  @return MicroSeconds.
**/
UINTN
EFIAPI
MicroSecondDelay (
  IN UINTN  MicroSeconds
  );

#endif
