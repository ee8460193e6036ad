/** @file
  The PCH model: configuration space of bus 0 device 31, the P2SB message
  state machine, the sideband endpoints and their PCR window, the PM timer,
  and the PEI services table with the debug output PPI.
**/
#include "PchModel.h"

#include <cstdio>
#include <cstring>

namespace Pch {

namespace {

//
// P2SB message registers.
//
constexpr UINT32  kMessageAddress  = 0xD0;
constexpr UINT32  kMessageData     = 0xD4;
constexpr UINT32  kMessageStatus   = 0xD8;
constexpr UINT32  kMessageRouting  = 0xDA;
constexpr UINT32  kMessageExtended = 0xDC;
constexpr UINT16  kStatusBusy      = 0x0001;
constexpr UINT16  kStatusResponse  = 0x0006;
constexpr UINT16  kStatusPosted    = 0x0080;

bool
IsReadOpcode (
  UINT8  Opcode
  )
{
  return Opcode == 0x00 || Opcode == 0x04 || Opcode == 0x06;
}

bool
IsWriteOpcode (
  UINT8  Opcode
  )
{
  return Opcode == 0x01 || Opcode == 0x05 || Opcode == 0x07 || Opcode == 0x13;
}

UINT32
AllOnes (
  UINT8  Width
  )
{
  return Width >= 4 ? 0xFFFFFFFFu : ((1u << (Width * 8)) - 1);
}

/// Whether [Register, Register + Width) overlaps [Start, Start + Length).
bool
Overlaps (
  UINT32  Register,
  UINT8   Width,
  UINT32  Start,
  UINT32  Length
  )
{
  return Register < Start + Length && Start < Register + Width;
}

EFI_STATUS EFIAPI
HostLocatePpi (
  IN CONST EFI_PEI_SERVICES      **PeiServices,
  IN CONST EFI_GUID              *Guid,
  IN UINTN                       Instance,
  IN OUT EFI_PEI_PPI_DESCRIPTOR  **PpiDescriptor OPTIONAL,
  IN OUT VOID                    **Ppi
  );

VOID EFIAPI
HostDebugOutputPrint (
  IN UINT32       ErrorLevel,
  IN CONST CHAR8  *Format,
  IN VA_LIST      Marker
  );

}  // namespace

Model::Model ()
  : mLpcConfig{}, mP2sbConfig{}, mP2sbHidden (false), mBusyBeforeIdle (0), mBusyPerMessage (0), mInFlight (false),
    mBusyRemaining (0), mResponseOtherwise (0), mPmStart (0), mPmStep (1), mPmElapsed (0),
    mDebugOutputInstalled (true), mStatusReads (0), mPeiServices{}, mPeiServicesPointer (&mPeiServices), mIdt{},
    mDebugOutputPpi{}, mDebugOutputDescriptor{}, mDebugOutputGuid (DEBUG_OUTPUT_PPI_GUID), mPrevious (sCurrent)
{
  SetField (mLpcConfig, 0x00, 2, kIntelVendorId);
  SetField (mLpcConfig, 0x02, 2, kSeries1DeviceId);
  SetField (mP2sbConfig, 0x00, 2, kIntelVendorId);
  SetField (mP2sbConfig, 0x02, 2, 0xC5C5);

  mPeiServices.Hdr.Signature  = PEI_SERVICES_SIGNATURE;
  mPeiServices.Hdr.HeaderSize = sizeof (mPeiServices);
  mPeiServices.LocatePpi      = HostLocatePpi;
  mIdt[0]                     = (UINTN)&mPeiServicesPointer;
  mDebugOutputPpi.Print       = HostDebugOutputPrint;
  mDebugOutputDescriptor      = { EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST,
                                  &mDebugOutputGuid, &mDebugOutputPpi };
  sCurrent = this;
}

Model::~Model ()
{
  sCurrent = mPrevious;
}

void
Model::SetLpcDeviceId (
  UINT16  DeviceId
  )
{
  SetField (mLpcConfig, 0x02, 2, DeviceId);
}

void
Model::SetP2sbHidden (
  bool  Hidden
  )
{
  mP2sbHidden = Hidden;
}

void
Model::SetBusyBeforeIdle (
  UINT64  Reads
  )
{
  mBusyBeforeIdle = Reads;
}

void
Model::SetBusyPerMessage (
  UINT64  Reads
  )
{
  mBusyPerMessage = Reads;
}

void
Model::SetResponses (
  std::vector<UINT8>  PerMessage,
  UINT8               Otherwise
  )
{
  mResponses         = std::move (PerMessage);
  mResponseOtherwise = Otherwise;
}

void
Model::SetStatusBits (
  UINT16  Bits
  )
{
  SetField (mP2sbConfig, kMessageStatus, 2, Bits & ~kStatusBusy);
}

void
Model::SetEndpointRegister (
  UINT8   Port,
  UINT64  Offset,
  UINT32  Value
  )
{
  mEndpoints[{ Port, Offset }] = Value;
}

UINT32
Model::EndpointRegister (
  UINT8   Port,
  UINT64  Offset
  ) const
{
  auto  Found = mEndpoints.find ({ Port, Offset });

  return Found == mEndpoints.end () ? 0 : Found->second;
}

void
Model::SetPmTimer (
  UINT32  Start,
  UINT32  TicksPerRead
  )
{
  mPmStart   = Start & kPmTimerMask;
  mPmStep    = TicksPerRead;
  mPmElapsed = 0;
}

void
Model::SetDebugOutputPpi (
  bool  Installed
  )
{
  mDebugOutputInstalled = Installed;
}

void
Model::Record (
  Space   Where,
  bool    Write,
  UINT64  Address,
  UINT8   Width,
  UINT32  Value
  )
{
  if (!Write && !mAccesses.empty ()) {
    Access  &Last = mAccesses.back ();
    if (!Last.Write && (Last.Where == Where) && (Last.Address == Address) && (Last.Width == Width) &&
        (Last.Value == Value))
    {
      Last.Repeat++;
      return;
    }
  }

  mAccesses.push_back ({ Where, Write, Address, Width, Value, 1, mPmElapsed });
}

/**
  The busy wait's read of the status register, when it only repeats the
  previous one: the bridge stays busy and the last record grows by one.
  Anything else (completion, idle, a new record) is left to the full path.
**/
inline bool
Model::RepeatBusyStatusRead (
  UINT64  Address,
  UINT8   Width,
  UINT32  *Value
  )
{
  if ((Address != ConfigAddress (kP2sbFunction, kMessageStatus)) || (Width != 2) || mP2sbHidden ||
      mAccesses.empty ())
  {
    return false;
  }

  UINT64  &Busy = mInFlight ? mBusyRemaining : mBusyBeforeIdle;
  Access  &Last = mAccesses.back ();
  UINT16  Status = StatusBits () | kStatusBusy;
  if ((Busy == 0) || Last.Write || (Last.Address != Address) || (Last.Width != 2) || (Last.Value != Status)) {
    return false;
  }

  if (Busy != kForever) {
    Busy--;
  }

  mStatusReads++;
  Last.Repeat++;
  *Value = Status;
  return true;
}

UINT32 EFIAPI
Model::MmioRead (
  UINT64  Address,
  UINT8   Width
  )
{
  UINT32  Value;

  if (RepeatBusyStatusRead (Address, Width, &Value)) {
    return Value;
  }

  return MmioReadAny (Address, Width);
}

UINT32 EFIAPI
Model::MmioReadAny (
  UINT64  Address,
  UINT8   Width
  )
{
  UINT32  Value;
  Space   Where;

  if ((Address >= kEcamBase) && (Address < kEcamBase + kEcamSize)) {
    Where = Space::Config;
    Value = ConfigRead ((UINT32)(Address - kEcamBase), Width);
  } else if ((Address >= kPcrBase) && (Address < kPcrBase + kPcrSize)) {
    Where = Space::Pcr;
    Value = EndpointRegister ((UINT8)(Address >> 16), Address & 0xFFFF);
  } else {
    Where = Space::Other;
    Value = AllOnes (Width);
  }

  Value &= AllOnes (Width);
  Record (Where, false, Address, Width, Value);
  return Value;
}

void
Model::MmioWrite (
  UINT64  Address,
  UINT8   Width,
  UINT32  Value
  )
{
  Value &= AllOnes (Width);
  if ((Address >= kEcamBase) && (Address < kEcamBase + kEcamSize)) {
    Record (Space::Config, true, Address, Width, Value);
    ConfigWrite ((UINT32)(Address - kEcamBase), Width, Value);
  } else if ((Address >= kPcrBase) && (Address < kPcrBase + kPcrSize)) {
    Record (Space::Pcr, true, Address, Width, Value);
    SetEndpointRegister ((UINT8)(Address >> 16), Address & 0xFFFF, Value);
  } else {
    Record (Space::Other, true, Address, Width, Value);
  }
}

UINT32
Model::IoRead (
  UINT16  Port,
  UINT8   Width
  )
{
  UINT32  Value;

  if (Port != kPmTimerPort) {
    Record (Space::Other, false, Port, Width, AllOnes (Width));
    return AllOnes (Width);
  }

  //
  // The counter advances as it is read: this read sees the current count,
  // the next one a count TicksPerRead later.
  //
  Value = (UINT32)((mPmStart + mPmElapsed) & kPmTimerMask) & AllOnes (Width);
  Record (Space::Io, false, Port, Width, Value);
  mPmElapsed += mPmStep;
  return Value;
}

void
Model::IoWrite (
  UINT16  Port,
  UINT8   Width,
  UINT32  Value
  )
{
  Record (Port == kPmTimerPort ? Space::Io : Space::Other, true, Port, Width, Value & AllOnes (Width));
}

UINT32
Model::Field (
  const std::array<UINT8, 0x1000>  &Config,
  UINT32                           Register,
  UINT8                            Width
  ) const
{
  UINT32  Value = 0;

  for (UINT8 Byte = 0; Byte < Width && Register + Byte < Config.size (); Byte++) {
    Value |= (UINT32)Config[Register + Byte] << (8 * Byte);
  }

  return Value;
}

void
Model::SetField (
  std::array<UINT8, 0x1000>  &Config,
  UINT32                     Register,
  UINT8                      Width,
  UINT32                     Value
  )
{
  for (UINT8 Byte = 0; Byte < Width && Register + Byte < Config.size (); Byte++) {
    Config[Register + Byte] = (UINT8)(Value >> (8 * Byte));
  }
}

UINT32
Model::ConfigRead (
  UINT32  Offset,
  UINT8   Width
  )
{
  UINT32  Function = Offset & ~0xFFFu;
  UINT32  Register = Offset & 0xFFF;

  if (Function == (31u << 15 | kLpcFunction << 12)) {
    return Field (mLpcConfig, Register, Width);
  }

  if ((Function != (31u << 15 | kP2sbFunction << 12)) || mP2sbHidden) {
    return AllOnes (Width);
  }

  if (!Overlaps (Register, Width, kMessageStatus, 2)) {
    return Field (mP2sbConfig, Register, Width);
  }

  //
  // A read that covers the status register sees the live busy bit.
  //
  UINT16  Status = StatusRead ();
  UINT32  Value  = 0;
  for (UINT8 Byte = 0; Byte < Width && Register + Byte < mP2sbConfig.size (); Byte++) {
    UINT32  At = Register + Byte;
    UINT8   Part;
    if (At == kMessageStatus) {
      Part = (UINT8)Status;
    } else if (At == kMessageStatus + 1) {
      Part = (UINT8)(Status >> 8);
    } else {
      Part = mP2sbConfig[At];
    }

    Value |= (UINT32)Part << (8 * Byte);
  }

  return Value;
}

void
Model::ConfigWrite (
  UINT32  Offset,
  UINT8   Width,
  UINT32  Value
  )
{
  UINT32  Function = Offset & ~0xFFFu;
  UINT32  Register = Offset & 0xFFF;

  if ((Function != (31u << 15 | kP2sbFunction << 12)) || mP2sbHidden) {
    return;
  }

  SetField (mP2sbConfig, Register, Width, Value);
  if (Overlaps (Register, Width, kMessageStatus, 2)) {
    StatusWritten ((UINT16)Field (mP2sbConfig, kMessageStatus, 2));
  }
}

/**
  One read of the status register: the busy bit reflects a message in
  flight (ours, or someone else's before ours), and a message completes on
  the first read after its busy count ran out.
**/
UINT16
Model::StatusRead (
  VOID
  )
{
  mStatusReads++;
  if (mInFlight) {
    if (mBusyRemaining == 0) {
      CompleteMessage ();
      return StatusBits ();
    }

    if (mBusyRemaining != kForever) {
      mBusyRemaining--;
    }

    return StatusBits () | kStatusBusy;
  }

  if (mBusyBeforeIdle != 0) {
    if (mBusyBeforeIdle != kForever) {
      mBusyBeforeIdle--;
    }

    return StatusBits () | kStatusBusy;
  }

  return StatusBits ();
}

/**
  Software wrote the status register: setting the busy bit of an idle
  bridge starts a message with what the registers hold now.
**/
void
Model::StatusWritten (
  UINT16  Value
  )
{
  if (mInFlight || ((Value & kStatusBusy) == 0)) {
    return;
  }

  SidebandMessage  Message;

  Message.Port     = (UINT8)(Field (mP2sbConfig, kMessageAddress, 4) >> 24);
  Message.Offset   = ((UINT64)Field (mP2sbConfig, kMessageExtended, 4) << 16) |
                     (Field (mP2sbConfig, kMessageAddress, 4) & 0xFFFF);
  Message.Opcode   = (UINT8)(Value >> 8);
  Message.Data     = Field (mP2sbConfig, kMessageData, 4);
  Message.Posted   = (Value & kStatusPosted) != 0;
  Message.Routing  = (UINT16)Field (mP2sbConfig, kMessageRouting, 2);
  Message.Response = 4;
  mMessages.push_back (Message);

  mInFlight      = true;
  mBusyRemaining = mBusyPerMessage;
  SetField (mP2sbConfig, kMessageStatus, 2, Value & ~kStatusBusy);
}

/**
  The endpoint answers the message in flight: with response 0 a write lands
  in its register space and a read fills the data register.
**/
void
Model::CompleteMessage (
  VOID
  )
{
  SidebandMessage  &Message = mMessages.back ();
  size_t           Index    = mMessages.size () - 1;
  UINT8            Response = Index < mResponses.size () ? mResponses[Index] : mResponseOtherwise;
  UINT16           Status;

  mInFlight        = false;
  Message.Response = Response & 3;
  Status           = (UINT16)Field (mP2sbConfig, kMessageStatus, 2);
  Status           = (UINT16)((Status & ~kStatusResponse) | ((Response & 3) << 1));
  SetField (mP2sbConfig, kMessageStatus, 2, Status);

  if (Message.Response != 0) {
    return;
  }

  if (IsWriteOpcode (Message.Opcode)) {
    SetEndpointRegister (Message.Port, Message.Offset, Message.Data);
  } else if (IsReadOpcode (Message.Opcode)) {
    SetField (mP2sbConfig, kMessageData, 4, EndpointRegister (Message.Port, Message.Offset));
  }
}

bool
Model::LocatePpi (
  const EFI_GUID  &Guid,
  UINTN           Instance
  )
{
  bool  Found = mDebugOutputInstalled && (Instance == 0) &&
                (std::memcmp (&Guid, &mDebugOutputGuid, sizeof (EFI_GUID)) == 0);

  mPpiLookups.push_back ({ Guid, Instance, Found });
  return Found;
}

void
Model::DebugOutput (
  UINT32             Level,
  const std::string  &Format,
  const std::string  &Text
  )
{
  mDebugMessages.push_back ({ Level, Format, Text });
}

UINTN
Model::IdtBase (
  ) const
{
  return (UINTN)&mIdt[1];
}

const EFI_PEI_PPI_DESCRIPTOR *
Model::DebugOutputDescriptor (
  ) const
{
  return &mDebugOutputDescriptor;
}

CONST EFI_PEI_SERVICES **
Model::PeiServices (
  ) const
{
  return (CONST EFI_PEI_SERVICES **)&mPeiServicesPointer;
}

void
Model::ClearObservations (
  )
{
  mAccesses.clear ();
  mMessages.clear ();
  mPpiLookups.clear ();
  mDebugMessages.clear ();
  mStatusReads = 0;
}

namespace {

/// Arguments taken from a host VA_LIST.
class VaListArguments : public DebugArguments {
public:
  explicit VaListArguments (
    VA_LIST  &Marker
    ) : mMarker (Marker)
  {
  }

