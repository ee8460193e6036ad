/** @file
  Device path protocol: the generic node header and the node types the
  modules read.
**/
#ifndef DEVICE_PATH_PROTOCOL_H_
#define DEVICE_PATH_PROTOCOL_H_

#include <Uefi/UefiBaseType.h>

#define EFI_DEVICE_PATH_PROTOCOL_GUID \
  { 0x09576e91, 0x6d3f, 0x11d2, { 0x8e, 0x39, 0x00, 0xa0, 0xc9, 0x69, 0x72, 0x3b } }

#pragma pack(1)

///
/// Header of every device path node; Length counts the whole node.
///
typedef struct {
  UINT8    Type;
  UINT8    SubType;
  UINT8    Length[2];
} EFI_DEVICE_PATH_PROTOCOL;

typedef EFI_DEVICE_PATH_PROTOCOL EFI_DEVICE_PATH;

#define HARDWARE_DEVICE_PATH     0x01
#define HW_PCI_DP                0x01
#define ACPI_DEVICE_PATH         0x02
#define ACPI_DP                  0x01
#define MESSAGING_DEVICE_PATH    0x03
#define MSG_SATA_DP              0x12
#define MSG_MAC_ADDR_DP          0x0b
#define MEDIA_DEVICE_PATH        0x04
#define MEDIA_HARDDRIVE_DP       0x01
#define MEDIA_FILEPATH_DP        0x04
#define END_DEVICE_PATH_TYPE     0x7f
#define END_ENTIRE_DEVICE_PATH_SUBTYPE    0xff
#define END_INSTANCE_DEVICE_PATH_SUBTYPE  0x01

typedef struct {
  EFI_DEVICE_PATH_PROTOCOL    Header;
  UINT8                       Function;
  UINT8                       Device;
} PCI_DEVICE_PATH;

typedef struct {
  EFI_DEVICE_PATH_PROTOCOL    Header;
  UINT32                      HID;
  UINT32                      UID;
} ACPI_HID_DEVICE_PATH;

typedef struct {
  EFI_DEVICE_PATH_PROTOCOL    Header;
  UINT32                      PartitionNumber;
  UINT64                      PartitionStart;
  UINT64                      PartitionSize;
  UINT8                       Signature[16];
  UINT8                       MBRType;
  UINT8                       SignatureType;
} HARDDRIVE_DEVICE_PATH;

#define MBR_TYPE_PCAT                        0x01
#define MBR_TYPE_EFI_PARTITION_TABLE_HEADER  0x02
#define SIGNATURE_TYPE_MBR                   0x01
#define SIGNATURE_TYPE_GUID                  0x02

typedef struct {
  EFI_DEVICE_PATH_PROTOCOL    Header;
  CHAR16                      PathName[1];
} FILEPATH_DEVICE_PATH;

#pragma pack()

STATIC_ASSERT (sizeof (EFI_DEVICE_PATH_PROTOCOL) == 4, "device path node header is 4 bytes");
STATIC_ASSERT (sizeof (HARDDRIVE_DEVICE_PATH) == 42, "hard drive node is 42 bytes");
STATIC_ASSERT (OFFSET_OF (HARDDRIVE_DEVICE_PATH, Signature) == 24, "HARDDRIVE_DEVICE_PATH.Signature");

extern EFI_GUID  gEfiDevicePathProtocolGuid;

#endif
