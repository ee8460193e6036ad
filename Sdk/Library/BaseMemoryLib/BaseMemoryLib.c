/** @file
  Memory copy, fill and compare, written out byte by byte so that they work
  on every target without compiler helpers.
**/
#include <Base.h>
#include <Library/BaseMemoryLib.h>

VOID *
EFIAPI
CopyMem (
  OUT VOID       *DestinationBuffer,
  IN CONST VOID  *SourceBuffer,
  IN UINTN       Length
  )
{
  volatile UINT8  *Destination;
  CONST UINT8     *Source;

  Destination = (volatile UINT8 *)DestinationBuffer;
  Source      = (CONST UINT8 *)SourceBuffer;
  if ((Destination > Source) && (Destination < Source + Length)) {
    //
    // Overlapping with the destination above the source: copy backwards.
    //
    while (Length > 0) {
      Length--;
      Destination[Length] = Source[Length];
    }
  } else {
    for (UINTN Index = 0; Index < Length; Index++) {
      Destination[Index] = Source[Index];
    }
  }

  return DestinationBuffer;
}

VOID *
EFIAPI
SetMem (
  OUT VOID  *Buffer,
  IN UINTN  Length,
  IN UINT8  Value
  )
{
  volatile UINT8  *Bytes;

  Bytes = (volatile UINT8 *)Buffer;
  for (UINTN Index = 0; Index < Length; Index++) {
    Bytes[Index] = Value;
  }

  return Buffer;
}

VOID *
EFIAPI
ZeroMem (
  OUT VOID  *Buffer,
  IN UINTN  Length
  )
{
  return SetMem (Buffer, Length, 0);
}

INTN
EFIAPI
CompareMem (
  IN CONST VOID  *DestinationBuffer,
  IN CONST VOID  *SourceBuffer,
  IN UINTN       Length
  )
{
  CONST UINT8  *Left;
  CONST UINT8  *Right;

  Left  = (CONST UINT8 *)DestinationBuffer;
  Right = (CONST UINT8 *)SourceBuffer;
  for (UINTN Index = 0; Index < Length; Index++) {
    if (Left[Index] != Right[Index]) {
      return (INTN)Left[Index] - (INTN)Right[Index];
    }
  }

  return 0;
}

BOOLEAN
EFIAPI
CompareGuid (
  IN CONST GUID  *Guid1,
  IN CONST GUID  *Guid2
  )
{
  return (BOOLEAN)(CompareMem (Guid1, Guid2, sizeof (GUID)) == 0);
}

GUID *
EFIAPI
CopyGuid (
  OUT GUID       *DestinationGuid,
  IN CONST GUID  *SourceGuid
  )
{
  CopyMem (DestinationGuid, SourceGuid, sizeof (GUID));
  return DestinationGuid;
}