  UINT64
  Next (
    unsigned  Size
    ) override
  {
    return Size == 8 ? VA_ARG (mMarker, UINT64) : VA_ARG (mMarker, UINT32);
  }

  std::string
  String (
    UINT64  Address
    ) override
  {
    return Address == 0 ? std::string ("(null)") : std::string ((const char *)(UINTN)Address);
  }

  unsigned
  PointerSize (
    ) const override
  {
    return sizeof (VOID *);
  }

private:
  VA_LIST  &mMarker;
};

EFI_STATUS EFIAPI
HostLocatePpi (
  IN CONST EFI_PEI_SERVICES      **PeiServices,
  IN CONST EFI_GUID              *Guid,
  IN UINTN                       Instance,
  IN OUT EFI_PEI_PPI_DESCRIPTOR  **PpiDescriptor OPTIONAL,
  IN OUT VOID                    **Ppi
  )
{
  Model  *Pch = Model::Current ();

  if ((Pch == nullptr) || !Pch->LocatePpi (*Guid, Instance)) {
    return EFI_NOT_FOUND;
  }

  if (PpiDescriptor != NULL) {
    *PpiDescriptor = (EFI_PEI_PPI_DESCRIPTOR *)Pch->DebugOutputDescriptor ();
  }

  *Ppi = Pch->DebugOutputDescriptor ()->Ppi;
  return EFI_SUCCESS;
}

VOID EFIAPI
HostDebugOutputPrint (
  IN UINT32       ErrorLevel,
  IN CONST CHAR8  *Format,
  IN VA_LIST      Marker
  )
{
  VaListArguments  Arguments (Marker);
  std::string      Text = RenderDebugFormat (Format, Arguments);

  if (Model::Current () != nullptr) {
    Model::Current ()->DebugOutput (ErrorLevel, Format, Text);
  }
}

}  // namespace

std::string
RenderDebugFormat (
  const char      *Format,
  DebugArguments  &Arguments
  )
{
  std::string  Out;

  for (const char *At = Format; *At != '\0'; At++) {
    if (*At != '%') {
      Out += *At;
      continue;
    }

    const char  *Start    = At;
    bool        LeftAlign = false;
    bool        ZeroPad   = false;
    bool        Long      = false;
    size_t      Width     = 0;

    for (At++; *At == '-' || *At == '0'; At++) {
      LeftAlign |= (*At == '-');
      ZeroPad   |= (*At == '0');
    }

    for ( ; *At >= '0' && *At <= '9'; At++) {
      Width = Width * 10 + (size_t)(*At - '0');
    }

    for ( ; *At == 'l' || *At == 'L'; At++) {
      Long = true;
    }

    std::string  Field;
    char         Buffer[32];
    switch (*At) {
      case '%':
        Field = "%";
        break;
      case 'a':
        Field = Arguments.String (Arguments.Next (Arguments.PointerSize ()));
        break;
      case 'c':
        Field = std::string (1, (char)Arguments.Next (4));
        break;
      case 'd':
      case 'i':
        if (Long) {
          std::snprintf (Buffer, sizeof (Buffer), "%lld", (long long)Arguments.Next (8));
        } else {
          std::snprintf (Buffer, sizeof (Buffer), "%d", (int)(INT32)Arguments.Next (4));
        }

        Field = Buffer;
        break;
      case 'u':
        std::snprintf (Buffer, sizeof (Buffer), "%llu", (unsigned long long)Arguments.Next (Long ? 8 : 4));
        Field = Buffer;
        break;
      case 'x':
      case 'X':
        std::snprintf (
          Buffer,
          sizeof (Buffer),
          *At == 'x' ? "%llx" : "%llX",
          (unsigned long long)Arguments.Next (Long ? 8 : 4)
          );
        Field = Buffer;
        break;
      case 'p':
        std::snprintf (Buffer, sizeof (Buffer), "%llX", (unsigned long long)Arguments.Next (Arguments.PointerSize ()));
        Field   = Buffer;
        ZeroPad = true;
        Width   = Arguments.PointerSize () * 2;
        break;
      case '\0':
        Out += Start;
        return Out;
      default:
        Field.assign (Start, (size_t)(At - Start + 1));
        Width = 0;
        break;
    }

    if (Field.size () < Width) {
      if (LeftAlign) {
        Field.append (Width - Field.size (), ' ');
      } else if (ZeroPad && !Field.empty () && Field[0] == '-') {
        Field.insert (1, Width - Field.size (), '0');
      } else {
        Field.insert (0, Width - Field.size (), ZeroPad ? '0' : ' ');
      }
    }

    Out += Field;
  }

  return Out;
}

}  // namespace Pch
