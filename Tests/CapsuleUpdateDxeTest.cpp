// Driver entry, the trigger protocol and the order of the update pass.
#include "CapsuleBuilder.h"
#include "DriverFixture.h"

using namespace Harness;

namespace {

EFI_STATUS EFIAPI
RefuseInstall (
  EFI_HANDLE          *Handle,
  EFI_GUID            *Protocol,
  EFI_INTERFACE_TYPE  InterfaceType,
  VOID                *Interface
  )
{
  return EFI_OUT_OF_RESOURCES;
}

int  mFmpStandIn;

}  // namespace

class EntryTest : public DriverTest {};

TEST_F (EntryTest, KeepsServiceTablesAndInstallsTriggerOnAHandleOfItsOwn)
{
  EXPECT_EQ (EntryStatus, EFI_SUCCESS);
  EXPECT_EQ (gST, Platform.SystemTable ());
  EXPECT_EQ (gBS, Platform.SystemTable ()->BootServices);
  EXPECT_EQ (gRT, Platform.SystemTable ()->RuntimeServices);
  EXPECT_EQ (gImageHandle, ImageHandle);

  auto  Handles = Platform.HandlesWith (gCapsuleUpdateTriggerProtocolGuid);
  ASSERT_EQ (Handles.size (), 1u);
  EXPECT_NE (Handles[0], ImageHandle);
  EXPECT_EQ (Platform.Protocol (ImageHandle, gCapsuleUpdateTriggerProtocolGuid), nullptr);
  ASSERT_NE (Trigger, nullptr);
  EXPECT_EQ (Trigger->ProcessPendingCapsules, &ProcessPendingCapsules);
}

TEST_F (EntryTest, ReturnsTheInstallFailureUnchanged)
{
  Platform.Reboot ();
  Platform.SystemTable ()->BootServices->InstallProtocolInterface = RefuseInstall;
  LoadDriver ();
  EXPECT_EQ (EntryStatus, EFI_OUT_OF_RESOURCES);
  EXPECT_EQ (Trigger, nullptr);
}

class PassTest : public DriverTest {};

TEST_F (PassTest, EmptyPassTakesAndFreesTheFmpSnapshotAndReturns)
{
  Platform.InstallProtocol (nullptr, gEfiFirmwareManagementProtocolGuid, &mFmpStandIn);
  Platform.InstallProtocol (nullptr, gEfiFirmwareManagementProtocolGuid, &mFmpStandIn);
  Platform.Calls.clear ();

  EXPECT_EQ (RunPass (), PassEnd::Returned);

  ASSERT_FALSE (Platform.Calls.empty ());
  EXPECT_EQ (Platform.Calls.front (), "LocateHandleBuffer FMP");
  EXPECT_EQ (Platform.CallsStartingWith ("FreePool").size (), 1u);
  // Capsule files are looked for, then "CapsuleMax" is published, then the
  // snapshot is freed.
  auto  At = [&](const std::string &Line) { return std::find (Platform.Calls.begin (), Platform.Calls.end (), Line) - Platform.Calls.begin (); };
  EXPECT_LT (At ("GetVariable OsIndications"), At ("SetVariable CapsuleMax"));
  EXPECT_LT (At ("SetVariable CapsuleMax"), At ("FreePool"));
  EXPECT_LT (At ("FreePool"), (long)Platform.Calls.size ());
  EXPECT_EQ (mFmpHandlesAtStart, nullptr);
  EXPECT_EQ (mFmpHandleCountAtStart, 0u);
}

TEST_F (PassTest, NoFmpInstanceOrFailedSnapshotGivesAnEmptySnapshot)
{
  // No instance at all: the lookup fails and the pass goes on.
  EXPECT_EQ (RunPass (), PassEnd::Returned);
  EXPECT_TRUE (Platform.CallsStartingWith ("FreePool").empty ());

  // The lookup fails for want of pool.
  Platform.InstallProtocol (nullptr, gEfiFirmwareManagementProtocolGuid, &mFmpStandIn);
  Platform.FailAllocation (1);
  EXPECT_EQ (RunPass (), PassEnd::Returned);
  EXPECT_EQ (mFmpHandleCountAtStart, 0u);
}
