/** @file
  A register-level model of the PCH parts the card reader PEIM meets, and of
  the PEI environment it runs in:

  - PCI configuration space (ECAM at 0xC0000000) of bus 0 device 31: the
    LPC/eSPI bridge (function 0) with a device ID per PCH series, and the
    P2SB bridge (function 1), present or hidden, whose message registers
    behave as a state machine: a busy bit that clears after a set number of
    status reads (or never), a response code per message, a data register;
  - sideband endpoints, each with one register space; the PCR window at
    0xFD000000 reads and writes it, and a completed sideband message reads
    or writes it too;
  - the ACPI PM timer at I/O port 0x1808, a 24-bit counter that advances by
    a set number of ticks each time it is read;
  - a PEI services table with LocatePpi, reachable through a modelled IDT
    (the pointer sits in the UINTN below the IDT base), and the platform's
    debug output PPI, installed or not.

  Every register access is recorded in order; identical consecutive reads
  are kept as one record with a repeat count, so that a busy wait of
  hundreds of millions of reads stays cheap.

  Host tests reach the model through the host variants of IoLib and
  PeiServicesTablePointerLib; the emulator test routes the emulated CPU's
  MMIO, port I/O and PEI service calls to the same model.
**/
#ifndef PCH_MODEL_H_
#define PCH_MODEL_H_

extern "C" {
#include <PiPei.h>
#include <Ppi/DebugOutput.h>
}

#include <array>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace Pch {

constexpr UINT64  kEcamBase    = 0xC0000000;
constexpr UINT64  kEcamSize    = 0x10000000;
constexpr UINT64  kPcrBase     = 0xFD000000;
constexpr UINT64  kPcrSize     = 0x01000000;
constexpr UINT16  kPmTimerPort = 0x1808;
constexpr UINT32  kPmTimerMask = 0x00FFFFFF;

/// A busy bit that never clears.
constexpr UINT64  kForever = ~0ULL;

constexpr UINT16  kIntelVendorId   = 0x8086;
constexpr UINT16  kSeries1DeviceId = 0x4380;
constexpr UINT16  kSeries2DeviceId = 0xA080;

constexpr UINT32  kLpcFunction  = 0;
constexpr UINT32  kP2sbFunction = 1;

/// Memory address of a configuration register of bus 0 device 31.
constexpr UINT64
ConfigAddress (
  UINT32  Function,
  UINT32  Register
  )
{
  return kEcamBase + (31u << 15) + (Function << 12) + Register;
}

/// Memory address of a register in the PCR window.
constexpr UINT64
PcrAddress (
  UINT8   Port,
  UINT16  Offset
  )
{
  return kPcrBase | ((UINT64)Port << 16) | Offset;
}

enum class Space : UINT8 {
  Config,  ///< ECAM window
  Pcr,     ///< PCR window
  Io,      ///< processor I/O ports
  Other    ///< anything the model does not have; reads give all ones
};

/// One register access, or a run of identical consecutive reads.
struct Access {
  Space     Where;
  bool      Write;
  UINT64    Address;  ///< memory address, or I/O port
  UINT8     Width;    ///< bytes
  UINT32    Value;
  UINT64    Repeat;   ///< 1, or the length of a run of identical reads
  UINT64    Time;     ///< PM timer ticks elapsed when the access (run) began
};

/// A sideband message as the P2SB bridge took it when software started it.
struct SidebandMessage {
  UINT8     Port;
  UINT64    Offset;    ///< extended address << 16 | address bits 15:0
  UINT8     Opcode;
  UINT32    Data;      ///< the data register at the start
  bool      Posted;    ///< status bit 7 at the start
  UINT16    Routing;
  UINT8     Response;  ///< the bridge's response; 4 while the message has not completed
};

struct PpiLookup {
  EFI_GUID    Guid;
  UINTN       Instance;
  bool        Found;
};

struct DebugMessage {
  UINT32         Level;
  std::string    Format;
  std::string    Text;   ///< the format rendered with its arguments
};

/// Where the arguments of a debug message come from: the host's VA_LIST,
/// or the emulated processor's stack.
class DebugArguments {
public:
  virtual ~DebugArguments () = default;
  /// The next argument; Size is 4, 8, or PointerSize ().
  virtual UINT64      Next (unsigned Size)        = 0;
  /// The NUL-terminated ASCII string at Address.
  virtual std::string String (UINT64 Address)     = 0;
  virtual unsigned    PointerSize () const        = 0;
};

/// Renders a debug format: %%, %a (ASCII string), %c, %d, %i, %u, %x, %X
/// and %p, with the flags '-' and '0', a width, and 'l'/'L' for 64-bit
/// values; any other conversion is copied as it stands.
std::string
RenderDebugFormat (
  const char      *Format,
  DebugArguments  &Arguments
  );

class Model {
public:
  Model ();
  ~Model ();
  Model (const Model &)            = delete;
  Model &operator= (const Model &) = delete;

  /// The model the host libraries act on: the one most recently built and
  /// not yet destroyed; NULL when there is none.
  static Model *Current () { return sCurrent; }

