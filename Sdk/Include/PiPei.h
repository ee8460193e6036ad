/** @file
  Root include file for PEI modules (PEIMs): the base UEFI types and the PEI
  services of UEFI Platform Initialization (PI).
**/
#ifndef PI_PEI_H_
#define PI_PEI_H_

#include <Uefi/UefiBaseType.h>
#include <Pi/PiPeiCis.h>

#endif
