/** @file
  Delays on the ACPI power-management timer: a free-running 24-bit counter
  at 3.579545 MHz, read from a fixed I/O port. The wait adds up the distance
  between successive reads modulo 2^24, so it survives any number of counter
  rollovers as long as two reads are less than one full period (about 4.7 s)
  apart.
**/
#include <Base.h>
#include <Library/IoLib.h>
#include <Library/TimerLib.h>

#ifndef ACPI_TIMER_PORT
#define ACPI_TIMER_PORT  0x1808
#endif

#define ACPI_TIMER_FREQUENCY   3579545u
#define ACPI_TIMER_COUNT_MASK  0x00FFFFFFu

/**
  Waits at least the given number of microseconds, counted in whole timer
  ticks (MicroSeconds * 3579545 / 1000000, rounded down).

  @param[in] MicroSeconds  How long to wait.

  @return MicroSeconds.
**/
UINTN
EFIAPI
MicroSecondDelay (
  IN UINTN  MicroSeconds
  )
{
  UINT64  Ticks;
  UINT64  Elapsed;
  UINT32  Previous;
  UINT32  Current;

  Ticks    = ((UINT64)MicroSeconds * ACPI_TIMER_FREQUENCY) / 1000000u;
  Elapsed  = 0;
  Previous = IoRead32 (ACPI_TIMER_PORT) & ACPI_TIMER_COUNT_MASK;
  while (Elapsed < Ticks) {
    Current  = IoRead32 (ACPI_TIMER_PORT) & ACPI_TIMER_COUNT_MASK;
    Elapsed += (Current - Previous) & ACPI_TIMER_COUNT_MASK;
    Previous = Current;
  }

  return MicroSeconds;
}