  //
  // The platform's configuration. The defaults: series 1, P2SB visible and
  // idle, every message answered at once with response 0, PM timer at 0
  // advancing 1 tick a read, debug output PPI installed.
  //
  void   SetLpcDeviceId (UINT16 DeviceId);
  void   SetP2sbHidden (bool Hidden);
  /// A message of someone else's in flight: the next Reads status reads show busy.
  void   SetBusyBeforeIdle (UINT64 Reads);
  /// A started message shows busy for this many status reads, then completes.
  void   SetBusyPerMessage (UINT64 Reads);
  /// Response of message n is PerMessage[n], of later ones Otherwise.
  void   SetResponses (std::vector<UINT8> PerMessage, UINT8 Otherwise = 0);
  /// Status register bits 15:1 as the bridge holds them before any message.
  void   SetStatusBits (UINT16 Bits);
  void   SetEndpointRegister (UINT8 Port, UINT64 Offset, UINT32 Value);
  UINT32 EndpointRegister (UINT8 Port, UINT64 Offset) const;
  void   SetPmTimer (UINT32 Start, UINT32 TicksPerRead);
  void   SetDebugOutputPpi (bool Installed);

  //
  // Bus side: what the processor does. MmioRead is EFIAPI like the library
  // functions that call it: on an x86-64 host a Microsoft-ABI function that
  // calls a System V one saves ten XMM registers first, which would make
  // the busy wait's 0x0FFFFFFF status reads slow.
  //
  UINT32 EFIAPI MmioRead (UINT64 Address, UINT8 Width);
  void   MmioWrite (UINT64 Address, UINT8 Width, UINT32 Value);
  UINT32 IoRead (UINT16 Port, UINT8 Width);
  void   IoWrite (UINT16 Port, UINT8 Width, UINT32 Value);

  //
  // PEI side.
  //
  /// Records the lookup; TRUE when Guid is the debug output PPI's, Instance
  /// is 0 and the PPI is installed.
  bool   LocatePpi (const EFI_GUID &Guid, UINTN Instance);
  void   DebugOutput (UINT32 Level, const std::string &Format, const std::string &Text);
  /// Base of the host IDT; the PEI services table pointer is in the UINTN below it.
  UINTN  IdtBase () const;
  CONST EFI_PEI_SERVICES **PeiServices () const;
  /// The debug output PPI's descriptor (host addresses).
  const EFI_PEI_PPI_DESCRIPTOR *DebugOutputDescriptor () const;

  //
  // What the hardware and the PEI services saw.
  //
  const std::vector<Access> &Accesses () const { return mAccesses; }
  const std::vector<SidebandMessage> &Messages () const { return mMessages; }
  const std::vector<PpiLookup> &PpiLookups () const { return mPpiLookups; }
  const std::vector<DebugMessage> &DebugMessages () const { return mDebugMessages; }
  /// Reads of the P2SB status register, repeats included.
  UINT64 StatusReads () const { return mStatusReads; }
  /// PM timer ticks elapsed since SetPmTimer.
  UINT64 Now () const { return mPmElapsed; }
  void   ClearObservations ();

private:
  inline static Model  *sCurrent = nullptr;

  bool   RepeatBusyStatusRead (UINT64 Address, UINT8 Width, UINT32 *Value);
  UINT32 EFIAPI MmioReadAny (UINT64 Address, UINT8 Width);
  void   Record (Space Where, bool Write, UINT64 Address, UINT8 Width, UINT32 Value);
  UINT32 ConfigRead (UINT32 Offset, UINT8 Width);
  void   ConfigWrite (UINT32 Offset, UINT8 Width, UINT32 Value);
  UINT16 StatusRead ();
  /// Status register bits 15:1 as held (the busy bit is live, not held).
  UINT16 StatusBits () const { return (UINT16)((mP2sbConfig[0xD8] | mP2sbConfig[0xD9] << 8) & ~1u); }
  void   StatusWritten (UINT16 Value);
  void   CompleteMessage ();
  UINT32 Field (const std::array<UINT8, 0x1000> &Space, UINT32 Register, UINT8 Width) const;
  void   SetField (std::array<UINT8, 0x1000> &Space, UINT32 Register, UINT8 Width, UINT32 Value);

  std::array<UINT8, 0x1000>  mLpcConfig;
  std::array<UINT8, 0x1000>  mP2sbConfig;
  bool                       mP2sbHidden;
  UINT64                     mBusyBeforeIdle;
  UINT64                     mBusyPerMessage;
  bool                       mInFlight;
  UINT64                     mBusyRemaining;
  std::vector<UINT8>         mResponses;
  UINT8                      mResponseOtherwise;
  std::map<std::pair<UINT8, UINT64>, UINT32>  mEndpoints;
  UINT32                     mPmStart;
  UINT32                     mPmStep;
  UINT64                     mPmElapsed;
  bool                       mDebugOutputInstalled;

  std::vector<Access>           mAccesses;
  std::vector<SidebandMessage>  mMessages;
  std::vector<PpiLookup>        mPpiLookups;
  std::vector<DebugMessage>     mDebugMessages;
  UINT64                        mStatusReads;

  //
  // The PEI environment on the host: services table, the pointer to it, and
  // an IDT with the pointer's address in the slot below its base.
  //
  EFI_PEI_SERVICES        mPeiServices;
  EFI_PEI_SERVICES        *mPeiServicesPointer;
  UINTN                   mIdt[1 + 2 * 256];
  DEBUG_OUTPUT_PPI        mDebugOutputPpi;
  EFI_PEI_PPI_DESCRIPTOR  mDebugOutputDescriptor;
  EFI_GUID                mDebugOutputGuid;

  Model                   *mPrevious;
};

}  // namespace Pch

#endif
