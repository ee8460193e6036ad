/** @file
  PCI configuration space access by segment, bus, device, function and
  register, packed into one 64-bit address.
**/
#ifndef PCI_SEGMENT_LIB_H_
#define PCI_SEGMENT_LIB_H_

#include <Base.h>

///
/// Address of a configuration register: segment in bits 47:32, bus in
/// 27:20, device in 19:15, function in 14:12, register in 11:0.
///
#define PCI_SEGMENT_LIB_ADDRESS(Segment, Bus, Device, Function, Register) \
  ((((UINT64)(Segment)) << 32) | \
   (((UINT64)(Bus) & 0xFF) << 20) | \
   (((UINT64)(Device) & 0x1F) << 15) | \
   (((UINT64)(Function) & 0x07) << 12) | \
   ((UINT64)(Register) & 0xFFF))

UINT16
EFIAPI
PciSegmentRead16 (
  IN UINT64  Address
  );

UINT16
EFIAPI
PciSegmentWrite16 (
  IN UINT64  Address,
  IN UINT16  Value
  );

/**
  Reads a 16-bit register, ORs OrData into it and writes it back.

  @return The value written.
**/
UINT16
EFIAPI
PciSegmentOr16 (
  IN UINT64  Address,
  IN UINT16  OrData
  );

/**
  Reads a 16-bit register, ANDs it with AndData, ORs OrData into it and
  writes it back.

  @return The value written.
**/
UINT16
EFIAPI
PciSegmentAndThenOr16 (
  IN UINT64  Address,
  IN UINT16  AndData,
  IN UINT16  OrData
  );

UINT32
EFIAPI
PciSegmentRead32 (
  IN UINT64  Address
  );

UINT32
EFIAPI
PciSegmentWrite32 (
  IN UINT64  Address,
  IN UINT32  Value
  );

#endif
