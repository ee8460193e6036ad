/** @file
  PCI configuration access through the memory-mapped enhanced configuration
  window (ECAM) of segment 0, whose base address is fixed at build time.
  Only segment 0 exists on the platform; the segment bits of an address are
  not looked at.
**/
#include <Base.h>
#include <Library/IoLib.h>
#include <Library/PciSegmentLib.h>

#ifndef PCI_EXPRESS_BASE_ADDRESS
#define PCI_EXPRESS_BASE_ADDRESS  0xC0000000u
#endif

/// Bus, device, function and register bits of a segment address.
#define ECAM_OFFSET_MASK  0x0FFFFFFFu

STATIC
UINTN
EcamAddress (
  IN UINT64  Address
  )
{
  return (UINTN)PCI_EXPRESS_BASE_ADDRESS + (UINTN)(Address & ECAM_OFFSET_MASK);
}

UINT16
EFIAPI
PciSegmentRead16 (
  IN UINT64  Address
  )
{
  return MmioRead16 (EcamAddress (Address));
}

UINT16
EFIAPI
PciSegmentWrite16 (
  IN UINT64  Address,
  IN UINT16  Value
  )
{
  return MmioWrite16 (EcamAddress (Address), Value);
}

UINT16
EFIAPI
PciSegmentOr16 (
  IN UINT64  Address,
  IN UINT16  OrData
  )
{
  return PciSegmentWrite16 (Address, (UINT16)(PciSegmentRead16 (Address) | OrData));
}

UINT16
EFIAPI
PciSegmentAndThenOr16 (
  IN UINT64  Address,
  IN UINT16  AndData,
  IN UINT16  OrData
  )
{
  return PciSegmentWrite16 (Address, (UINT16)((PciSegmentRead16 (Address) & AndData) | OrData));
}

UINT32
EFIAPI
PciSegmentRead32 (
  IN UINT64  Address
  )
{
  return MmioRead32 (EcamAddress (Address));
}

UINT32
EFIAPI
PciSegmentWrite32 (
  IN UINT64  Address,
  IN UINT32  Value
  )
{
  return MmioWrite32 (EcamAddress (Address), Value);
}
