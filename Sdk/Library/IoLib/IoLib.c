/** @file
  Port and memory-mapped I/O with the processor's own instructions (target
  build). MMIO goes through volatile pointers so that every access is made
  once, at its width, in program order; port I/O uses IN and OUT.
**/
#include <Base.h>
#include <Library/IoLib.h>

UINT8
EFIAPI
IoRead8 (
  IN UINTN  Port
  )
{
  UINT8  Value;

  __asm__ __volatile__ ("inb %w1, %b0" : "=a" (Value) : "Nd" ((UINT16)Port));
  return Value;
}

UINT16
EFIAPI
IoRead16 (
  IN UINTN  Port
  )
{
  UINT16  Value;

  __asm__ __volatile__ ("inw %w1, %w0" : "=a" (Value) : "Nd" ((UINT16)Port));
  return Value;
}

UINT32
EFIAPI
IoRead32 (
  IN UINTN  Port
  )
{
  UINT32  Value;

  __asm__ __volatile__ ("inl %w1, %0" : "=a" (Value) : "Nd" ((UINT16)Port));
  return Value;
}

UINT8
EFIAPI
IoWrite8 (
  IN UINTN  Port,
  IN UINT8  Value
  )
{
  __asm__ __volatile__ ("outb %b0, %w1" : : "a" (Value), "Nd" ((UINT16)Port));
  return Value;
}

UINT16
EFIAPI
IoWrite16 (
  IN UINTN   Port,
  IN UINT16  Value
  )
{
  __asm__ __volatile__ ("outw %w0, %w1" : : "a" (Value), "Nd" ((UINT16)Port));
  return Value;
}

UINT32
EFIAPI
IoWrite32 (
  IN UINTN   Port,
  IN UINT32  Value
  )
{
  __asm__ __volatile__ ("outl %0, %w1" : : "a" (Value), "Nd" ((UINT16)Port));
  return Value;
}

UINT8
EFIAPI
MmioRead8 (
  IN UINTN  Address
  )
{
  return *(volatile UINT8 *)Address;
}

UINT16
EFIAPI
MmioRead16 (
  IN UINTN  Address
  )
{
  return *(volatile UINT16 *)Address;
}

UINT32
EFIAPI
MmioRead32 (
  IN UINTN  Address
  )
{
  return *(volatile UINT32 *)Address;
}

UINT8
EFIAPI
MmioWrite8 (
  IN UINTN  Address,
  IN UINT8  Value
  )
{
  *(volatile UINT8 *)Address = Value;
  return Value;
}

UINT16
EFIAPI
MmioWrite16 (
  IN UINTN   Address,
  IN UINT16  Value
  )
{
  *(volatile UINT16 *)Address = Value;
  return Value;
}

UINT32
EFIAPI
MmioWrite32 (
  IN UINTN   Address,
  IN UINT32  Value
  )
{
  *(volatile UINT32 *)Address = Value;
  return Value;
}
