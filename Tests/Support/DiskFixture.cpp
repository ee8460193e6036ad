#include "DiskFixture.h"

#include <cstring>

namespace Harness {

const EFI_GUID  DiskSignature = { 0x5e1f0001, 0xaaaa, 0xbbbb, { 1, 2, 3, 4, 5, 6, 7, 8 } };

namespace {

EFI_BLOCK_IO_MEDIA     mDiskMedia = { 1, FALSE, TRUE, FALSE, FALSE, FALSE, 512, 0, 0x100000 };
EFI_BLOCK_IO_PROTOCOL  mDiskBlockIo = { 0x00010000, &mDiskMedia, nullptr, nullptr, nullptr, nullptr };
std::vector<UINT8>     mDiskPathBytes;

}  // namespace

Host::DevicePathBuilder
DiskTest::DiskPath ()
{
  Host::DevicePathBuilder  Path;

  Path.Acpi (0x0A0341D0, 0).Pci (0x1F, 2).Sata (0);
  return Path;
}

std::vector<UINT8>
DiskTest::PartitionNode (
  UINT32  Number
  )
{
  return Host::HardDriveNode (Number, Number == 1 ? 0x800 : 0x20800, 0x20000, DiskSignature);
}

std::vector<UINT8>
DiskTest::PartitionPath (
  UINT32  Number
  )
{
  return DiskPath ().Raw (PartitionNode (Number)).End ().Bytes ();
}

void
DiskTest::InstallPlatform ()
{
  DriverTest::InstallPlatform ();
  Esp.ForgetOpenHandles ();
  Data.ForgetOpenHandles ();
  // The whole disk: block I/O and a device path, no file system.
  mDiskPathBytes = DiskPath ().End ().Bytes ();
  DiskHandle     = Platform.InstallProtocol (nullptr, gEfiBlockIoProtocolGuid, &mDiskBlockIo);
  Platform.InstallProtocol (DiskHandle, gEfiDevicePathProtocolGuid, mDiskPathBytes.data ());
  EspHandle  = Esp.Install (Platform, PartitionPath (1));
  DataHandle = Data.Install (Platform, PartitionPath (2));
}

void
DiskTest::CheckPlatform ()
{
  EXPECT_EQ (Esp.OpenHandles (), 0u) << "file handles left open";
  EXPECT_EQ (Data.OpenHandles (), 0u) << "file handles left open";
}

void
DiskTest::SetBootOption (
  UINT16                    Number,
  const std::vector<UINT8>  &Path,
  const char                *Description,
  UINT32                    Attributes
  )
{
  Bytes  Option;
  char   Name[16];

  Put<UINT32>(Option, 0, Attributes);
  Put<UINT16>(Option, 4, (UINT16)Path.size ());
  for (const char *C = Description; ; C++) {
    Option.push_back ((UINT8)*C);
    Option.push_back (0);
    if (*C == 0) {
      break;
    }
  }

  Option.insert (Option.end (), Path.begin (), Path.end ());
  std::snprintf (Name, sizeof (Name), "Boot%04X", Number);
  Platform.SetVariable (Host::U16 (Name), gEfiGlobalVariableGuid, 7, Option);
}

void
DiskTest::SetBootOrder (
  const std::vector<UINT16>  &Order
  )
{
  Bytes  Data (Order.size () * 2);

  std::memcpy (Data.data (), Order.data (), Data.size ());
  Platform.SetVariable (u"BootOrder", gEfiGlobalVariableGuid, 7, Data);
}

void
DiskTest::SetBootNext (
  UINT16  Number
  )
{
  Platform.SetVariable (u"BootNext", gEfiGlobalVariableGuid, 7, { (UINT8)Number, (UINT8)(Number >> 8) });
}

void
DiskTest::BootFromEsp ()
{
  SetBootOption (1, Host::DevicePathBuilder ().Raw (PartitionNode (1)).FilePath ("\\EFI\\BOOT\\BOOTX64.EFI").End ().Bytes ());
  SetBootOrder ({ 1 });
}

void
DiskTest::SetOsIndications (
  UINT64  Value,
  UINT32  Attributes
  )
{
  Bytes  Data (8);

  std::memcpy (Data.data (), &Value, 8);
  Platform.SetVariable (u"OsIndications", gEfiGlobalVariableGuid, Attributes, Data);
}

UINT64
DiskTest::OsIndications () const
{
  const Host::Variable  *V = Platform.GetVariable (u"OsIndications", gEfiGlobalVariableGuid);
  UINT64                Value = 0;

  if (V != nullptr) {
    std::memcpy (&Value, V->Data.data (), V->Data.size () < 8 ? V->Data.size () : 8);
  }

  return Value;
}

void
DiskTest::AddCapsuleFile (
  const std::string  &Name,
  const Bytes        &Contents,
  UINT64             Attribute
  )
{
  Esp.AddFile ("EFI/UpdateCapsule/" + Name, Contents, Attribute);
}

bool
DiskTest::CapsuleFileExists (
  const std::string  &Name
  ) const
{
  return Esp.Exists ("EFI/UpdateCapsule/" + Name);
}

}  // namespace Harness
