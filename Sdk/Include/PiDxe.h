/** @file
  Root include file for DXE modules.
**/
#ifndef PI_DXE_H_
#define PI_DXE_H_

#include <Uefi.h>
#include <Pi/PiHob.h>

#endif
