/** @file
  Processor I/O port and memory-mapped I/O access. Every access is made
  exactly once, at the width named, in program order.
**/
#ifndef IO_LIB_H_
#define IO_LIB_H_

#include <Base.h>

UINT8
EFIAPI
IoRead8 (
  IN UINTN  Port
  );

UINT16
EFIAPI
IoRead16 (
  IN UINTN  Port
  );

UINT32
EFIAPI
IoRead32 (
  IN UINTN  Port
  );

UINT8
EFIAPI
IoWrite8 (
  IN UINTN  Port,
  IN UINT8  Value
  );

UINT16
EFIAPI
IoWrite16 (
  IN UINTN   Port,
  IN UINT16  Value
  );

UINT32
EFIAPI
IoWrite32 (
  IN UINTN   Port,
  IN UINT32  Value
  );

UINT8
EFIAPI
MmioRead8 (
  IN UINTN  Address
  );

UINT16
EFIAPI
MmioRead16 (
  IN UINTN  Address
  );

UINT32
EFIAPI
MmioRead32 (
  IN UINTN  Address
  );

UINT8
EFIAPI
MmioWrite8 (
  IN UINTN  Address,
  IN UINT8  Value
  );

UINT16
EFIAPI
MmioWrite16 (
  IN UINTN   Address,
  IN UINT16  Value
  );

UINT32
EFIAPI
MmioWrite32 (
  IN UINTN   Address,
  IN UINT32  Value
  );

#endif
