/** @file
  Root include file for UEFI modules.
**/
#ifndef UEFI_H_
#define UEFI_H_

#include <Uefi/UefiBaseType.h>
#include <Uefi/UefiSpec.h>

#endif
