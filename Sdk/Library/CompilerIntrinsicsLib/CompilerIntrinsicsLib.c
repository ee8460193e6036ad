/** @file
  Helpers that the compiler may call on its own in freestanding code (large
  aggregate copies and initialisers). Firmware targets only; a hosted build
  takes them from its C library.
**/
#include <Base.h>

void *
memcpy (
  void        *Destination,
  const void  *Source,
  UINTN       Count
  )
{
  volatile UINT8  *Dst;
  const UINT8     *Src;

  Dst = (volatile UINT8 *)Destination;
  Src = (const UINT8 *)Source;
  while (Count-- > 0) {
    *Dst++ = *Src++;
  }

  return Destination;
}

void *
memset (
  void   *Buffer,
  int    Value,
  UINTN  Count
  )
{
  volatile UINT8  *Dst;

  Dst = (volatile UINT8 *)Buffer;
  while (Count-- > 0) {
    *Dst++ = (UINT8)Value;
  }

  return Buffer;
}
