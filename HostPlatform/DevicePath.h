/** @file
  Device paths for tests (built node by node) and the platform's Device Path
  To Text protocol.
**/
#ifndef HOST_DEVICE_PATH_H_
#define HOST_DEVICE_PATH_H_

#include "HostPlatform.h"

namespace Host {

/// Builds a device path's bytes; End() closes it.
class DevicePathBuilder {
public:
  DevicePathBuilder &Pci (UINT8 Device, UINT8 Function);
  DevicePathBuilder &Acpi (UINT32 Hid, UINT32 Uid);
  DevicePathBuilder &Sata (UINT16 Port);
  DevicePathBuilder &HardDrive (UINT32 Partition, UINT64 Start, UINT64 Size, const EFI_GUID &Signature);
  DevicePathBuilder &FilePath (const char *Path);
  DevicePathBuilder &Node (UINT8 Type, UINT8 SubType, const std::vector<UINT8> &Data);
  DevicePathBuilder &Raw (const std::vector<UINT8> &Bytes);
  DevicePathBuilder &End ();
  const std::vector<UINT8> &Bytes () const { return mBytes; }

private:
  std::vector<UINT8>  mBytes;
};

/// The hard-drive node alone (42 bytes), as a short-form option starts.
std::vector<UINT8> HardDriveNode (UINT32 Partition, UINT64 Start, UINT64 Size, const EFI_GUID &Signature);

/// Installs the Device Path To Text protocol. Conversions return pool
/// memory, or NULL while FailConversions is set.
void InstallDevicePathToText (Platform &Target);
extern bool  FailDevicePathConversions;

/// The text a conversion gives for Path, for comparisons in tests.
std::string DevicePathText (const UINT8 *Path);

}  // namespace Host

#endif
