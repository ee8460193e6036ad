/** @file
  Finds the HOB list in the system configuration table.
**/
#include <PiDxe.h>
#include <Guid/HobList.h>
#include <Library/BaseMemoryLib.h>
#include <Library/HobLib.h>
#include <Library/UefiBootServicesTableLib.h>

///
/// The HOB list once found. The host platform clears it when it simulates a
/// new boot, as a fresh image load would.
///
VOID  *mHobList = NULL;

VOID *
EFIAPI
GetHobList (
  VOID
  )
{
  UINTN  Index;

  if (mHobList != NULL) {
    return mHobList;
  }

  for (Index = 0; Index < gST->NumberOfTableEntries; Index++) {
    if (CompareGuid (&gEfiHobListGuid, &gST->ConfigurationTable[Index].VendorGuid)) {
      mHobList = gST->ConfigurationTable[Index].VendorTable;
      break;
    }
  }

  return mHobList;
}
