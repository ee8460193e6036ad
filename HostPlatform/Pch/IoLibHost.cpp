/** @file
  Host variant of IoLib: every port and MMIO access goes to the PCH model,
  at the width named, in program order.
**/
#include "PchModel.h"

extern "C" {
#include <Library/IoLib.h>
}

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] VOID EFIAPI
NoModel (
  VOID
  )
{
  std::fprintf (stderr, "IoLib: hardware access without a PCH model\n");
  std::abort ();
}

/// The model; inline and EFIAPI throughout, so that the library functions
/// make no System V call on their way to it.
inline Pch::Model &
CurrentPch (
  )
{
  Pch::Model  *Model = Pch::Model::Current ();

  if (Model == nullptr) {
    NoModel ();
  }

  return *Model;
}

}  // namespace

extern "C" {

UINT8 EFIAPI
IoRead8 (
  IN UINTN  Port
  )
{
  return (UINT8)CurrentPch ().IoRead ((UINT16)Port, 1);
}

UINT16 EFIAPI
IoRead16 (
  IN UINTN  Port
  )
{
  return (UINT16)CurrentPch ().IoRead ((UINT16)Port, 2);
}

UINT32 EFIAPI
IoRead32 (
  IN UINTN  Port
  )
{
  return CurrentPch ().IoRead ((UINT16)Port, 4);
}

UINT8 EFIAPI
IoWrite8 (
  IN UINTN  Port,
  IN UINT8  Value
  )
{
  CurrentPch ().IoWrite ((UINT16)Port, 1, Value);
  return Value;
}

UINT16 EFIAPI
IoWrite16 (
  IN UINTN   Port,
  IN UINT16  Value
  )
{
  CurrentPch ().IoWrite ((UINT16)Port, 2, Value);
  return Value;
}

UINT32 EFIAPI
IoWrite32 (
  IN UINTN   Port,
  IN UINT32  Value
  )
{
  CurrentPch ().IoWrite ((UINT16)Port, 4, Value);
  return Value;
}

UINT8 EFIAPI
MmioRead8 (
  IN UINTN  Address
  )
{
  return (UINT8)CurrentPch ().MmioRead (Address, 1);
}

UINT16 EFIAPI
MmioRead16 (
  IN UINTN  Address
  )
{
  return (UINT16)CurrentPch ().MmioRead (Address, 2);
}

UINT32 EFIAPI
MmioRead32 (
  IN UINTN  Address
  )
{
  return CurrentPch ().MmioRead (Address, 4);
}

UINT8 EFIAPI
MmioWrite8 (
  IN UINTN  Address,
  IN UINT8  Value
  )
{
  CurrentPch ().MmioWrite (Address, 1, Value);
  return Value;
}

UINT16 EFIAPI
MmioWrite16 (
  IN UINTN   Address,
  IN UINT16  Value
  )
{
  CurrentPch ().MmioWrite (Address, 2, Value);
  return Value;
}

UINT32 EFIAPI
MmioWrite32 (
  IN UINTN   Address,
  IN UINT32  Value
  )
{
  CurrentPch ().MmioWrite (Address, 4, Value);
  return Value;
}

}  // extern "C"
