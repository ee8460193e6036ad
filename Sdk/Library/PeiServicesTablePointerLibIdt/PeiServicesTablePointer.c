/** @file
  PEI services table pointer kept in the pointer-sized slot immediately
  below the base of the interrupt descriptor table, where the PEI foundation
  puts it on IA32. The IDT base is read with SIDT, so the library keeps no
  global of its own and works from code running in place in flash.
**/
#include <PiPei.h>
#include <Library/PeiServicesTablePointerLib.h>

#pragma pack(1)
typedef struct {
  UINT16    Limit;
  UINTN     Base;
} IDT_REGISTER;
#pragma pack()

/**
  Returns the address of the slot below the IDT that holds the pointer.
**/
STATIC
UINTN *
PeiServicesSlot (
  VOID
  )
{
  IDT_REGISTER  Idtr;

  __asm__ __volatile__ ("sidt %0" : "=m" (Idtr));
  return (UINTN *)(Idtr.Base - sizeof (UINTN));
}

/**
  Returns the PEI services table pointer.

  @return The pointer the PEI foundation stored below the IDT.
**/
CONST EFI_PEI_SERVICES **
EFIAPI
GetPeiServicesTablePointer (
  VOID
  )
{
  return (CONST EFI_PEI_SERVICES **)*PeiServicesSlot ();
}

/**
  Stores the PEI services table pointer below the IDT.

  @param[in] PeiServicesTablePointer  The pointer to keep.
**/
VOID
EFIAPI
SetPeiServicesTablePointer (
  IN CONST EFI_PEI_SERVICES  **PeiServicesTablePointer
  )
{
  *PeiServicesSlot () = (UINTN)PeiServicesTablePointer;
}
