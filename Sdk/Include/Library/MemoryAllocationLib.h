/** @file
  Pool allocation from boot-services data.
**/
#ifndef MEMORY_ALLOCATION_LIB_H_
#define MEMORY_ALLOCATION_LIB_H_

/**
  Allocates AllocationSize bytes of boot-services data pool.

  @return The buffer, or NULL when the pool is exhausted.
**/
VOID *
EFIAPI
AllocatePool (
  IN UINTN  AllocationSize
  );

/**
  Allocates AllocationSize bytes of boot-services data pool, filled with zero.

  @return The buffer, or NULL when the pool is exhausted.
**/
VOID *
EFIAPI
AllocateZeroPool (
  IN UINTN  AllocationSize
  );

/**
  Returns a buffer from AllocatePool or AllocateZeroPool to the pool.
**/
VOID
EFIAPI
FreePool (
  IN VOID  *Buffer
  );

#endif
