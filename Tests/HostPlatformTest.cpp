// The simulated platform answers as OVMF was seen to answer in the
// end-to-end runs; these tests pin the behaviours the driver depends on.
#include "DiskFixture.h"

using namespace Harness;

class PlatformModelTest : public DiskTest {
protected:
  EFI_FILE_PROTOCOL *
  Root ()
  {
    auto               *Fs = (EFI_SIMPLE_FILE_SYSTEM_PROTOCOL *)Platform.Protocol (EspHandle, gEfiSimpleFileSystemProtocolGuid);
    EFI_FILE_PROTOCOL  *Handle = nullptr;

    EXPECT_EQ (Fs->OpenVolume (Fs, &Handle), EFI_SUCCESS);
    return Handle;
  }

  /// (name, attribute, size) of every entry Directory lists.
  std::vector<std::tuple<std::string, UINT64, UINT64>>
  Entries (
    EFI_FILE_PROTOCOL  *Directory
    )
  {
    std::vector<std::tuple<std::string, UINT64, UINT64>>  Result;

    for (;;) {
      UINT8  Buffer[512];
      UINTN  Size = 1;
      EFI_STATUS  Status = Directory->Read (Directory, &Size, Buffer);
      if (Status == EFI_SUCCESS && Size == 0) {
        break;
      }

      // Too small a buffer: the size needed, and the entry is not skipped.
      EXPECT_EQ (Status, EFI_BUFFER_TOO_SMALL);
      UINTN  Needed = Size;
      Size = sizeof (Buffer);
      EXPECT_EQ (Directory->Read (Directory, &Size, Buffer), EFI_SUCCESS);
      auto  *Info = (EFI_FILE_INFO *)Buffer;
      EXPECT_EQ (Size, Needed);
      EXPECT_EQ (Info->Size, Needed);
      Result.emplace_back (Host::Narrow (Info->FileName), Info->Attribute, Info->FileSize);
    }

    return Result;
  }
};

