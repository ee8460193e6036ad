#include "FileSystem.h"

#include <algorithm>
#include <cstring>

namespace Host {

struct OpenFile {
  EFI_FILE_PROTOCOL    Protocol;     // first: the handle is this record
  Volume               *Owner;
  FileNode             *Node;
  UINT64               Mode;
  UINT64               Position;
  size_t               DirectoryIndex;
};

namespace {

char16_t
Upper (
  char16_t  C
  )
{
  return (C >= u'a' && C <= u'z') ? (char16_t)(C - 32) : C;
}

bool
SameName (
  const std::u16string  &A,
  const std::u16string  &B
  )
{
  if (A.size () != B.size ()) {
    return false;
  }

  for (size_t Index = 0; Index < A.size (); Index++) {
    if (Upper (A[Index]) != Upper (B[Index])) {
      return false;
    }
  }

  return true;
}

std::vector<std::u16string>
SplitPath (
  const std::u16string  &Path
  )
{
  std::vector<std::u16string>  Parts;
  std::u16string               Part;

  for (char16_t C : Path) {
    if ((C == u'\\') || (C == u'/')) {
      if (!Part.empty ()) {
        Parts.push_back (Part);
      }

      Part.clear ();
    } else {
      Part.push_back (C);
    }
  }

  if (!Part.empty ()) {
    Parts.push_back (Part);
  }

  return Parts;
}

FileNode *
Child (
  FileNode              *Directory,
  const std::u16string  &Name
  )
{
  for (auto &Entry : Directory->Children) {
    if (SameName (Entry->Name, Name)) {
      return Entry.get ();
    }
  }

  return nullptr;
}

/// Walks Path from Start (from the root when it begins with a separator).
/// Returns the node, or null with *Parent and *Leaf set when only the last
/// component is missing.
FileNode *
Walk (
  FileNode              *Root,
  FileNode              *Start,
  const std::u16string  &Path,
  FileNode              **Parent,
  std::u16string        *Leaf
  )
{
  FileNode  *Node = (!Path.empty () && (Path[0] == u'\\' || Path[0] == u'/')) ? Root : Start;
  auto      Parts = SplitPath (Path);

  *Parent = nullptr;
  for (size_t Index = 0; Index < Parts.size (); Index++) {
    if (Parts[Index] == u".") {
      continue;
    }

    if (Parts[Index] == u"..") {
      Node = Node->Parent != nullptr ? Node->Parent : Node;
      continue;
    }

    FileNode  *Next = Node->IsDirectory () ? Child (Node, Parts[Index]) : nullptr;
    if (Next == nullptr) {
      if ((Index + 1 == Parts.size ()) && Node->IsDirectory ()) {
        *Parent = Node;
        *Leaf   = Parts[Index];
      }

      return nullptr;
    }

    Node = Next;
  }

  return Node;
}

/// A directory's size as OVMF's FAT driver reports it: one 1024-byte
/// cluster, except the root (its ".." entry in a first-level directory),
/// which has no cluster of its own.
UINT64
DirectorySize (
  const FileNode  &Node
  )
{
  return Node.Parent == nullptr ? 0 : 1024;
}

std::vector<UINT8>
FileInfo (
  const FileNode        &Node,
  const std::u16string  &Name
  )
{
  std::vector<UINT8>  Info (SIZE_OF_EFI_FILE_INFO + (Name.size () + 1) * 2, 0);
  EFI_FILE_INFO       Header {};

  Header.Size         = Info.size ();
  Header.FileSize     = Node.IsDirectory () ? DirectorySize (Node) : Node.Data.size ();
  Header.PhysicalSize = (Header.FileSize + 511) / 512 * 512;
  Header.Attribute    = Node.Attribute;
  std::memcpy (Info.data (), &Header, SIZE_OF_EFI_FILE_INFO);
  std::memcpy (Info.data () + SIZE_OF_EFI_FILE_INFO, Name.c_str (), (Name.size () + 1) * 2);
  return Info;
}

OpenFile *
Self (
  EFI_FILE_PROTOCOL  *This
  )
{
  return reinterpret_cast<OpenFile *>(This);
}

void
CloseHandle (
  OpenFile  *File
  )
{
  File->Owner->mOpen.erase (File);
  delete File;
}

bool
CheckLive (
  OpenFile  *File
  )
{
  if (File->Owner->mOpen.count (File) == 0) {
    Platform::Current ().Fault ("use of a closed file handle");
    return false;
  }

  return true;
}

OpenFile *NewHandle (Volume *Owner, FileNode *Node, UINT64 Mode);

EFI_STATUS EFIAPI
FileOpen (
  EFI_FILE_PROTOCOL  *This,
  EFI_FILE_PROTOCOL  **NewHandleOut,
  CHAR16             *FileName,
  UINT64             OpenMode,
  UINT64             Attributes
  )
{
  OpenFile        *File = Self (This);
  Platform        &P    = Platform::Current ();
  FileNode        *Parent;
  std::u16string  Leaf;
  std::u16string  Name;

  if (!CheckLive (File)) {
    return EFI_INVALID_PARAMETER;
  }

  for (CHAR16 *C = FileName; C != nullptr && *C != 0; C++) {
    Name.push_back ((char16_t)*C);
  }

  P.Log ("Open " + Narrow (Name));
  if ((NewHandleOut == nullptr) || (FileName == nullptr) ||
      ((OpenMode != EFI_FILE_MODE_READ) && (OpenMode != (EFI_FILE_MODE_READ | EFI_FILE_MODE_WRITE)) &&
       (OpenMode != (EFI_FILE_MODE_READ | EFI_FILE_MODE_WRITE | EFI_FILE_MODE_CREATE))))
  {
    return EFI_INVALID_PARAMETER;
  }

  FileNode  *Node = Walk (&File->Owner->Root, File->Node, Name, &Parent, &Leaf);
  if (Node == nullptr) {
    if (!(OpenMode & EFI_FILE_MODE_CREATE) || (Parent == nullptr)) {
      return EFI_NOT_FOUND;
    }

    if (File->Owner->WriteProtected) {
      return EFI_WRITE_PROTECTED;
    }

    if (P.ResetHappened ()) {
      P.Fault ("file created after the reset");
    }

    auto  Created = std::make_unique<FileNode>();
    Created->Name      = Leaf;
    Created->Attribute = (Attributes & EFI_FILE_VALID_ATTR) | EFI_FILE_ARCHIVE;
    Created->Parent    = Parent;
    Node               = Created.get ();
    Parent->Children.push_back (std::move (Created));
  } else if (OpenMode & EFI_FILE_MODE_WRITE) {
    if (File->Owner->WriteProtected) {
      return EFI_WRITE_PROTECTED;
    }

    if (Node->Attribute & EFI_FILE_READ_ONLY) {
      return EFI_ACCESS_DENIED;
    }
  }

  *NewHandleOut = &NewHandle (File->Owner, Node, OpenMode)->Protocol;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI
FileClose (
  EFI_FILE_PROTOCOL  *This
  )
{
  if (!CheckLive (Self (This))) {
    return EFI_INVALID_PARAMETER;
  }

  CloseHandle (Self (This));
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI
FileDelete (
  EFI_FILE_PROTOCOL  *This
  )
{
  OpenFile  *File = Self (This);
  Platform  &P    = Platform::Current ();

  if (!CheckLive (File)) {
    return EFI_INVALID_PARAMETER;
  }

  P.Log ("Delete " + Narrow (File->Node->Name));
  FileNode  *Node   = File->Node;
  bool      Refused = !(File->Mode & EFI_FILE_MODE_WRITE) || (Node->Attribute & EFI_FILE_READ_ONLY) ||
                      File->Owner->WriteProtected || (Node->Parent == nullptr) || !Node->Children.empty ();

  CloseHandle (File);
  if (Refused) {
    return EFI_WARN_DELETE_FAILURE;
  }

  if (P.ResetHappened ()) {
    P.Fault ("file deleted after the reset");
  }

  auto  &Siblings = Node->Parent->Children;
  Siblings.erase (
             std::remove_if (Siblings.begin (), Siblings.end (), [Node](const std::unique_ptr<FileNode> &C) { return C.get () == Node; }),
             Siblings.end ()
             );
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI
FileRead (
  EFI_FILE_PROTOCOL  *This,
  UINTN              *BufferSize,
  VOID               *Buffer
  )
{
  OpenFile  *File = Self (This);
  Volume    *Vol;

  if (!CheckLive (File) || (BufferSize == nullptr)) {
    return EFI_INVALID_PARAMETER;
  }

  Vol = File->Owner;
  if (!File->Node->IsDirectory ()) {
    UINT64  Available = File->Position < File->Node->Data.size () ? File->Node->Data.size () - File->Position : 0;
    UINTN   Count     = *BufferSize < Available ? *BufferSize : (UINTN)Available;
    if ((Count != 0) && (Buffer == nullptr)) {
      return EFI_INVALID_PARAMETER;
    }

    if (Count != 0) {
      std::memcpy (Buffer, File->Node->Data.data () + File->Position, Count);
    }

    File->Position += Count;
    *BufferSize     = Count;
    return EFI_SUCCESS;
  }

  if ((Vol->DirectoryReadFault != EFI_SUCCESS) && (File->DirectoryIndex >= Vol->DirectoryReadFaultAfter)) {
    return Vol->DirectoryReadFault;
  }

  //
  // A subdirectory lists "." and ".." first; the root has neither.
  //
  size_t  Dots  = File->Node->Parent != nullptr ? 2 : 0;
  size_t  Index = File->DirectoryIndex;
  if (Index >= Dots + File->Node->Children.size ()) {
    *BufferSize = 0;
    return EFI_SUCCESS;
  }

  std::vector<UINT8>  Info;
  if (Index < Dots) {
    // "." is this directory, ".." its parent.
    Info = FileInfo (Index == 0 ? *File->Node : *File->Node->Parent, Index == 0 ? u"." : u"..");
  } else {
    FileNode  &Entry = *File->Node->Children[Index - Dots];
    Info = FileInfo (Entry, Entry.Name);
  }

  if (*BufferSize < Info.size ()) {
    *BufferSize = Info.size ();
    return EFI_BUFFER_TOO_SMALL;
  }

  std::memcpy (Buffer, Info.data (), Info.size ());
  *BufferSize = Info.size ();
  File->DirectoryIndex++;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI
FileWrite (
  EFI_FILE_PROTOCOL  *This,
  UINTN              *BufferSize,
  VOID               *Buffer
  )
{
  OpenFile  *File = Self (This);
  Platform  &P    = Platform::Current ();

  if (!CheckLive (File) || (BufferSize == nullptr)) {
    return EFI_INVALID_PARAMETER;
  }

  P.Log ("Write " + std::to_string (*BufferSize));
  File->Owner->WriteSizes.push_back (*BufferSize);
  if (File->Node->IsDirectory ()) {
    return EFI_UNSUPPORTED;
  }

  if (File->Owner->WriteProtected) {
    return EFI_WRITE_PROTECTED;
  }

  if (!(File->Mode & EFI_FILE_MODE_WRITE)) {
    return EFI_ACCESS_DENIED;
  }

  if (P.ResetHappened ()) {
    P.Fault ("file written after the reset");
  }

  UINTN  Size = *BufferSize;
  if (File->Owner->WriteFault) {
    EFI_STATUS  Status = File->Owner->WriteFault (File->Node->Name, Size);
    if (EFI_ERROR (Status)) {
      *BufferSize = 0;
      return Status;
    }
  }

  auto  &Data = File->Node->Data;
  if (Data.size () < File->Position + Size) {
    Data.resize (File->Position + Size);
  }

  if (Size != 0) {
    std::memcpy (Data.data () + File->Position, Buffer, Size);
  }

  File->Position += Size;
  *BufferSize     = Size;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI
FileGetPosition (
  EFI_FILE_PROTOCOL  *This,
  UINT64             *Position
  )
{
  if (!CheckLive (Self (This)) || (Position == nullptr)) {
    return EFI_INVALID_PARAMETER;
  }

  *Position = Self (This)->Position;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI
FileSetPosition (
  EFI_FILE_PROTOCOL  *This,
  UINT64             Position
  )
{
  OpenFile  *File = Self (This);

  if (!CheckLive (File)) {
    return EFI_INVALID_PARAMETER;
  }

  if (File->Node->IsDirectory ()) {
    if (Position != 0) {
      return EFI_UNSUPPORTED;
    }

    File->DirectoryIndex = 0;
    return EFI_SUCCESS;
  }

  File->Position = (Position == MAX_UINT64) ? File->Node->Data.size () : Position;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI
FileGetInfo (
  EFI_FILE_PROTOCOL  *This,
  EFI_GUID           *InformationType,
  UINTN              *BufferSize,
  VOID               *Buffer
  )
{
  OpenFile  *File = Self (This);

  if (!CheckLive (File) || (InformationType == nullptr) || (BufferSize == nullptr)) {
    return EFI_INVALID_PARAMETER;
  }

  if (!(*InformationType == gEfiFileInfoGuid)) {
    return EFI_UNSUPPORTED;
  }

  std::vector<UINT8>  Info = FileInfo (*File->Node, File->Node->Name);
  if (*BufferSize < Info.size ()) {
    *BufferSize = Info.size ();
    return EFI_BUFFER_TOO_SMALL;
  }

  std::memcpy (Buffer, Info.data (), Info.size ());
  *BufferSize = Info.size ();
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI
FileSetInfo (
  EFI_FILE_PROTOCOL  *This,
  EFI_GUID           *InformationType,
  UINTN              BufferSize,
  VOID               *Buffer
  )
{
  Platform::Current ().Fault ("SetInfo is not modelled");
  return EFI_UNSUPPORTED;
}

EFI_STATUS EFIAPI
FileFlush (
  EFI_FILE_PROTOCOL  *This
  )
{
  return CheckLive (Self (This)) ? EFI_SUCCESS : EFI_INVALID_PARAMETER;
}

OpenFile *
NewHandle (
  Volume    *Owner,
  FileNode  *Node,
  UINT64    Mode
  )
{
  auto  *File = new OpenFile {};

  File->Protocol = {
    EFI_FILE_PROTOCOL_REVISION, FileOpen, FileClose, FileDelete, FileRead, FileWrite,
    FileGetPosition, FileSetPosition, FileGetInfo, FileSetInfo, FileFlush
  };
  File->Owner = Owner;
  File->Node  = Node;
  File->Mode  = Mode;
  Owner->mOpen.insert (File);
  return File;
}

}  // namespace

//
// The volume.
//

namespace {

EFI_STATUS EFIAPI
OpenVolume (
  EFI_SIMPLE_FILE_SYSTEM_PROTOCOL  *This,
  EFI_FILE_PROTOCOL                **Root
  )
{
  struct SimpleFsView {
    EFI_SIMPLE_FILE_SYSTEM_PROTOCOL    Protocol;
    Volume                             *Owner;
  };
  Volume  *Owner = reinterpret_cast<SimpleFsView *>(This)->Owner;

  Platform::Current ().Log ("OpenVolume");
  if (Root == nullptr) {
    return EFI_INVALID_PARAMETER;
  }

  *Root = &NewHandle (Owner, &Owner->Root, EFI_FILE_MODE_READ | EFI_FILE_MODE_WRITE)->Protocol;
  return EFI_SUCCESS;
}

}  // namespace

Volume::Volume ()
{
  Root.Attribute          = EFI_FILE_DIRECTORY;
  mSimpleFs.Protocol      = { EFI_SIMPLE_FILE_SYSTEM_PROTOCOL_REVISION, OpenVolume };
  mSimpleFs.Owner         = this;
  mMedia                  = {};
  mMedia.MediaPresent     = TRUE;
  mMedia.LogicalPartition = TRUE;
  mMedia.BlockSize        = 512;
  mBlockIo                = {};
  mBlockIo.Media          = &mMedia;
}

Volume::~Volume ()
{
  ForgetOpenHandles ();
}

void
Volume::ForgetOpenHandles ()
{
  for (OpenFile *File : mOpen) {
    delete File;
  }

  mOpen.clear ();
}

EFI_HANDLE
Volume::Install (
  Platform                  &Target,
  const std::vector<UINT8>  &DevicePath
  )
{
  mPlatform   = &Target;
  mDevicePath = DevicePath;
  EFI_HANDLE  Handle = Target.InstallProtocol (nullptr, gEfiSimpleFileSystemProtocolGuid, &mSimpleFs.Protocol);
  Target.InstallProtocol (Handle, gEfiBlockIoProtocolGuid, &mBlockIo);
  Target.InstallProtocol (Handle, gEfiDevicePathProtocolGuid, mDevicePath.data ());
  return Handle;
}

void
Volume::AddDirectory (
  const std::string  &Path,
  UINT64             Attribute
  )
{
  FileNode        *Parent;
  std::u16string  Leaf;
  FileNode        *Node = Walk (&Root, &Root, U16 (Path.c_str ()), &Parent, &Leaf);

  if (Node != nullptr) {
    return;
  }

  if (Parent == nullptr) {
    auto  Slash = Path.rfind ('/');
    AddDirectory (Path.substr (0, Slash));
    Walk (&Root, &Root, U16 (Path.c_str ()), &Parent, &Leaf);
  }

  auto  Created = std::make_unique<FileNode>();
  Created->Name      = Leaf;
  Created->Attribute = Attribute | EFI_FILE_DIRECTORY;
  Created->Parent    = Parent;
  Parent->Children.push_back (std::move (Created));
}

void
Volume::AddFile (
  const std::string         &Path,
  const std::vector<UINT8>  &Data,
  UINT64                    Attribute
  )
{
  auto  Slash = Path.rfind ('/');

  if (Slash != std::string::npos) {
    AddDirectory (Path.substr (0, Slash));
  }

  FileNode        *Parent;
  std::u16string  Leaf;
  FileNode        *Node = Walk (&Root, &Root, U16 (Path.c_str ()), &Parent, &Leaf);
  if (Node == nullptr) {
    auto  Created = std::make_unique<FileNode>();
    Created->Name   = Leaf;
    Created->Parent = Parent;
    Node            = Created.get ();
    Parent->Children.push_back (std::move (Created));
  }

  Node->Attribute = Attribute;
  Node->Data      = Data;
}

const FileNode *
Volume::Find (
  const std::string  &Path
  ) const
{
  FileNode        *Parent;
  std::u16string  Leaf;

  return Walk (const_cast<FileNode *>(&Root), const_cast<FileNode *>(&Root), U16 (Path.c_str ()), &Parent, &Leaf);
}

std::vector<std::string>
Volume::List (
  const std::string  &Directory
  ) const
{
  std::vector<std::string>  Names;
  const FileNode            *Node = Find (Directory);

  if (Node != nullptr) {
    for (auto &Entry : Node->Children) {
      Names.push_back (Narrow (Entry->Name));
    }
  }

  return Names;
}

size_t
DevicePathSizeWithoutEnd (
  const UINT8  *Path
  )
{
  size_t  Size = 0;

  while (!((Path[Size] == END_DEVICE_PATH_TYPE) && (Path[Size + 1] == END_ENTIRE_DEVICE_PATH_SUBTYPE))) {
    size_t  Length = Path[Size + 2] | (Path[Size + 3] << 8);
    if (Length < 4) {
      break;
    }

    Size += Length;
  }

  return Size;
}

}  // namespace Host
