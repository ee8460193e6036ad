/** @file
  GUIDs as text in registry form (6DCBD5ED-E82D-4C44-BDA1-7194199AD92A), for
  the host programs: the tools, the end-to-end runner and the simulated
  platform's logs.
**/
#ifndef GUID_TEXT_H_
#define GUID_TEXT_H_

extern "C" {
#include <Uefi/UefiBaseType.h>
}

#include <string>

/// Registry form; upper case unless LowerCase (as efivarfs names files).
std::string
GuidText (
  const EFI_GUID  &Guid,
  bool            LowerCase = false
  );

#endif
