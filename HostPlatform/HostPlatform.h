/** @file
  The simulated UEFI platform that modules run on in host tests: the system
  table with boot and runtime services, a handle/protocol database, a pool
  with leak and double-free accounting and fault injection, a variable store
  that survives simulated resets, the clock, the HOB list, and a log of the
  calls tests care about.

  It behaves as real firmware does (OVMF where in doubt): GetVariable returns
  EFI_BUFFER_TOO_SMALL with the needed size, InstallProtocolInterface with a
  NULL handle makes a new handle, ResetSystem does not return.
**/
#ifndef HOST_PLATFORM_H_
#define HOST_PLATFORM_H_

extern "C" {
#include <PiDxe.h>
}

#include <cstddef>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

/// GUID ordering and equality for the platform's maps and for tests.
bool operator< (const EFI_GUID &A, const EFI_GUID &B);
bool operator== (const EFI_GUID &A, const EFI_GUID &B);

namespace Host {

/// Thrown by ResetSystem: it unwinds out of the module, as a reset ends the
/// boot. Nothing after it may change persistent state.
struct ResetRequested {
  EFI_RESET_TYPE    Type;
  EFI_STATUS        Status;
  size_t            LiveAllocations;   ///< pool buffers still allocated at the reset
};

/// Thrown by Platform::CutPower: the boot ends where it stands, with no
/// reset and nothing flushed.
struct PowerCut {};

struct Variable {
  UINT32                  Attributes;
  std::vector<UINT8>      Data;
};

std::u16string U16 (const char *Ascii);
std::string    Narrow (const CHAR16 *String);
std::string    Narrow (const std::u16string &String);
std::string    GuidName (const EFI_GUID &Guid);
void           NameGuid (const EFI_GUID &Guid, const std::string &Name);

class Platform {
public:
  Platform ();
  ~Platform ();
  Platform (const Platform &)            = delete;
  Platform &operator= (const Platform &) = delete;

  /// The platform the service functions act on.
  static Platform &Current ();

  EFI_SYSTEM_TABLE *SystemTable () { return &mSystemTable; }

  //
  // Pool.
  //
  /// Allocates from the pool on the platform's own behalf (buffers it hands
  /// to the module, which frees them). Counts like any allocation.
  void *PoolAllocate (size_t Size);
  size_t LiveAllocations () const { return mPool.size (); }
  size_t AllocationCalls () const { return mAllocationCalls; }
  /// The Nth allocation from now on (1 = the next one) fails.
  void FailAllocation (size_t Nth) { mFailAt = mAllocationCalls + Nth; }
  /// Every allocation from the Nth from now on fails.
  void FailAllocationsFrom (size_t Nth) { mFailFrom = mAllocationCalls + Nth; }
  /// Allocations for which this answers true fail.
  std::function<bool (size_t Size)> FailAllocationIf;
  /// Wrong frees seen: double frees and pointers the pool never handed out.
  const std::vector<std::string> &PoolErrors () const { return mPoolErrors; }
  bool IsPoolBuffer (const void *Buffer) const { return mPool.count (const_cast<void *>(Buffer)) != 0; }

  //
  // Handle and protocol database.
  //
  EFI_HANDLE InstallProtocol (EFI_HANDLE Handle, const EFI_GUID &Protocol, void *Interface);
  void *Protocol (EFI_HANDLE Handle, const EFI_GUID &Protocol) const;
  std::vector<EFI_HANDLE> HandlesWith (const EFI_GUID &Protocol) const;
  bool HandleExists (EFI_HANDLE Handle) const;
  /// Makes LocateHandleBuffer fail for Protocol with Status.
  void FailLocateHandleBuffer (const EFI_GUID &Protocol, EFI_STATUS Status) { mLocateHandleBufferFailures[Protocol] = Status; }

  //
  // Images. LoadImage accepts the bytes of a registered image (from a
  // buffer only) and makes an image handle; StartImage runs what the test
  // said the image does.
  //
  struct ImageBehaviour {
    std::vector<UINT8>                          Bytes;
    EFI_STATUS                                  LoadStatus;
    std::function<EFI_STATUS (EFI_HANDLE)>      Start;
  };
  struct LoadedImage {
    size_t        Behaviour;
    EFI_HANDLE    Parent;
    EFI_HANDLE    Handle;
    bool          Started;
  };
  void RegisterImage (const std::vector<UINT8> &Bytes, std::function<EFI_STATUS (EFI_HANDLE)> Start, EFI_STATUS LoadStatus = EFI_SUCCESS)
  {
    mImages.push_back ({ Bytes, LoadStatus, Start });
  }
  std::vector<ImageBehaviour>  mImages;
  std::vector<LoadedImage>     Loaded;

