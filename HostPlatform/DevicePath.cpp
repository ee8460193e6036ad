#include "DevicePath.h"

#include <cstdio>
#include <cstring>

extern "C" {
#include <Protocol/DevicePathToText.h>
}

namespace Host {

bool  FailDevicePathConversions = false;

DevicePathBuilder &
DevicePathBuilder::Node (
  UINT8                     Type,
  UINT8                     SubType,
  const std::vector<UINT8>  &Data
  )
{
  UINT16  Length = (UINT16)(4 + Data.size ());

  mBytes.push_back (Type);
  mBytes.push_back (SubType);
  mBytes.push_back ((UINT8)Length);
  mBytes.push_back ((UINT8)(Length >> 8));
  mBytes.insert (mBytes.end (), Data.begin (), Data.end ());
  return *this;
}

DevicePathBuilder &
DevicePathBuilder::Raw (
  const std::vector<UINT8>  &Bytes
  )
{
  mBytes.insert (mBytes.end (), Bytes.begin (), Bytes.end ());
  return *this;
}

DevicePathBuilder &
DevicePathBuilder::Pci (
  UINT8  Device,
  UINT8  Function
  )
{
  return Node (HARDWARE_DEVICE_PATH, HW_PCI_DP, { Function, Device });
}

DevicePathBuilder &
DevicePathBuilder::Acpi (
  UINT32  Hid,
  UINT32  Uid
  )
{
  std::vector<UINT8>  Data (8);

  std::memcpy (Data.data (), &Hid, 4);
  std::memcpy (Data.data () + 4, &Uid, 4);
  return Node (ACPI_DEVICE_PATH, ACPI_DP, Data);
}

DevicePathBuilder &
DevicePathBuilder::Sata (
  UINT16  Port
  )
{
  std::vector<UINT8>  Data (6, 0);

  std::memcpy (Data.data (), &Port, 2);
  Data[2] = 0xFF;
  Data[3] = 0xFF;
  return Node (MESSAGING_DEVICE_PATH, MSG_SATA_DP, Data);
}

std::vector<UINT8>
HardDriveNode (
  UINT32          Partition,
  UINT64          Start,
  UINT64          Size,
  const EFI_GUID  &Signature
  )
{
  HARDDRIVE_DEVICE_PATH  Node;

  std::memset (&Node, 0, sizeof (Node));
  Node.Header.Type      = MEDIA_DEVICE_PATH;
  Node.Header.SubType   = MEDIA_HARDDRIVE_DP;
  Node.Header.Length[0] = sizeof (Node);
  Node.PartitionNumber  = Partition;
  Node.PartitionStart   = Start;
  Node.PartitionSize    = Size;
  std::memcpy (Node.Signature, &Signature, 16);
  Node.MBRType       = MBR_TYPE_EFI_PARTITION_TABLE_HEADER;
  Node.SignatureType = SIGNATURE_TYPE_GUID;
  return std::vector<UINT8>((UINT8 *)&Node, (UINT8 *)&Node + sizeof (Node));
}

DevicePathBuilder &
DevicePathBuilder::HardDrive (
  UINT32          Partition,
  UINT64          Start,
  UINT64          Size,
  const EFI_GUID  &Signature
  )
{
  return Raw (HardDriveNode (Partition, Start, Size, Signature));
}

DevicePathBuilder &
DevicePathBuilder::FilePath (
  const char  *Path
  )
{
  std::vector<UINT8>  Data;

  for (const char *C = Path; ; C++) {
    Data.push_back ((UINT8)*C);
    Data.push_back (0);
    if (*C == 0) {
      break;
    }
  }

  return Node (MEDIA_DEVICE_PATH, MEDIA_FILEPATH_DP, Data);
}

DevicePathBuilder &
DevicePathBuilder::End ()
{
  return Node (END_DEVICE_PATH_TYPE, END_ENTIRE_DEVICE_PATH_SUBTYPE, {});
}

std::string
DevicePathText (
  const UINT8  *Path
  )
{
  std::string  Text;
  char         Part[160];

  for (;;) {
    UINT8   Type    = Path[0];
    UINT8   SubType = Path[1];
    UINT16  Length  = (UINT16)(Path[2] | (Path[3] << 8));

    if ((Type == END_DEVICE_PATH_TYPE) && (SubType == END_ENTIRE_DEVICE_PATH_SUBTYPE)) {
      break;
    }

    if (!Text.empty ()) {
      Text += "/";
    }

    if ((Type == HARDWARE_DEVICE_PATH) && (SubType == HW_PCI_DP)) {
      std::snprintf (Part, sizeof (Part), "Pci(0x%X,0x%X)", Path[5], Path[4]);
    } else if ((Type == ACPI_DEVICE_PATH) && (SubType == ACPI_DP)) {
      UINT32  Uid;
      std::memcpy (&Uid, Path + 8, 4);
      std::snprintf (Part, sizeof (Part), "PciRoot(0x%X)", Uid);
    } else if ((Type == MEDIA_DEVICE_PATH) && (SubType == MEDIA_HARDDRIVE_DP)) {
      HARDDRIVE_DEVICE_PATH  Hd;
      EFI_GUID               Signature;
      std::memcpy (&Hd, Path, sizeof (Hd));
      std::memcpy (&Signature, Hd.Signature, 16);
      std::snprintf (
        Part,
        sizeof (Part),
        "HD(%u,GPT,%s,0x%llX,0x%llX)",
        Hd.PartitionNumber,
        GuidName (Signature).c_str (),
        (unsigned long long)Hd.PartitionStart,
        (unsigned long long)Hd.PartitionSize
        );
    } else if ((Type == MEDIA_DEVICE_PATH) && (SubType == MEDIA_FILEPATH_DP)) {
      std::string  Name;
      for (size_t Offset = 4; Offset + 1 < Length && Path[Offset] != 0; Offset += 2) {
        Name.push_back ((char)Path[Offset]);
      }

      std::snprintf (Part, sizeof (Part), "%s", Name.c_str ());
    } else {
      std::snprintf (Part, sizeof (Part), "Path(%u,%u)", Type, SubType);
    }

    Text += Part;
    Path += Length;
  }

  return Text;
}

namespace {

CHAR16 * EFIAPI
ConvertToText (
  CONST EFI_DEVICE_PATH_PROTOCOL  *DevicePath,
  BOOLEAN                         DisplayOnly,
  BOOLEAN                         AllowShortcuts
  )
{
  Platform::Current ().Log ("ConvertDevicePathToText");
  if ((DevicePath == nullptr) || FailDevicePathConversions) {
    return nullptr;
  }

  std::string  Text   = DevicePathText ((const UINT8 *)DevicePath);
  auto         *Wide  = (CHAR16 *)Platform::Current ().PoolAllocate ((Text.size () + 1) * sizeof (CHAR16));
  for (size_t Index = 0; Index <= Text.size (); Index++) {
    Wide[Index] = (unsigned char)Text.c_str ()[Index];
  }

  return Wide;
}

EFI_DEVICE_PATH_TO_TEXT_PROTOCOL  mToText = { ConvertToText, ConvertToText };

}  // namespace

void
InstallDevicePathToText (
  Platform  &Target
  )
{
  FailDevicePathConversions = false;
  Target.InstallProtocol (nullptr, gEfiDevicePathToTextProtocolGuid, &mToText);
}

}  // namespace Host
