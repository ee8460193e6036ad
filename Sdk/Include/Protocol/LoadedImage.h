/** @file
  Loaded Image protocol: what the firmware knows about a loaded image, among
  it the device the image was loaded from and its file path there.
**/
#ifndef LOADED_IMAGE_PROTOCOL_H_
#define LOADED_IMAGE_PROTOCOL_H_

#include <Uefi/UefiSpec.h>

#define EFI_LOADED_IMAGE_PROTOCOL_GUID \
  { 0x5b1b31a1, 0x9562, 0x11d2, { 0x8e, 0x3f, 0x00, 0xa0, 0xc9, 0x69, 0x72, 0x3b } }

#define EFI_LOADED_IMAGE_PROTOCOL_REVISION  0x1000

typedef struct {
  UINT32                      Revision;
  EFI_HANDLE                  ParentHandle;
  EFI_SYSTEM_TABLE            *SystemTable;
  EFI_HANDLE                  DeviceHandle;
  EFI_DEVICE_PATH_PROTOCOL    *FilePath;
  VOID                        *Reserved;
  UINT32                      LoadOptionsSize;
  VOID                        *LoadOptions;
  VOID                        *ImageBase;
  UINT64                      ImageSize;
  EFI_MEMORY_TYPE             ImageCodeType;
  EFI_MEMORY_TYPE             ImageDataType;
  EFI_IMAGE_UNLOAD            Unload;
} EFI_LOADED_IMAGE_PROTOCOL;

#if defined (MDE_CPU_X64)
STATIC_ASSERT (OFFSET_OF (EFI_LOADED_IMAGE_PROTOCOL, DeviceHandle) == 24, "DeviceHandle");
STATIC_ASSERT (OFFSET_OF (EFI_LOADED_IMAGE_PROTOCOL, ImageBase) == 64, "ImageBase");
STATIC_ASSERT (sizeof (EFI_LOADED_IMAGE_PROTOCOL) == 96, "EFI_LOADED_IMAGE_PROTOCOL size");
#endif

extern EFI_GUID  gEfiLoadedImageProtocolGuid;

#endif
