/** @file
  Host variant of the IDT instance of PeiServicesTablePointerLib: the IDT
  base comes from the PCH model's modelled IDT register instead of SIDT;
  the pointer is kept in the UINTN below it, as on the target.
**/
#include "PchModel.h"

extern "C" {
#include <Library/PeiServicesTablePointerLib.h>
}

#include <cstdio>
#include <cstdlib>

namespace {

UINTN *
PeiServicesSlot (
  )
{
  Pch::Model  *Model = Pch::Model::Current ();

  if (Model == nullptr) {
    std::fprintf (stderr, "PeiServicesTablePointerLib: no modelled IDT\n");
    std::abort ();
  }

  return (UINTN *)(Model->IdtBase () - sizeof (UINTN));
}

}  // namespace

extern "C" {

CONST EFI_PEI_SERVICES ** EFIAPI
GetPeiServicesTablePointer (
  VOID
  )
{
  return (CONST EFI_PEI_SERVICES **)*PeiServicesSlot ();
}

VOID EFIAPI
SetPeiServicesTablePointer (
  IN CONST EFI_PEI_SERVICES  **PeiServicesTablePointer
  )
{
  *PeiServicesSlot () = (UINTN)PeiServicesTablePointer;
}

}  // extern "C"
