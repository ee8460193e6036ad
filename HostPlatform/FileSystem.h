/** @file
  Simulated FAT volumes: a tree of files and directories that survives
  simulated resets, published on a handle with the Simple File System, Block
  I/O and Device Path protocols. File handles behave as OVMF's FAT driver:
  directory Read gives "." and ".." first in subdirectories and
  EFI_BUFFER_TOO_SMALL with the needed size, a read-only file cannot be
  opened for writing (EFI_ACCESS_DENIED), Delete of a read-only file or of a
  file opened for reading closes the handle and gives
  EFI_WARN_DELETE_FAILURE. Write-protected media and failing or short writes
  can be injected.
**/
#ifndef HOST_FILE_SYSTEM_H_
#define HOST_FILE_SYSTEM_H_

#include "HostPlatform.h"

extern "C" {
#include <Guid/FileInfo.h>
#include <Protocol/BlockIo.h>
#include <Protocol/SimpleFileSystem.h>
}

#include <set>

namespace Host {

struct FileNode {
  std::u16string                            Name;
  UINT64                                    Attribute = EFI_FILE_ARCHIVE;
  std::vector<UINT8>                        Data;
  std::vector<std::unique_ptr<FileNode>>    Children;
  FileNode                                  *Parent = nullptr;

  bool IsDirectory () const { return (Attribute & EFI_FILE_DIRECTORY) != 0; }
};

struct OpenFile;

class Volume {
public:
  Volume ();
  ~Volume ();
  Volume (const Volume &)            = delete;
  Volume &operator= (const Volume &) = delete;

  /// Publishes the volume on a new handle with DevicePath; returns it.
  EFI_HANDLE Install (Platform &Target, const std::vector<UINT8> &DevicePath);

  //
  // Contents, by paths like "EFI/UpdateCapsule/A.CAP" (case-insensitive).
  //
  void AddDirectory (const std::string &Path, UINT64 Attribute = 0);
  void AddFile (const std::string &Path, const std::vector<UINT8> &Data, UINT64 Attribute = EFI_FILE_ARCHIVE);
  const FileNode *Find (const std::string &Path) const;
  bool Exists (const std::string &Path) const { return Find (Path) != nullptr; }
  std::vector<std::string> List (const std::string &Directory) const;

  //
  // Faults.
  //
  bool    WriteProtected = false;
  /// Called before each Write with the file's name and the size asked for;
  /// may return an error, or lower Size to make a short write.
  std::function<EFI_STATUS (const std::u16string &Name, UINTN &Size)> WriteFault;
  /// Directory Read fails with this status once this many entries were read.
  EFI_STATUS  DirectoryReadFault = EFI_SUCCESS;
  size_t      DirectoryReadFaultAfter = 0;

  /// Sizes of every Write call, in order.
  std::vector<UINTN>  WriteSizes;
  /// Handles opened and not closed.
  size_t OpenHandles () const { return mOpen.size (); }
  /// Forgets the handles of an ended boot (a reset closes nothing).
  void ForgetOpenHandles ();

  // Used by the protocol functions.
  FileNode                          Root;
  std::set<OpenFile *>              mOpen;
  Platform                          *mPlatform = nullptr;

private:
  struct SimpleFs {
    EFI_SIMPLE_FILE_SYSTEM_PROTOCOL    Protocol;
    Volume                             *Owner;
  };
  SimpleFs                 mSimpleFs;
  EFI_BLOCK_IO_MEDIA       mMedia;
  EFI_BLOCK_IO_PROTOCOL    mBlockIo;
  std::vector<UINT8>       mDevicePath;
};

/// The bytes of a device path up to (not including) its end node.
size_t DevicePathSizeWithoutEnd (const UINT8 *Path);

}  // namespace Host

#endif
