/** @file
  Quicksort over elements of any size. Elements are exchanged byte by byte,
  so sorting allocates nothing.
**/
#include <Base.h>
#include <Library/SortLib.h>

STATIC
VOID
SwapElements (
  IN OUT UINT8  *Left,
  IN OUT UINT8  *Right,
  IN UINTN      ElementSize
  )
{
  UINT8  Byte;

  if (Left == Right) {
    return;
  }

  for (UINTN Index = 0; Index < ElementSize; Index++) {
    Byte         = Left[Index];
    Left[Index]  = Right[Index];
    Right[Index] = Byte;
  }
}

/**
  Sorts elements [Low, High] with the last one as pivot (Lomuto partition),
  recursing into the smaller part so the depth stays logarithmic.
**/
STATIC
VOID
QuickSortRange (
  IN OUT UINT8     *Buffer,
  IN INTN          Low,
  IN INTN          High,
  IN UINTN         ElementSize,
  IN SORT_COMPARE  Compare
  )
{
  while (Low < High) {
    UINT8  *Pivot = Buffer + (UINTN)High * ElementSize;
    INTN   Store  = Low;

    for (INTN Index = Low; Index < High; Index++) {
      if (Compare (Buffer + (UINTN)Index * ElementSize, Pivot) < 0) {
        SwapElements (Buffer + (UINTN)Index * ElementSize, Buffer + (UINTN)Store * ElementSize, ElementSize);
        Store++;
      }
    }

    SwapElements (Buffer + (UINTN)Store * ElementSize, Pivot, ElementSize);
    if (Store - Low < High - Store) {
      QuickSortRange (Buffer, Low, Store - 1, ElementSize, Compare);
      Low = Store + 1;
    } else {
      QuickSortRange (Buffer, Store + 1, High, ElementSize, Compare);
      High = Store - 1;
    }
  }
}

VOID
EFIAPI
PerformQuickSort (
  IN OUT VOID      *BufferToSort,
  IN CONST UINTN   Count,
  IN CONST UINTN   ElementSize,
  IN SORT_COMPARE  CompareFunction
  )
{
  if ((BufferToSort == NULL) || (CompareFunction == NULL) || (Count < 2) || (ElementSize == 0)) {
    return;
  }

  QuickSortRange ((UINT8 *)BufferToSort, 0, (INTN)Count - 1, ElementSize, CompareFunction);
}
