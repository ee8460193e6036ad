/** @file
  Listing of the update directory: every entry except ".", hidden and system
  entries, sorted with ".." first, then directories, then files, each group
  by name compared without case, base name first and extension second.
**/
#include "CapsuleUpdateDxe.h"

#define ENTRY_ARRAY_INITIAL_ELEMENTS  100
#define ENTRY_ARRAY_GROW_ELEMENTS     50

/**
  A new empty array of entry pointers with room for 100 of them.

  @return The array (a pool record), or NULL when the pool is exhausted.
**/
ENTRY_ARRAY *
CreateEntryArray (
  VOID
  )
{
  ENTRY_ARRAY  *Array;

  Array = (ENTRY_ARRAY *)AllocatePool (sizeof (ENTRY_ARRAY));
  if (Array == NULL) {
    return NULL;
  }

  Array->ElementSize = sizeof (EFI_FILE_INFO *);
  Array->Capacity    = ENTRY_ARRAY_INITIAL_ELEMENTS * Array->ElementSize;
  Array->Used        = 0;
  Array->GrowBy      = ENTRY_ARRAY_GROW_ELEMENTS;
  Array->Buffer      = (UINT8 *)AllocatePool (Array->Capacity);
  if (Array->Buffer == NULL) {
    FreePool (Array);
    return NULL;
  }

  return Array;
}

/**
  Copies one element to the end of the array, growing it by GrowBy elements
  first when it is full.

  @retval EFI_SUCCESS           Appended.
  @retval EFI_OUT_OF_RESOURCES  The array was full and could not grow; it
                                is unchanged.
**/
EFI_STATUS
AppendEntry (
  IN OUT ENTRY_ARRAY  *Array,
  IN CONST VOID       *Element
  )
{
  if (Array->Used == Array->Capacity) {
    UINT32  Capacity = Array->Capacity + Array->GrowBy * Array->ElementSize;
    UINT8   *Buffer  = (UINT8 *)AllocatePool (Capacity);

    if (Buffer == NULL) {
      return EFI_OUT_OF_RESOURCES;
    }

    CopyMem (Buffer, Array->Buffer, Array->Used);
    FreePool (Array->Buffer);
    Array->Buffer   = Buffer;
    Array->Capacity = Capacity;
  }

  CopyMem (Array->Buffer + Array->Used, Element, Array->ElementSize);
  Array->Used += Array->ElementSize;
  return EFI_SUCCESS;
}

CHAR16
CharToUpperLatin1 (
  IN CHAR16  Char
  )
{
  if (((Char >= 0x61) && (Char <= 0x7A)) || ((Char >= 0xE0) && (Char <= 0xFE) && (Char != 0xF7))) {
    return (CHAR16)(Char - 0x20);
  }

  return Char;
}

/**
  Compares Length1 characters of String1 with Length2 of String2 without
  case; the shorter takes part as if padded with spaces.
**/
STATIC
INTN
CompareRangesNoCase (
  IN CONST CHAR16  *String1,
  IN UINTN         Length1,
  IN CONST CHAR16  *String2,
  IN UINTN         Length2
  )
{
  UINTN  Length = (Length1 > Length2) ? Length1 : Length2;

  for (UINTN Index = 0; Index < Length; Index++) {
    CHAR16  Left  = CharToUpperLatin1 (Index < Length1 ? String1[Index] : ' ');
    CHAR16  Right = CharToUpperLatin1 (Index < Length2 ? String2[Index] : ' ');

    if (Left != Right) {
      return (INTN)Left - (INTN)Right;
    }
  }

  return 0;
}

INTN
CompareNamesNoCase (
  IN CONST CHAR16  *String1,
  IN CONST CHAR16  *String2
  )
{
  return CompareRangesNoCase (String1, StrLen (String1), String2, StrLen (String2));
}

/**
  Position of the extension separator: the last "." at position 1 or more.

  @return The position, or the name's length when there is none.
**/
STATIC
UINTN
ExtensionSeparator (
  IN CONST CHAR16  *Name,
  IN UINTN         Length
  )
{
  for (UINTN Index = Length; Index > 1; Index--) {
    if (Name[Index - 1] == '.') {
      return Index - 1;
    }
  }

  return Length;
}

INTN
CompareFileNames (
  IN CONST CHAR16  *Name1,
  IN CONST CHAR16  *Name2
  )
{
  UINTN  Length1 = StrLen (Name1);
  UINTN  Length2 = StrLen (Name2);
  UINTN  Dot1    = ExtensionSeparator (Name1, Length1);
  UINTN  Dot2    = ExtensionSeparator (Name2, Length2);
  INTN   Result;

  if ((Dot1 == Length1) && (Dot2 == Length2)) {
    return CompareRangesNoCase (Name1, Length1, Name2, Length2);
  }

  if (Dot1 == Length1) {
    Result = CompareRangesNoCase (Name1, Length1, Name2, Dot2);
    return (Result <= 0) ? -1 : 1;
  }

  if (Dot2 == Length2) {
    Result = CompareRangesNoCase (Name1, Dot1, Name2, Length2);
    return (Result < 0) ? -1 : 1;
  }

  Result = CompareRangesNoCase (Name1, Dot1, Name2, Dot2);
  if (Result != 0) {
    return Result;
  }

  return CompareRangesNoCase (Name1 + Dot1 + 1, Length1 - Dot1 - 1, Name2 + Dot2 + 1, Length2 - Dot2 - 1);
}

