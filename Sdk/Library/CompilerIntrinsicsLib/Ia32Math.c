/** @file
  64-bit unsigned division helpers that clang calls on i686 Windows targets
  (IA32 firmware images only). They follow the Microsoft convention for
  these helpers: both 64-bit operands on the stack, the result in EDX:EAX,
  and the callee pops the 16 bytes of arguments.
**/
#include <Base.h>

/**
  Divides by shift and subtract, with no 64-bit division of its own (which
  would call back into the helpers below). Division by zero gives an all-ones
  quotient and leaves the dividend as remainder, instead of trapping.

  @param[in]  Dividend   The dividend.
  @param[in]  Divisor    The divisor.
  @param[out] Remainder  Receives the remainder.

  @return The quotient.
**/
UINT64
InternalDivRemU64 (
  IN  UINT64  Dividend,
  IN  UINT64  Divisor,
  OUT UINT64  *Remainder
  )
{
  UINT64  Quotient;
  UINT64  Rest;
  INT32   Bit;

  if (Divisor == 0) {
    *Remainder = Dividend;
    return MAX_UINT64;
  }

  Quotient = 0;
  Rest     = 0;
  for (Bit = 63; Bit >= 0; Bit--) {
    Rest = (Rest << 1) | ((Dividend >> Bit) & 1);
    if (Rest >= Divisor) {
      Rest     -= Divisor;
      Quotient |= 1ULL << Bit;
    }
  }

  *Remainder = Rest;
  return Quotient;
}

/**
  Quotient in EDX:EAX of two UINT64 values.
**/
UINT64
InternalDivU64 (
  IN UINT64  Dividend,
  IN UINT64  Divisor
  )
{
  UINT64  Remainder;

  return InternalDivRemU64 (Dividend, Divisor, &Remainder);
}

/**
  Remainder in EDX:EAX of two UINT64 values.
**/
UINT64
InternalRemU64 (
  IN UINT64  Dividend,
  IN UINT64  Divisor
  )
{
  UINT64  Remainder;

  InternalDivRemU64 (Dividend, Divisor, &Remainder);
  return Remainder;
}

//
// On entry: [esp] return address, [esp+4] dividend, [esp+12] divisor. The
// four argument dwords are pushed again for the cdecl helper (each push
// moves them 4 bytes further away, hence the same displacement four times);
// "ret $16" pops the caller's arguments.
//
__attribute__ ((naked)) void
_aulldiv (
  void
  )
{
  __asm__ (
    "pushl 16(%esp)\n\t"
    "pushl 16(%esp)\n\t"
    "pushl 16(%esp)\n\t"
    "pushl 16(%esp)\n\t"
    "calll _InternalDivU64\n\t"
    "addl $16, %esp\n\t"
    "retl $16\n\t"
    );
}

__attribute__ ((naked)) void
_aullrem (
  void
  )
{
  __asm__ (
    "pushl 16(%esp)\n\t"
    "pushl 16(%esp)\n\t"
    "pushl 16(%esp)\n\t"
    "pushl 16(%esp)\n\t"
    "calll _InternalRemU64\n\t"
    "addl $16, %esp\n\t"
    "retl $16\n\t"
    );
}
