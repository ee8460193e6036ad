// Boot device resolution from BootNext / BootOrder and the load option.
#include "DiskFixture.h"

using namespace Harness;

class BootDeviceTest : public DiskTest {
protected:
  EFI_HANDLE
  Locate ()
  {
    Platform.Calls.clear ();
    return LocateBootDevice ();
  }

  bool
  Read (
    const char  *Name
    ) const
  {
    return std::find (Platform.Calls.begin (), Platform.Calls.end (), std::string ("GetVariable ") + Name) != Platform.Calls.end ();
  }
};

TEST_F (BootDeviceTest, BootNextWinsAndOnlyItsOptionIsTried)
{
  SetBootOption (1, PartitionPath (1));
  SetBootOption (3, DiskPath ().Raw (PartitionNode (2)).FilePath ("\\EFI\\BOOT\\BOOTX64.EFI").End ().Bytes ());
  SetBootOrder ({ 1, 3 });
  SetBootNext (3);
  EXPECT_EQ (Locate (), DataHandle) << "a full path with a file node resolves to its partition";
  EXPECT_FALSE (Read ("BootOrder"));

  // BootNext naming a missing option gives nothing, BootOrder is not tried.
  SetBootNext (7);
  EXPECT_EQ (Locate (), nullptr);
  EXPECT_FALSE (Read ("BootOrder"));
}

TEST_F (BootDeviceTest, OnlyTheFirstBootOrderEntryCountsAndItsNameIsUpperCase)
{
  SetBootOption (1, PartitionPath (1));
  SetBootOrder ({ 0x000A, 1 });
  EXPECT_EQ (Locate (), nullptr);
  EXPECT_TRUE (Read ("Boot000A"));
  EXPECT_FALSE (Read ("Boot0001"));

  SetBootOption (0x000A, PartitionPath (2), "", 0);   // inactive, empty description
  EXPECT_EQ (Locate (), DataHandle);
}

TEST_F (BootDeviceTest, AShortFormPathMatchesTheFirstPartitionWithAnIdenticalNode)
{
  auto  Short = [](std::vector<UINT8> Node) { return Host::DevicePathBuilder ().Raw (Node).FilePath ("\\X.EFI").End ().Bytes (); };

  SetBootOrder ({ 1 });
  SetBootOption (1, Short (PartitionNode (2)));
  EXPECT_EQ (Locate (), DataHandle);

  // Same signature, another number, start or size: no match.
  SetBootOption (1, Short (Host::HardDriveNode (3, 0x20800, 0x20000, DiskSignature)));
  EXPECT_EQ (Locate (), nullptr);
  SetBootOption (1, Short (Host::HardDriveNode (2, 0x20801, 0x20000, DiskSignature)));
  EXPECT_EQ (Locate (), nullptr);
  SetBootOption (1, Short (Host::HardDriveNode (2, 0x20800, 0x20001, DiskSignature)));
  EXPECT_EQ (Locate (), nullptr);
}

TEST_F (BootDeviceTest, APathThatLeadsToNoFileSystemGivesNothing)
{
  SetBootOrder ({ 4 });
  SetBootOption (4, DiskPath ().Node (MESSAGING_DEVICE_PATH, MSG_MAC_ADDR_DP, Bytes (33, 0x11)).End ().Bytes ());
  EXPECT_EQ (Locate (), nullptr);

  // A short form that starts with anything but a hard-drive node is not expanded.
  SetBootOption (4, Host::DevicePathBuilder ().FilePath ("\\EFI\\BOOT\\BOOTX64.EFI").End ().Bytes ());
  EXPECT_EQ (Locate (), nullptr);

  // Neither BootNext nor BootOrder.
  Platform.DeleteVariable (u"BootOrder", gEfiGlobalVariableGuid);
  EXPECT_EQ (Locate (), nullptr);
}

TEST_F (BootDeviceTest, MalformedBootVariablesAreNeverReadPastTheirData)
{
  struct Case {
    const char    *What;
    Bytes         BootOrder;
    Bytes         Option;
  };
  Bytes  Good = PartitionPath (1);
  auto   Option = [](const Bytes &Description, const Bytes &Path) {
    Bytes  O = { 1, 0, 0, 0, 0, 0 };
    O.insert (O.end (), Description.begin (), Description.end ());
    O.insert (O.end (), Path.begin (), Path.end ());
    return O;
  };
  Bytes  NoEnd (Good.begin (), Good.end () - 4);
  Bytes  ShortNode = Good;
  ShortNode[2] = 3;    // first node claims 3 bytes
  Bytes  LongNode = Good;
  LongNode[2] = 0xFF;  // first node reaches past the data
  Bytes  ShortHardDrive = { MEDIA_DEVICE_PATH, MEDIA_HARDDRIVE_DP, 10, 0, 1, 0, 0, 0, 0, 0, 0x7F, 0xFF, 4, 0 };
  const Case  Cases[] = {
    { "BootOrder of one byte",         { 1 },    Option ({ 'A', 0, 0, 0 }, Good) },
    { "description without NUL",       { 1, 0 }, Option ({ 'A', 0, 'B', 0 }, {}) },
    { "description ends on an odd byte", { 1, 0 }, Option ({ 'A', 0, 'B' }, {}) },
    { "path without end node",         { 1, 0 }, Option ({ 0, 0 }, NoEnd) },
    { "node shorter than its header",  { 1, 0 }, Option ({ 0, 0 }, ShortNode) },
    { "node longer than the data",     { 1, 0 }, Option ({ 0, 0 }, LongNode) },
    { "option of two bytes",           { 1, 0 }, { 1, 0 } },
    { "hard-drive node of 10 bytes",   { 1, 0 }, Option ({ 0, 0 }, ShortHardDrive) },
  };

  for (const Case &C : Cases) {
    SCOPED_TRACE (C.What);
    Platform.SetVariable (u"BootOrder", gEfiGlobalVariableGuid, 7, C.BootOrder);
    Platform.SetVariable (u"Boot0001", gEfiGlobalVariableGuid, 7, C.Option);
    EXPECT_EQ (Locate (), nullptr);
    EXPECT_EQ (Platform.LiveAllocations (), 0u);
  }
}