STATIC
BOOLEAN
IsName (
  IN CONST CHAR16  *Name,
  IN CONST CHAR16  *Wanted
  )
{
  while ((*Name != 0) && (*Name == *Wanted)) {
    Name++;
    Wanted++;
  }

  return (BOOLEAN)(*Name == *Wanted);
}

/**
  Orders two directory entries: ".." first, then directories, then files,
  each by CompareFileNames. Left and Right point to entry pointers.
**/
INTN
EFIAPI
CompareDirectoryEntries (
  IN CONST VOID  *Left,
  IN CONST VOID  *Right
  )
{
  CONST EFI_FILE_INFO  *A = *(EFI_FILE_INFO *CONST *)Left;
  CONST EFI_FILE_INFO  *B = *(EFI_FILE_INFO *CONST *)Right;
  BOOLEAN              DirectoryA;
  BOOLEAN              DirectoryB;

  if (IsName (A->FileName, WSTR (".."))) {
    return -1;
  }

  if (IsName (B->FileName, WSTR (".."))) {
    return 1;
  }

  DirectoryA = (BOOLEAN)((A->Attribute & EFI_FILE_DIRECTORY) != 0);
  DirectoryB = (BOOLEAN)((B->Attribute & EFI_FILE_DIRECTORY) != 0);
  if (DirectoryA && !DirectoryB) {
    return -1;
  }

  if (DirectoryB && !DirectoryA) {
    return 1;
  }

  return CompareFileNames (A->FileName, B->FileName);
}

/**
  Reads the next entry of Directory into a new pool buffer.

  @return The entry, or NULL when the directory is exhausted, unreadable,
          the pool is exhausted, or the entry is not a whole EFI_FILE_INFO
          with a NUL-terminated name.
**/
STATIC
EFI_FILE_INFO *
ReadDirectoryEntry (
  IN  EFI_FILE_PROTOCOL  *Directory,
  OUT BOOLEAN            *Malformed
  )
{
  UINTN       Size;
  EFI_STATUS  Status;

  *Malformed = FALSE;
  Size       = 0;
  Status     = Directory->Read (Directory, &Size, NULL);
  if (Status != EFI_BUFFER_TOO_SMALL) {
    return NULL;
  }

  POOL_BUFFER<UINT8>  Entry ((UINT8 *)AllocatePool (Size));
  if (Entry.Get () == NULL) {
    return NULL;
  }

  Status = Directory->Read (Directory, &Size, Entry.Get ());
  if (EFI_ERROR (Status) || (Size == 0)) {
    return NULL;
  }

  //
  // The name must end inside the bytes the file system gave.
  //
  BYTE_VIEW  Bytes = { Entry.Get (), Size };
  CHAR16     Char  = 1;
  for (UINT64 Offset = SIZE_OF_EFI_FILE_INFO; Char != 0 && Bytes.Read (Offset, &Char); Offset += sizeof (CHAR16)) {
  }

  *Malformed = (BOOLEAN)(Char != 0);
  return (EFI_FILE_INFO *)(VOID *)Entry.Release ();
}

/**
  Lists Directory from its current position: every entry but ".", hidden
  and system ones, sorted, then a NULL pointer. The caller owns the array
  and every entry in it. Listing stops at a read error or when the pool runs
  out, with what was gathered.

  @param[in] Directory  An open directory.

  @return The NULL-terminated array, or NULL when not even an empty array
          could be allocated.
**/
EFI_FILE_INFO **
ReadUpdateDirectory (
  IN EFI_FILE_PROTOCOL  *Directory
  )
{
  ENTRY_ARRAY    *Array;
  EFI_FILE_INFO  *Entry;
  EFI_FILE_INFO  **Result;
  BOOLEAN        Malformed;

  Array = CreateEntryArray ();
  if (Array == NULL) {
    return NULL;
  }

  while ((Entry = ReadDirectoryEntry (Directory, &Malformed)) != NULL) {
    if (Malformed || IsName (Entry->FileName, WSTR (".")) ||
        ((Entry->Attribute & (EFI_FILE_HIDDEN | EFI_FILE_SYSTEM)) != 0))
    {
      FreePool (Entry);
      continue;
    }

    if (EFI_ERROR (AppendEntry (Array, &Entry))) {
      FreePool (Entry);
      break;
    }
  }

  PerformQuickSort (Array->Buffer, Array->Used / Array->ElementSize, Array->ElementSize, CompareDirectoryEntries);

  Entry = NULL;
  if (EFI_ERROR (AppendEntry (Array, &Entry))) {
    //
    // Full and no pool to grow: the last entry in order gives up its place
    // to the terminator.
    //
    Array->Used -= Array->ElementSize;
    FreePool (*(EFI_FILE_INFO **)(Array->Buffer + Array->Used));
    AppendEntry (Array, &Entry);
  }

  Result = (EFI_FILE_INFO **)(VOID *)Array->Buffer;
  FreePool (Array);
  return Result;
}
