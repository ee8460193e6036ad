/** @file
  The simulated platform: service tables, pool, handle database, variables,
  clock, configuration tables and reset.
**/
#include "HostPlatform.h"
#include "GuidText.h"

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>

extern "C" {
#include <Guid/HobList.h>
#include <Protocol/DevicePath.h>
#include <Protocol/FirmwareManagement.h>

extern VOID  *mHobList;
}

bool
operator< (
  const EFI_GUID  &A,
  const EFI_GUID  &B
  )
{
  return std::memcmp (&A, &B, sizeof (EFI_GUID)) < 0;
}

bool
operator== (
  const EFI_GUID  &A,
  const EFI_GUID  &B
  )
{
  return std::memcmp (&A, &B, sizeof (EFI_GUID)) == 0;
}

namespace Host {

namespace {

Platform  *gCurrent = nullptr;

std::map<EFI_GUID, std::string> &GuidNames ()
{
  static std::map<EFI_GUID, std::string>  Names;
  return Names;
}

std::u16string
FromChar16 (
  const CHAR16  *String
  )
{
  std::u16string  Result;

  for ( ; *String != 0; String++) {
    Result.push_back ((char16_t)*String);
  }

  return Result;
}

//
// Boot services.
//

EFI_STATUS EFIAPI
HostAllocatePool (
  EFI_MEMORY_TYPE  PoolType,
  UINTN            Size,
  VOID             **Buffer
  )
{
  EFI_STATUS  Status;

  if (Buffer == nullptr) {
    return EFI_INVALID_PARAMETER;
  }

  if (PoolType != EfiBootServicesData) {
    Platform::Current ().Fault ("AllocatePool of memory type " + std::to_string (PoolType));
  }

  *Buffer = Platform::Current ().PoolAllocateService (Size, &Status);
  return Status;
}

EFI_STATUS EFIAPI
HostFreePool (
  VOID  *Buffer
  )
{
  Platform::Current ().Log ("FreePool");
  return Platform::Current ().PoolFreeService (Buffer);
}

EFI_STATUS EFIAPI
HostInstallProtocolInterface (
  EFI_HANDLE          *Handle,
  EFI_GUID            *Protocol,
  EFI_INTERFACE_TYPE  InterfaceType,
  VOID                *Interface
  )
{
  Platform  &P = Platform::Current ();

  P.Log ("InstallProtocolInterface " + GuidName (*Protocol));
  if ((Handle == nullptr) || (Protocol == nullptr) || (InterfaceType != EFI_NATIVE_INTERFACE)) {
    return EFI_INVALID_PARAMETER;
  }

  if (*Handle != nullptr) {
    if (!P.HandleExists (*Handle)) {
      return EFI_INVALID_PARAMETER;
    }

    if (P.Protocol (*Handle, *Protocol) != nullptr) {
      return EFI_INVALID_PARAMETER;
    }
  }

  *Handle = P.InstallProtocol (*Handle, *Protocol, Interface);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI
HostUninstallProtocolInterface (
  EFI_HANDLE  Handle,
  EFI_GUID    *Protocol,
  VOID        *Interface
  )
{
  Platform                *P = &Platform::Current ();
  Platform::HandleRecord  *Record;

  P->Log ("UninstallProtocolInterface " + GuidName (*Protocol));
  Record = P->Find (Handle);
  if ((Record == nullptr) || (Protocol == nullptr)) {
    return EFI_INVALID_PARAMETER;
  }

  for (auto It = Record->Protocols.begin (); It != Record->Protocols.end (); ++It) {
    if ((It->first == *Protocol) && (It->second == Interface)) {
      Record->Protocols.erase (It);
      if (Record->Protocols.empty ()) {
        //
        // A handle without protocols ceases to exist.
        //
        P->HandleList ().remove_if ([Record](const std::unique_ptr<Platform::HandleRecord> &H) { return H.get () == Record; });
      }

      return EFI_SUCCESS;
    }
  }

  return EFI_NOT_FOUND;
}

EFI_STATUS EFIAPI
HostHandleProtocol (
  EFI_HANDLE  Handle,
  EFI_GUID    *Protocol,
  VOID        **Interface
  )
{
  Platform  &P = Platform::Current ();

  P.Log ("HandleProtocol " + GuidName (*Protocol));
  if ((Interface == nullptr) || (Protocol == nullptr) || !P.HandleExists (Handle)) {
    return EFI_INVALID_PARAMETER;
  }

  for (auto &Entry : P.Find (Handle)->Protocols) {
    if (Entry.first == *Protocol) {
      *Interface = Entry.second;
      return EFI_SUCCESS;
    }
  }

  *Interface = nullptr;
  return EFI_UNSUPPORTED;
}

EFI_STATUS EFIAPI
HostLocateHandleBuffer (
  EFI_LOCATE_SEARCH_TYPE  SearchType,
  EFI_GUID                *Protocol,
  VOID                    *SearchKey,
  UINTN                   *NoHandles,
  EFI_HANDLE              **Buffer
  )
{
  Platform    &P = Platform::Current ();
  EFI_STATUS  Status;

  P.Log ("LocateHandleBuffer " + (Protocol != nullptr ? GuidName (*Protocol) : std::string ("*")));
  if ((NoHandles == nullptr) || (Buffer == nullptr)) {
    return EFI_INVALID_PARAMETER;
  }

  if (SearchType != ByProtocol) {
    P.Fault ("LocateHandleBuffer with a search type the platform does not model");
    return EFI_UNSUPPORTED;
  }

  if (Protocol == nullptr) {
    return EFI_INVALID_PARAMETER;
  }

  auto  Failure = P.mLocateHandleBufferFailures.find (*Protocol);
  if (Failure != P.mLocateHandleBufferFailures.end ()) {
    return Failure->second;
  }

  std::vector<EFI_HANDLE>  Handles = P.HandlesWith (*Protocol);
  if (Handles.empty ()) {
    //
    // Real firmware leaves the outputs alone when nothing is found.
    //
    return EFI_NOT_FOUND;
  }

  *Buffer = (EFI_HANDLE *)P.PoolAllocateService (Handles.size () * sizeof (EFI_HANDLE), &Status);
  if (*Buffer == nullptr) {
    return Status;
  }

  std::memcpy (*Buffer, Handles.data (), Handles.size () * sizeof (EFI_HANDLE));
  *NoHandles = Handles.size ();
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI
HostLocateProtocol (
  EFI_GUID  *Protocol,
  VOID      *Registration,
  VOID      **Interface
  )
{
  Platform  &P = Platform::Current ();

  P.Log ("LocateProtocol " + GuidName (*Protocol));
  if ((Interface == nullptr) || (Protocol == nullptr)) {
    return EFI_INVALID_PARAMETER;
  }

  for (auto &Handle : P.HandleList ()) {
    for (auto &Entry : Handle->Protocols) {
      if (Entry.first == *Protocol) {
        *Interface = Entry.second;
        return EFI_SUCCESS;
      }
    }
  }

  *Interface = nullptr;
  return EFI_NOT_FOUND;
}

/// Offsets at which the nodes of a device path start, up to its end node.
std::vector<size_t>
NodeOffsets (
  const UINT8  *Path
  )
{
  std::vector<size_t>  Offsets;
  size_t               Offset = 0;

  for (;;) {
    Offsets.push_back (Offset);
    if ((Path[Offset] == END_DEVICE_PATH_TYPE) && (Path[Offset + 1] == END_ENTIRE_DEVICE_PATH_SUBTYPE)) {
      return Offsets;
    }

    size_t  Length = Path[Offset + 2] | (Path[Offset + 3] << 8);
    if (Length < 4) {
      return Offsets;
    }

    Offset += Length;
  }
}

EFI_STATUS EFIAPI
HostLocateDevicePath (
  EFI_GUID                  *Protocol,
  EFI_DEVICE_PATH_PROTOCOL  **DevicePath,
  EFI_HANDLE                *Device
  )
{
  Platform  &P = Platform::Current ();

  P.Log ("LocateDevicePath " + (Protocol != nullptr ? GuidName (*Protocol) : std::string ("*")));
  if ((Protocol == nullptr) || (DevicePath == nullptr) || (*DevicePath == nullptr) || (Device == nullptr)) {
    return EFI_INVALID_PARAMETER;
  }

  //
  // The handle with Protocol whose device path is the longest prefix of the
  // given path, ending on one of its node boundaries.
  //
  const UINT8  *Source  = (const UINT8 *)*DevicePath;
  auto         Bounds   = NodeOffsets (Source);
  EFI_HANDLE   Best     = nullptr;
  long         BestSize = -1;
  for (EFI_HANDLE Handle : P.HandlesWith (*Protocol)) {
    auto  *Path = (const UINT8 *)P.Protocol (Handle, gEfiDevicePathProtocolGuid);
    if (Path == nullptr) {
      continue;
    }

    size_t  Size = NodeOffsets (Path).back ();
    if ((std::find (Bounds.begin (), Bounds.end (), Size) != Bounds.end ()) &&
        (std::memcmp (Source, Path, Size) == 0) && ((long)Size > BestSize))
    {
      Best     = Handle;
      BestSize = (long)Size;
    }
  }

  if (Best == nullptr) {
    return EFI_NOT_FOUND;
  }

  *Device     = Best;
  *DevicePath = (EFI_DEVICE_PATH_PROTOCOL *)(Source + BestSize);
  return EFI_SUCCESS;
}

EFI_GUID  mLoadedImageGuid = { 0x5b1b31a1, 0x9562, 0x11d2, { 0x8e, 0x3f, 0x00, 0xa0, 0xc9, 0x69, 0x72, 0x3b } };
int       mLoadedImageStandIn;

EFI_STATUS EFIAPI
HostLoadImage (
  BOOLEAN                   BootPolicy,
  EFI_HANDLE                ParentImageHandle,
  EFI_DEVICE_PATH_PROTOCOL  *DevicePath,
  VOID                      *SourceBuffer,
  UINTN                     SourceSize,
  EFI_HANDLE                *ImageHandle
  )
{
  Platform  &P = Platform::Current ();

  P.Log ("LoadImage " + std::to_string (SourceSize));
  if ((ImageHandle == nullptr) || !P.HandleExists (ParentImageHandle)) {
    return EFI_INVALID_PARAMETER;
  }

  if (SourceBuffer == nullptr) {
    P.Fault ("LoadImage from a device path is not modelled");
    return EFI_NOT_FOUND;
  }

  for (size_t Index = 0; Index < P.mImages.size (); Index++) {
    auto  &Image = P.mImages[Index];
    if ((Image.Bytes.size () == SourceSize) && (std::memcmp (Image.Bytes.data (), SourceBuffer, SourceSize) == 0)) {
      if (EFI_ERROR (Image.LoadStatus)) {
        return Image.LoadStatus;
      }

      *ImageHandle = P.InstallProtocol (nullptr, mLoadedImageGuid, &mLoadedImageStandIn);
      P.Loaded.push_back ({ Index, ParentImageHandle, *ImageHandle, false });
      return EFI_SUCCESS;
    }
  }

  //
  // Read every byte, as a loader parsing the image would.
  //
  volatile UINT8  Sum = 0;
  for (UINTN Index = 0; Index < SourceSize; Index++) {
    Sum = Sum + ((UINT8 *)SourceBuffer)[Index];
  }

  return EFI_LOAD_ERROR;
}

EFI_STATUS EFIAPI
HostStartImage (
  EFI_HANDLE  ImageHandle,
  UINTN       *ExitDataSize,
  CHAR16      **ExitData
  )
{
  Platform  &P = Platform::Current ();

  P.Log ("StartImage");
  for (auto &Image : P.Loaded) {
    if ((Image.Handle == ImageHandle) && !Image.Started) {
      Image.Started = true;
      auto  &Start = P.mImages[Image.Behaviour].Start;
      return Start ? Start (ImageHandle) : EFI_SUCCESS;
    }
  }

  return EFI_INVALID_PARAMETER;
}

//
// Runtime services.
//

EFI_STATUS EFIAPI
HostGetTime (
  EFI_TIME               *Time,
  EFI_TIME_CAPABILITIES  *Capabilities
  )
{
  Platform  &P = Platform::Current ();

  P.Log ("GetTime");
  if (Time == nullptr) {
    return EFI_INVALID_PARAMETER;
  }

  if (EFI_ERROR (P.GetTimeStatus)) {
    return P.GetTimeStatus;
  }

  *Time = P.Now;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI
HostGetVariable (
  CHAR16    *VariableName,
  EFI_GUID  *VendorGuid,
  UINT32    *Attributes,
  UINTN     *DataSize,
  VOID      *Data
  )
{
  Platform  &P = Platform::Current ();

  if ((VariableName == nullptr) || (VendorGuid == nullptr) || (DataSize == nullptr)) {
    return EFI_INVALID_PARAMETER;
  }

  std::u16string  Name = FromChar16 (VariableName);
  P.Log ("GetVariable " + Narrow (Name));
  const Variable  *Found = P.GetVariable (Name, *VendorGuid);
  if (Found == nullptr) {
    return EFI_NOT_FOUND;
  }

  //
  // Like OVMF's variable service, the attributes are reported also when the
  // buffer is too small.
  //
  if (Attributes != nullptr) {
    *Attributes = Found->Attributes;
  }

  if (*DataSize < Found->Data.size ()) {
    *DataSize = Found->Data.size ();
    return EFI_BUFFER_TOO_SMALL;
  }

  if (Data == nullptr) {
    return EFI_INVALID_PARAMETER;
  }

  std::memcpy (Data, Found->Data.data (), Found->Data.size ());
  *DataSize = Found->Data.size ();
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI
HostSetVariable (
  CHAR16    *VariableName,
  EFI_GUID  *VendorGuid,
  UINT32    Attributes,
  UINTN     DataSize,
  VOID      *Data
  )
{
  Platform  &P = Platform::Current ();

  if ((VariableName == nullptr) || (VariableName[0] == 0) || (VendorGuid == nullptr)) {
    return EFI_INVALID_PARAMETER;
  }

  std::u16string  Name = FromChar16 (VariableName);
  P.Log ("SetVariable " + Narrow (Name));
  if (P.ResetHappened ()) {
    P.Fault ("SetVariable " + Narrow (Name) + " after the reset");
    return EFI_DEVICE_ERROR;
  }

  if (P.SetVariableFault) {
    EFI_STATUS  Status = P.SetVariableFault (Name);
    if (Status != EFI_SUCCESS) {
      return Status;
    }
  }

  if ((DataSize != 0) && (Data == nullptr)) {
    return EFI_INVALID_PARAMETER;
  }

  const Variable  *Existing = P.GetVariable (Name, *VendorGuid);
  if ((DataSize == 0) || ((Attributes & (EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS)) == 0)) {
    if (Existing == nullptr) {
      return EFI_NOT_FOUND;
    }

    P.DeleteVariable (Name, *VendorGuid);
    return EFI_SUCCESS;
  }

  if ((Attributes & EFI_VARIABLE_RUNTIME_ACCESS) && !(Attributes & EFI_VARIABLE_BOOTSERVICE_ACCESS)) {
    return EFI_INVALID_PARAMETER;
  }

  if ((Existing != nullptr) && (Existing->Attributes != Attributes)) {
    //
    // A variable keeps the attributes it was created with.
    //
    return EFI_INVALID_PARAMETER;
  }

  P.SetVariable (Name, *VendorGuid, Attributes, std::vector<UINT8> ((UINT8 *)Data, (UINT8 *)Data + DataSize));
  return EFI_SUCCESS;
}

VOID EFIAPI
HostResetSystem (
  EFI_RESET_TYPE  ResetType,
  EFI_STATUS      ResetStatus,
  UINTN           DataSize,
  VOID            *ResetData
  )
{
  Platform  &P = Platform::Current ();
  static const char  *Names[] = { "Cold", "Warm", "Shutdown", "PlatformSpecific" };

  P.Log (std::string ("ResetSystem ") + (ResetType <= EfiResetPlatformSpecific ? Names[ResetType] : "?"));
  P.mResets.push_back ({ ResetType, ResetStatus, P.LiveAllocations () });
  throw ResetRequested { ResetType, ResetStatus, P.LiveAllocations () };
}

}  // namespace

//
// Strings and GUIDs.
//

std::u16string
U16 (
  const char  *Ascii
  )
{
  std::u16string  Result;

  for ( ; *Ascii != 0; Ascii++) {
    Result.push_back ((unsigned char)*Ascii);
  }

  return Result;
}

std::string
Narrow (
  const std::u16string  &String
  )
{
  std::string  Result;

  for (char16_t C : String) {
    Result.push_back (C < 0x80 ? (char)C : '?');
  }

  return Result;
}

std::string
Narrow (
  const CHAR16  *String
  )
{
  return String == nullptr ? std::string ("(null)") : Narrow (FromChar16 (String));
}

void
NameGuid (
  const EFI_GUID     &Guid,
  const std::string  &Name
  )
{
  GuidNames ()[Guid] = Name;
}

std::string
GuidName (
  const EFI_GUID  &Guid
  )
{
  auto  It = GuidNames ().find (Guid);

  if (It != GuidNames ().end ()) {
    return It->second;
  }

  return GuidText (Guid);
}

//
// Platform.
//

Platform::Platform ()
  : mPrevious (gCurrent)
{
  gCurrent = this;
  NameGuid (gEfiFirmwareManagementProtocolGuid, "FMP");
  NameGuid (gEfiDevicePathProtocolGuid, "DevicePath");

  mBootServices.Hdr.Signature                = EFI_BOOT_SERVICES_SIGNATURE;
  mBootServices.Hdr.HeaderSize               = sizeof (mBootServices);
  mBootServices.AllocatePool                 = HostAllocatePool;
  mBootServices.FreePool                     = HostFreePool;
  mBootServices.InstallProtocolInterface     = HostInstallProtocolInterface;
  mBootServices.UninstallProtocolInterface   = HostUninstallProtocolInterface;
  mBootServices.HandleProtocol               = HostHandleProtocol;
  mBootServices.LocateHandleBuffer           = HostLocateHandleBuffer;
  mBootServices.LocateProtocol               = HostLocateProtocol;
  mBootServices.LoadImage                    = HostLoadImage;
  mBootServices.LocateDevicePath             = HostLocateDevicePath;
  mBootServices.StartImage                   = HostStartImage;

  mRuntimeServices.Hdr.Signature  = EFI_RUNTIME_SERVICES_SIGNATURE;
  mRuntimeServices.Hdr.HeaderSize = sizeof (mRuntimeServices);
  mRuntimeServices.GetTime        = HostGetTime;
  mRuntimeServices.GetVariable    = HostGetVariable;
  mRuntimeServices.SetVariable    = HostSetVariable;
  mRuntimeServices.ResetSystem    = HostResetSystem;

  mSystemTable.Hdr.Signature   = EFI_SYSTEM_TABLE_SIGNATURE;
  mSystemTable.Hdr.HeaderSize  = sizeof (mSystemTable);
  mSystemTable.BootServices    = &mBootServices;
  mSystemTable.RuntimeServices = &mRuntimeServices;

  Now = { 2026, 12, 11, 10, 30, 15, 0, 0, 0, 0, 0 };
  mHobList = nullptr;
}

Platform::~Platform ()
{
  for (auto &Entry : mPool) {
    std::free (Entry.first);
  }

  mHobList = nullptr;
  gCurrent = mPrevious;
}

Platform &
Platform::Current ()
{
  if (gCurrent == nullptr) {
    std::fprintf (stderr, "no simulated platform is active\n");
    std::abort ();
  }

  return *gCurrent;
}

void
Platform::CutPower ()
{
  Log ("PowerCut");
  mPowerCut = true;
  throw PowerCut {};
}

void
Platform::Fault (
  const std::string  &What
  )
{
  mFaults.push_back (What);
}

void *
Platform::PoolAllocateService (
  size_t      Size,
  EFI_STATUS  *Status
  )
{
  mAllocationCalls++;
  Log ("AllocatePool " + std::to_string (Size));
  if ((mAllocationCalls == mFailAt) || ((mFailFrom != 0) && (mAllocationCalls >= mFailFrom)) ||
      (FailAllocationIf && FailAllocationIf (Size)))
  {
    *Status = EFI_OUT_OF_RESOURCES;
    return nullptr;
  }

  //
  // Pool memory is not cleared in real firmware either: fill it with a
  // pattern so that reads of unset bytes show up.
  //
  void  *Buffer = std::malloc (Size == 0 ? 1 : Size);
  std::memset (Buffer, 0xAF, Size);
  mPool[Buffer] = Size;
  *Status       = EFI_SUCCESS;
  return Buffer;
}

void *
Platform::PoolAllocate (
  size_t  Size
  )
{
  EFI_STATUS  Status;

  return PoolAllocateService (Size, &Status);
}

EFI_STATUS
Platform::PoolFreeService (
  void  *Buffer
  )
{
  auto  It = mPool.find (Buffer);

  if (It == mPool.end ()) {
    mPoolErrors.push_back (Buffer == nullptr ? "FreePool(NULL)" : "FreePool of a buffer the pool does not own (double free or foreign pointer)");
    return EFI_INVALID_PARAMETER;
  }

  std::free (Buffer);
  mPool.erase (It);
  return EFI_SUCCESS;
}

Platform::HandleRecord *
Platform::Find (
  EFI_HANDLE  Handle
  ) const
{
  for (auto &Record : mHandles) {
    if ((EFI_HANDLE)Record.get () == Handle) {
      return Record.get ();
    }
  }

  return nullptr;
}

bool
Platform::HandleExists (
  EFI_HANDLE  Handle
  ) const
{
  return Handle != nullptr && Find (Handle) != nullptr;
}

EFI_HANDLE
Platform::InstallProtocol (
  EFI_HANDLE      Handle,
  const EFI_GUID  &Protocol,
  void            *Interface
  )
{
  HandleRecord  *Record = Find (Handle);

  if (Record == nullptr) {
    mHandles.push_back (std::make_unique<HandleRecord>());
    Record = mHandles.back ().get ();
  }

  Record->Protocols.push_back ({ Protocol, Interface });
  return (EFI_HANDLE)Record;
}

void *
Platform::Protocol (
  EFI_HANDLE      Handle,
  const EFI_GUID  &Protocol
  ) const
{
  HandleRecord  *Record = Find (Handle);

  if (Record != nullptr) {
    for (auto &Entry : Record->Protocols) {
      if (Entry.first == Protocol) {
        return Entry.second;
      }
    }
  }

  return nullptr;
}

std::vector<EFI_HANDLE>
Platform::HandlesWith (
  const EFI_GUID  &Protocol
  ) const
{
  std::vector<EFI_HANDLE>  Result;

  for (auto &Record : mHandles) {
    for (auto &Entry : Record->Protocols) {
      if (Entry.first == Protocol) {
        Result.push_back ((EFI_HANDLE)Record.get ());
        break;
      }
    }
  }

  return Result;
}

void
Platform::SetVariable (
  const std::u16string      &Name,
  const EFI_GUID            &Guid,
  UINT32                    Attributes,
  const std::vector<UINT8>  &Data
  )
{
  mVariables[{ Name, Guid }] = { Attributes, Data };
}

const Variable *
Platform::GetVariable (
  const std::u16string  &Name,
  const EFI_GUID        &Guid
  ) const
{
  auto  It = mVariables.find ({ Name, Guid });

  return It == mVariables.end () ? nullptr : &It->second;
}

void
Platform::DeleteVariable (
  const std::u16string  &Name,
  const EFI_GUID        &Guid
  )
{
  mVariables.erase ({ Name, Guid });
}

void
Platform::InstallConfigurationTable (
  const EFI_GUID  &Guid,
  void            *Table
  )
{
  for (auto &Entry : mConfigurationTables) {
    if (Entry.VendorGuid == Guid) {
      Entry.VendorTable = Table;
      return;
    }
  }

  mConfigurationTables.push_back ({ Guid, Table });
  mSystemTable.NumberOfTableEntries = mConfigurationTables.size ();
  mSystemTable.ConfigurationTable   = mConfigurationTables.data ();
}

void
Platform::Reboot ()
{
  for (auto It = mVariables.begin (); It != mVariables.end (); ) {
    It = (It->second.Attributes & EFI_VARIABLE_NON_VOLATILE) ? std::next (It) : mVariables.erase (It);
  }

  for (auto &Entry : mPool) {
    std::free (Entry.first);
  }

  mPool.clear ();
  mHandles.clear ();
  mConfigurationTables.clear ();
  mSystemTable.NumberOfTableEntries = 0;
  mSystemTable.ConfigurationTable   = nullptr;
  mLocateHandleBufferFailures.clear ();
  mResets.clear ();
  mPowerCut = false;
  Loaded.clear ();
  mFailAt   = 0;
  mFailFrom = 0;
  FailAllocationIf = nullptr;
  Calls.clear ();
  mHobList = nullptr;
}

std::vector<std::string>
Platform::CallsStartingWith (
  const std::string  &Prefix
  ) const
{
  std::vector<std::string>  Result;

  for (auto &Line : Calls) {
    if (Line.compare (0, Prefix.size (), Prefix) == 0) {
      Result.push_back (Line);
    }
  }

  return Result;
}

//
// HOB list.
//

HobListBuilder::HobListBuilder ()
{
  EFI_HOB_HANDOFF_INFO_TABLE  Handoff {};

  Handoff.Header.HobType   = EFI_HOB_TYPE_HANDOFF;
  Handoff.Header.HobLength = sizeof (Handoff);
  Handoff.Version          = EFI_HOB_HANDOFF_TABLE_VERSION;
  mBytes.insert (mBytes.end (), (UINT8 *)&Handoff, (UINT8 *)&Handoff + sizeof (Handoff));
}

HobListBuilder &
HobListBuilder::AddCapsule (
  const void  *Capsule,
  UINT64      Length
  )
{
  EFI_HOB_UEFI_CAPSULE  Hob {};

  Hob.Header.HobType   = EFI_HOB_TYPE_UEFI_CAPSULE;
  Hob.Header.HobLength = sizeof (Hob);
  Hob.BaseAddress      = (EFI_PHYSICAL_ADDRESS)(UINTN)Capsule;
  Hob.Length           = Length;
  mBytes.insert (mBytes.end (), (UINT8 *)&Hob, (UINT8 *)&Hob + sizeof (Hob));
  return *this;
}

HobListBuilder &
HobListBuilder::AddHob (
  UINT16  Type,
  UINT16  Length
  )
{
  //
  // The generic header is always there, even when HobLength claims less.
  //
  std::vector<UINT8>      Hob (Length < sizeof (EFI_HOB_GENERIC_HEADER) ? sizeof (EFI_HOB_GENERIC_HEADER) : Length, 0);
  EFI_HOB_GENERIC_HEADER  Header { Type, Length, 0 };

  std::memcpy (Hob.data (), &Header, sizeof (Header));
  mBytes.insert (mBytes.end (), Hob.begin (), Hob.end ());
  return *this;
}

void
HobListBuilder::Install (
  Platform  &Target
  )
{
  EFI_HOB_GENERIC_HEADER  End { EFI_HOB_TYPE_END_OF_HOB_LIST, sizeof (EFI_HOB_GENERIC_HEADER), 0 };

  mBytes.insert (mBytes.end (), (UINT8 *)&End, (UINT8 *)&End + sizeof (End));
  mBytes.shrink_to_fit ();
  Target.InstallConfigurationTable (gEfiHobListGuid, mBytes.data ());
}

}  // namespace Host
