/** @file
  A platform with one disk of two FAT partitions and the boot variables that
  point at them, for the tests of capsule delivery on disk. The volumes
  survive simulated resets.
**/
#ifndef DISK_FIXTURE_H_
#define DISK_FIXTURE_H_

#include "CapsuleBuilder.h"
#include "DevicePath.h"
#include "DriverFixture.h"
#include "FileSystem.h"

namespace Harness {

extern const EFI_GUID  DiskSignature;

class DiskTest : public DriverTest {
protected:
  Host::Volume    Esp;          // partition 1: the boot device
  Host::Volume    Data;         // partition 2
  EFI_HANDLE      EspHandle  = nullptr;
  EFI_HANDLE      DataHandle = nullptr;
  EFI_HANDLE      DiskHandle = nullptr;

  void InstallPlatform () override;
  void CheckPlatform () override;

  /// Device paths: the disk, and a partition (1 or 2) of it.
  static Host::DevicePathBuilder DiskPath ();
  static std::vector<UINT8> PartitionNode (UINT32 Number);
  static std::vector<UINT8> PartitionPath (UINT32 Number);

  /// A Boot#### load option with Path (a whole device path, end included).
  void SetBootOption (UINT16 Number, const std::vector<UINT8> &Path, const char *Description = "Disk", UINT32 Attributes = 1);
  void SetBootOrder (const std::vector<UINT16> &Order);
  void SetBootNext (UINT16 Number);
  /// BootOrder = {1}, Boot0001 = the short-form path of partition 1.
  void BootFromEsp ();
  void SetOsIndications (UINT64 Value, UINT32 Attributes = 7);
  UINT64 OsIndications () const;
  /// Files of \EFI\UpdateCapsule on the boot partition.
  void AddCapsuleFile (const std::string &Name, const Bytes &Contents, UINT64 Attribute = EFI_FILE_ARCHIVE);
  bool CapsuleFileExists (const std::string &Name) const;
};

}  // namespace Harness

#endif