TEST_F (PlatformModelTest, GetVariableReportsTheAttributesAlsoWhenTheBufferIsTooSmall)
{
  UINT32  Attributes = 0;
  UINTN   Size       = 1;
  UINT8   Byte;

  Platform.SetVariable (u"Probe", gEfiGlobalVariableGuid, 2, { 1, 2, 3 });
  EXPECT_EQ (gRT->GetVariable ((CHAR16 *)u"Probe", &gEfiGlobalVariableGuid, &Attributes, &Size, &Byte), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ (Size, 3u);
  EXPECT_EQ (Attributes, 2u);

  // An absent variable leaves the size alone.
  Size = 7;
  EXPECT_EQ (gRT->GetVariable ((CHAR16 *)u"Absent", &gEfiGlobalVariableGuid, &Attributes, &Size, &Byte), EFI_NOT_FOUND);
  EXPECT_EQ (Size, 7u);
  Platform.DeleteVariable (u"Probe", gEfiGlobalVariableGuid);
}

TEST_F (PlatformModelTest, DirectoriesListDotsFirstOnlyBelowTheRootWithClusterSizes)
{
  Esp.AddFile ("EFI/UpdateCapsule/A.CAP", { 1, 2, 3 });
  Esp.AddDirectory ("EFI/UpdateCapsule/SUB");
  EFI_FILE_PROTOCOL  *RootHandle = Root ();
  EFI_FILE_PROTOCOL  *Directory;
  ASSERT_EQ (RootHandle->Open (RootHandle, &Directory, (CHAR16 *)u"\\EFI\\UpdateCapsule", EFI_FILE_MODE_READ, 0), EFI_SUCCESS);

  auto  Listed = Entries (Directory);
  ASSERT_EQ (Listed.size (), 4u);
  EXPECT_EQ (Listed[0], std::make_tuple (std::string ("."), EFI_FILE_DIRECTORY, 1024ull));
  EXPECT_EQ (Listed[1], std::make_tuple (std::string (".."), EFI_FILE_DIRECTORY, 1024ull)) << "the parent is EFI, not the root";
  EXPECT_EQ (Listed[2], std::make_tuple (std::string ("A.CAP"), EFI_FILE_ARCHIVE, 3ull));
  EXPECT_EQ (Listed[3], std::make_tuple (std::string ("SUB"), EFI_FILE_DIRECTORY, 1024ull));

  // The root lists neither "." nor ".."; ".." of a first-level directory is 0 bytes.
  auto  Top = Entries (RootHandle);
  ASSERT_EQ (Top.size (), 1u);
  EXPECT_EQ (std::get<0> (Top[0]), "EFI");
  EFI_FILE_PROTOCOL  *Efi;
  ASSERT_EQ (RootHandle->Open (RootHandle, &Efi, (CHAR16 *)u"EFI", EFI_FILE_MODE_READ, 0), EFI_SUCCESS);
  EXPECT_EQ (std::get<2> (Entries (Efi)[1]), 0u);

  Efi->Close (Efi);
  Directory->Close (Directory);
  RootHandle->Close (RootHandle);
}

TEST_F (PlatformModelTest, ReadOnlyFilesAndReadOnlyHandlesAreNotDeleted)
{
  Esp.AddFile ("R.CAP", { 1 }, EFI_FILE_READ_ONLY);
  Esp.AddFile ("W.CAP", { 1 });
  EFI_FILE_PROTOCOL  *RootHandle = Root ();
  EFI_FILE_PROTOCOL  *File;

  EXPECT_EQ (RootHandle->Open (RootHandle, &File, (CHAR16 *)u"R.CAP", EFI_FILE_MODE_READ | EFI_FILE_MODE_WRITE, 0), EFI_ACCESS_DENIED);
  for (const char16_t *Name : { u"R.CAP", u"W.CAP" }) {
    ASSERT_EQ (RootHandle->Open (RootHandle, &File, (CHAR16 *)Name, EFI_FILE_MODE_READ, 0), EFI_SUCCESS);
    EXPECT_EQ (File->Delete (File), EFI_WARN_DELETE_FAILURE);
  }

  EXPECT_TRUE (Esp.Exists ("R.CAP"));
  EXPECT_TRUE (Esp.Exists ("W.CAP"));
  RootHandle->Close (RootHandle);
}

TEST_F (PlatformModelTest, LocateDevicePathFindsTheLongestPrefixAndLeavesTheRest)
{
  auto                      Path   = DiskPath ().Raw (PartitionNode (2)).FilePath ("\\EFI\\BOOT\\BOOTX64.EFI").End ().Bytes ();
  EFI_DEVICE_PATH_PROTOCOL  *Remaining = (EFI_DEVICE_PATH_PROTOCOL *)Path.data ();
  EFI_HANDLE                Handle = nullptr;

  EXPECT_EQ (gBS->LocateDevicePath (&gEfiSimpleFileSystemProtocolGuid, &Remaining, &Handle), EFI_SUCCESS);
  EXPECT_EQ (Handle, DataHandle);
  EXPECT_EQ (Remaining->Type, MEDIA_DEVICE_PATH);
  EXPECT_EQ (Remaining->SubType, MEDIA_FILEPATH_DP);

  // The block I/O of the whole disk is a shorter prefix.
  Remaining = (EFI_DEVICE_PATH_PROTOCOL *)Path.data ();
  EXPECT_EQ (gBS->LocateDevicePath (&gEfiBlockIoProtocolGuid, &Remaining, &Handle), EFI_SUCCESS);
  EXPECT_EQ (Handle, DataHandle) << "the partition's block I/O is the longer match";

  // A short form starting with the hard-drive node is not expanded.
  auto  Short = Host::DevicePathBuilder ().Raw (PartitionNode (2)).End ().Bytes ();
  Remaining   = (EFI_DEVICE_PATH_PROTOCOL *)Short.data ();
  EXPECT_EQ (gBS->LocateDevicePath (&gEfiSimpleFileSystemProtocolGuid, &Remaining, &Handle), EFI_NOT_FOUND);
}
