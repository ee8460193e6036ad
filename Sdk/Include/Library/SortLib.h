/** @file
  In-place sorting of arrays of fixed-size elements.
**/
#ifndef SORT_LIB_H_
#define SORT_LIB_H_

/**
  Compares two elements: negative, zero or positive.
**/
typedef INTN (EFIAPI *SORT_COMPARE)(
  IN CONST VOID  *Buffer1,
  IN CONST VOID  *Buffer2
  );

/**
  Sorts Count elements of ElementSize bytes in place (quicksort, not stable).
**/
VOID
EFIAPI
PerformQuickSort (
  IN OUT VOID      *BufferToSort,
  IN CONST UINTN   Count,
  IN CONST UINTN   ElementSize,
  IN SORT_COMPARE  CompareFunction
  );

#endif
