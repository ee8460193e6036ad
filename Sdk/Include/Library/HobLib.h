/** @file
  HOB list access.
**/
#ifndef HOB_LIB_H_
#define HOB_LIB_H_

/**
  Returns the start of the HOB list, found as the system configuration table
  entry with gEfiHobListGuid and kept after it has been found.

  @return The first HOB, or NULL when the system table has no HOB list.
**/
VOID *
EFIAPI
GetHobList (
  VOID
  );

#endif