  //
  // Variables.
  //
  void SetVariable (const std::u16string &Name, const EFI_GUID &Guid, UINT32 Attributes, const std::vector<UINT8> &Data);
  const Variable *GetVariable (const std::u16string &Name, const EFI_GUID &Guid) const;
  void DeleteVariable (const std::u16string &Name, const EFI_GUID &Guid);
  const std::map<std::pair<std::u16string, EFI_GUID>, Variable> &Variables () const { return mVariables; }
  /// When set, SetVariable of a matching name returns its status instead.
  std::function<EFI_STATUS (const std::u16string &Name)> SetVariableFault;

  //
  // Clock.
  //
  EFI_TIME      Now {};
  EFI_STATUS    GetTimeStatus = EFI_SUCCESS;

  //
  // Configuration tables and the HOB list.
  //
  void InstallConfigurationTable (const EFI_GUID &Guid, void *Table);

  //
  // Reset.
  //
  bool ResetHappened () const { return mResets.size () > 0 || mPowerCut; }
  /// Ends the boot at once, as a power loss does (throws PowerCut).
  [[noreturn]] void CutPower ();
  const std::vector<ResetRequested> &Resets () const { return mResets; }
  /// Starts the next boot: volatile variables, handles, configuration tables
  /// and pool of the ended boot are gone; non-volatile variables stay.
  void Reboot ();

  //
  // Call log: one line per service call a test may want to see, in order.
  //
  std::vector<std::string> Calls;
  std::vector<std::string> CallsStartingWith (const std::string &Prefix) const;
  void Log (const std::string &Line) { Calls.push_back (Line); }

  /// Records a fault that a test should fail on (used by the services).
  void Fault (const std::string &What);
  const std::vector<std::string> &Faults () const { return mFaults; }

  // Service implementations reach the state through these.
  struct HandleRecord {
    std::vector<std::pair<EFI_GUID, void *>>    Protocols;
  };
  std::list<std::unique_ptr<HandleRecord>> &HandleList () { return mHandles; }
  HandleRecord *Find (EFI_HANDLE Handle) const;
  void *PoolAllocateService (size_t Size, EFI_STATUS *Status);
  EFI_STATUS PoolFreeService (void *Buffer);
  std::map<EFI_GUID, EFI_STATUS> mLocateHandleBufferFailures;
  std::map<std::pair<std::u16string, EFI_GUID>, Variable> mVariables;
  std::vector<ResetRequested> mResets;
  bool                        mPowerCut = false;

private:
  EFI_SYSTEM_TABLE                        mSystemTable {};
  EFI_BOOT_SERVICES                       mBootServices {};
  EFI_RUNTIME_SERVICES                    mRuntimeServices {};
  std::vector<EFI_CONFIGURATION_TABLE>    mConfigurationTables;
  std::map<void *, size_t>                mPool;
  size_t                                  mAllocationCalls = 0;
  size_t                                  mFailAt          = 0;
  size_t                                  mFailFrom        = 0;
  std::vector<std::string>                mPoolErrors;
  std::vector<std::string>                mFaults;
  std::list<std::unique_ptr<HandleRecord>> mHandles;
  Platform                                *mPrevious;
};

/// Builds a HOB list (hand-off table first, end-of-list HOB last) and
/// installs it as the configuration table that GetHobList finds.
class HobListBuilder {
public:
  HobListBuilder ();
  /// A capsule HOB whose BaseAddress points at Capsule.
  HobListBuilder &AddCapsule (const void *Capsule, UINT64 Length);
  /// A HOB of another type whose HobLength is Length (its 8-byte header is
  /// there even when Length says less).
  HobListBuilder &AddHob (UINT16 Type, UINT16 Length);
  /// Installs the list in Platform; the list lives as long as the builder.
  void Install (Platform &Target);
  const UINT8 *Data () const { return mBytes.data (); }

private:
  std::vector<UINT8>    mBytes;
};

}  // namespace Host

#endif
