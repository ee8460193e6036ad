/** @file
  The TE image of a PEIM in the unicorn CPU emulator, against the PCH model.
**/
#include "PeimEmulator.h"

extern "C" {
#include <IndustryStandard/PeImage.h>
}

#include <unicorn/unicorn.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

namespace {

//
// Memory map of the emulated machine besides the image and the PCH windows.
//
constexpr uint32_t  kIdtArea        = 0x0000F000;  // 8 KB: the IDT at 0x10000, the pointer below it
constexpr uint32_t  kIdtBase        = 0x00010000;
constexpr uint32_t  kIdtLimit       = 0x07FF;
constexpr uint32_t  kPeiArea        = 0x00020000;
constexpr uint32_t  kServicesCell   = kPeiArea;          // EFI_PEI_SERVICES *, what the IDT slot points at
constexpr uint32_t  kServicesTable  = kPeiArea + 0x100;  // EFI_PEI_SERVICES, 32-bit layout
constexpr uint32_t  kDebugPpi       = kPeiArea + 0x400;  // DEBUG_OUTPUT_PPI
constexpr uint32_t  kDebugPpiEntry  = kPeiArea + 0x410;  // EFI_PEI_PPI_DESCRIPTOR
constexpr uint32_t  kDebugPpiGuid   = kPeiArea + 0x420;
constexpr uint32_t  kThunks         = 0x00030000;
constexpr uint32_t  kLocatePpiThunk = kThunks + 0x00;
constexpr uint32_t  kPrintThunk     = kThunks + 0x10;
constexpr uint32_t  kOtherService   = kThunks + 0x20;
constexpr uint32_t  kReturnAddress  = kThunks + 0x30;
constexpr uint32_t  kStackArea      = 0x00080000;
constexpr uint32_t  kStackSize      = 0x00010000;
constexpr uint32_t  kStackTop       = kStackArea + kStackSize - 0x100;
constexpr uint32_t  kFileHandle     = 0x00DF0000;

/// Instructions after which a run that has not returned is stopped.
constexpr uint64_t  kInstructionLimit = 50000000;

constexpr uint32_t  kEfiNotFound = 0x8000000E;

/// The 32-bit EFI_PEI_SERVICES: header, then 28 pointer slots.
constexpr uint32_t  kServicesSlots   = 28;
constexpr uint32_t  kLocatePpiSlot   = 2;

uint32_t
RoundUp (
  uint32_t  Value,
  uint32_t  Alignment
  )
{
  return (Value + Alignment - 1) & ~(Alignment - 1);
}

/// State shared with the hooks of one run.
struct Run {
  Pch::Model    *Model;
  uint32_t      ImageStart;
  uint32_t      ImageEnd;
  PeimRun       Result;
};

bool
Write32 (
  uc_engine  *Uc,
  uint64_t   Address,
  uint32_t   Value
  )
{
  return uc_mem_write (Uc, Address, &Value, sizeof (Value)) == UC_ERR_OK;
}

void
Stop (
  uc_engine          *Uc,
  Run                &R,
  const std::string  &Why
  )
{
  if (R.Result.Error.empty ()) {
    R.Result.Error = Why;
  }

  uc_emu_stop (Uc);
}

/// Arguments of a debug message, read from the emulated VA_LIST (a pointer
/// into the caller's stack; 4-byte slots, 8 for 64-bit values).
class EmulatedArguments : public Pch::DebugArguments {
public:
  EmulatedArguments (
    uc_engine  *Uc,
    uint32_t   Cursor
    ) : mUc (Uc), mCursor (Cursor)
  {
  }

  UINT64
  Next (
    unsigned  Size
    ) override
  {
    UINT64  Value = 0;

    uc_mem_read (mUc, mCursor, &Value, Size);
    mCursor += Size < 4 ? 4 : Size;
    return Value;
  }

  std::string
  String (
    UINT64  Address
    ) override
  {
    std::string  Out;
    char         Char;

    while (Out.size () < 4096 && uc_mem_read (mUc, Address + Out.size (), &Char, 1) == UC_ERR_OK && Char != '\0') {
      Out += Char;
    }

    return Out;
  }

  unsigned
  PointerSize (
    ) const override
  {
    return 4;
  }

private:
  uc_engine  *mUc;
  uint32_t   mCursor;
};

/// LocatePpi (PeiServices, Guid, Instance, PpiDescriptor, Ppi), cdecl.
void
AnswerLocatePpi (
  uc_engine  *Uc,
  Run        &R
  )
{
  uint32_t  Esp;
  uint32_t  Args[5];
  EFI_GUID  Guid;

  uc_reg_read (Uc, UC_X86_REG_ESP, &Esp);
  if ((uc_mem_read (Uc, Esp + 4, Args, sizeof (Args)) != UC_ERR_OK) ||
      (uc_mem_read (Uc, Args[1], &Guid, sizeof (Guid)) != UC_ERR_OK))
  {
    Stop (Uc, R, "LocatePpi called with unreadable arguments");
    return;
  }

  R.Result.PeiServicesSeen = Args[0];
  uint32_t  Status = kEfiNotFound;
  if (R.Model->LocatePpi (Guid, Args[2])) {
    if (((Args[3] != 0) && !Write32 (Uc, Args[3], kDebugPpiEntry)) || !Write32 (Uc, Args[4], kDebugPpi)) {
      Stop (Uc, R, "LocatePpi called with an unwritable result pointer");
      return;
    }

    Status = 0;
  }

  uc_reg_write (Uc, UC_X86_REG_EAX, &Status);
}

/// DEBUG_OUTPUT_PPI.Print (ErrorLevel, Format, Marker), cdecl.
void
AnswerPrint (
  uc_engine  *Uc,
  Run        &R
  )
{
  uint32_t  Esp;
  uint32_t  Args[3];

  uc_reg_read (Uc, UC_X86_REG_ESP, &Esp);
  if (uc_mem_read (Uc, Esp + 4, Args, sizeof (Args)) != UC_ERR_OK) {
    Stop (Uc, R, "debug output called with unreadable arguments");
    return;
  }

  EmulatedArguments  Arguments (Uc, Args[2]);
  std::string        Format = Arguments.String (Args[1]);
  R.Model->DebugOutput (Args[0], Format, Pch::RenderDebugFormat (Format.c_str (), Arguments));
}

void
OnCode (
  uc_engine  *Uc,
  uint64_t   Address,
  uint32_t   Size,
  void       *User
  )
{
  Run  &R = *(Run *)User;

  R.Result.AllInstructions++;
  if ((Address >= R.ImageStart) && (Address < R.ImageEnd)) {
    R.Result.Instructions++;
    return;
  }

  switch (Address) {
    case kLocatePpiThunk:
      AnswerLocatePpi (Uc, R);
      break;
    case kPrintThunk:
      AnswerPrint (Uc, R);
      break;
    case kOtherService:
      Stop (Uc, R, "a PEI service other than LocatePpi was called");
      break;
    default:
      break;
  }
}

bool
OnBadAccess (
  uc_engine    *Uc,
  uc_mem_type  Type,
  uint64_t     Address,
  int          Size,
  int64_t      Value,
  void         *User
  )
{
  char  Text[96];

  std::snprintf (Text, sizeof (Text), "memory fault (type %d) at 0x%08llX, %d bytes", (int)Type,
                 (unsigned long long)Address, Size);
  ((Run *)User)->Result.Error = Text;
  return false;
}

uint64_t
OnEcamRead (
  uc_engine  *Uc,
  uint64_t   Offset,
  unsigned   Size,
  void       *User
  )
{
  return ((Run *)User)->Model->MmioRead (Pch::kEcamBase + Offset, (UINT8)Size);
}

void
OnEcamWrite (
  uc_engine  *Uc,
  uint64_t   Offset,
  unsigned   Size,
  uint64_t   Value,
  void       *User
  )
{
  ((Run *)User)->Model->MmioWrite (Pch::kEcamBase + Offset, (UINT8)Size, (UINT32)Value);
}

uint64_t
OnPcrRead (
  uc_engine  *Uc,
  uint64_t   Offset,
  unsigned   Size,
  void       *User
  )
{
  return ((Run *)User)->Model->MmioRead (Pch::kPcrBase + Offset, (UINT8)Size);
}

void
OnPcrWrite (
  uc_engine  *Uc,
  uint64_t   Offset,
  unsigned   Size,
  uint64_t   Value,
  void       *User
  )
{
  ((Run *)User)->Model->MmioWrite (Pch::kPcrBase + Offset, (UINT8)Size, (UINT32)Value);
}

uint32_t
OnIn (
  uc_engine  *Uc,
  uint32_t   Port,
  int        Size,
  void       *User
  )
{
  return ((Run *)User)->Model->IoRead ((UINT16)Port, (UINT8)Size);
}

void
OnOut (
  uc_engine  *Uc,
  uint32_t   Port,
  int        Size,
  uint32_t   Value,
  void       *User
  )
{
  ((Run *)User)->Model->IoWrite ((UINT16)Port, (UINT8)Size, Value);
}

struct UcClose {
  void
  operator() (
    uc_engine  *Uc
    ) const
  {
    uc_close (Uc);
  }
};

}  // namespace

std::vector<uint8_t>
ReadFileBytes (
  const std::string  &Path
  )
{
  std::ifstream  In (Path, std::ios::binary);

  return std::vector<uint8_t>((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
}

PeimEmulator::PeimEmulator (
  Pch::Model                  &Model,
  const std::vector<uint8_t>  &TeImage,
  uint32_t                    ImageBase
  ) : mModel (Model), mImage (TeImage)
{
  EFI_TE_IMAGE_HEADER  Te;

  if (mImage.size () < sizeof (Te)) {
    mLoadError = "image shorter than a TE header";
    return;
  }

  std::memcpy (&Te, mImage.data (), sizeof (Te));
  if ((Te.Signature != EFI_TE_IMAGE_HEADER_SIGNATURE) || (Te.Machine != IMAGE_FILE_MACHINE_I386) ||
      (Te.StrippedSize < sizeof (Te)))
  {
    mLoadError = "not an IA32 TE image";
    return;
  }

  //
  // RVA x lies at TE offset x - Adjust.
  //
  uint32_t  Adjust = Te.StrippedSize - (uint32_t)sizeof (Te);
  uint32_t  Delta  = ImageBase - (uint32_t)Te.ImageBase;
  uint32_t  Start  = Te.DataDirectory[EFI_TE_IMAGE_DIRECTORY_ENTRY_BASERELOC].VirtualAddress - Adjust;
  uint32_t  End    = Start + Te.DataDirectory[EFI_TE_IMAGE_DIRECTORY_ENTRY_BASERELOC].Size;
  if ((End < Start) || (End > mImage.size ())) {
    mLoadError = "relocations outside the image";
    return;
  }

  for (uint32_t Block = Start; Block + sizeof (EFI_IMAGE_BASE_RELOCATION) <= End; ) {
    EFI_IMAGE_BASE_RELOCATION  Header;
    std::memcpy (&Header, &mImage[Block], sizeof (Header));
    if ((Header.SizeOfBlock < sizeof (Header)) || (Header.SizeOfBlock > End - Block)) {
      mLoadError = "malformed relocation block";
      return;
    }

    for (uint32_t Entry = Block + sizeof (Header); Entry + 2 <= Block + Header.SizeOfBlock; Entry += 2) {
      uint16_t  Fixup = (uint16_t)(mImage[Entry] | mImage[Entry + 1] << 8);
      uint32_t  At    = Header.VirtualAddress + (Fixup & 0xFFF) - Adjust;
      if ((Fixup >> 12) == EFI_IMAGE_REL_BASED_ABSOLUTE) {
        continue;
      }

      if (((Fixup >> 12) != EFI_IMAGE_REL_BASED_HIGHLOW) || (At + 4 > mImage.size ())) {
        mLoadError = "relocation of an unexpected type or place";
        return;
      }

      uint32_t  Value;
      std::memcpy (&Value, &mImage[At], 4);
      Value += Delta;
      std::memcpy (&mImage[At], &Value, 4);
    }

    Block += Header.SizeOfBlock;
  }

  mLoadAddress = ImageBase + Adjust;
  mEntryPoint  = ImageBase + Te.AddressOfEntryPoint;
}

PeimRun
PeimEmulator::RunEntryPoint (
  )
{
  Run  R;

  R.Model      = &mModel;
  R.ImageStart = mLoadAddress;
  R.ImageEnd   = mLoadAddress + (uint32_t)mImage.size ();
  if (!mLoadError.empty ()) {
    R.Result.Error = mLoadError;
    return R.Result;
  }

  uc_engine  *Raw = nullptr;
  if (uc_open (UC_ARCH_X86, UC_MODE_32, &Raw) != UC_ERR_OK) {
    R.Result.Error = "uc_open failed";
    return R.Result;
  }

  std::unique_ptr<uc_engine, UcClose>  Uc (Raw);
  uc_err                               Err = UC_ERR_OK;
  auto                                 Check = [&](uc_err Status) {
    Err = (Err == UC_ERR_OK) ? Status : Err;
  };

  //
  // The image, read and execute only once it is in place: it runs from flash.
  //
  uint32_t  MapStart = mLoadAddress & ~0xFFFu;
  uint32_t  MapSize  = RoundUp (R.ImageEnd - MapStart, 0x1000);
  Check (uc_mem_map (Uc.get (), MapStart, MapSize, UC_PROT_ALL));
  Check (uc_mem_write (Uc.get (), mLoadAddress, mImage.data (), mImage.size ()));
  Check (uc_mem_protect (Uc.get (), MapStart, MapSize, UC_PROT_READ | UC_PROT_EXEC));

  //
  // Stack, IDT with the PEI services table pointer below it, services table
  // and debug output PPI.
  //
  Check (uc_mem_map (Uc.get (), kStackArea, kStackSize, UC_PROT_READ | UC_PROT_WRITE));
  Check (uc_mem_map (Uc.get (), kIdtArea, 0x2000, UC_PROT_READ | UC_PROT_WRITE));
  Check (uc_mem_map (Uc.get (), kPeiArea, 0x1000, UC_PROT_READ | UC_PROT_WRITE));
  Check (uc_mem_map (Uc.get (), kThunks, 0x1000, UC_PROT_READ | UC_PROT_EXEC));
  if (Err != UC_ERR_OK) {
    R.Result.Error = std::string ("mapping memory failed: ") + uc_strerror (Err);
    return R.Result;
  }

  Write32 (Uc.get (), kIdtBase - 4, kServicesCell);
  Write32 (Uc.get (), kServicesCell, kServicesTable);
  uint64_t  Signature = PEI_SERVICES_SIGNATURE;
  uc_mem_write (Uc.get (), kServicesTable, &Signature, sizeof (Signature));
  for (uint32_t Slot = 0; Slot < kServicesSlots; Slot++) {
    Write32 (Uc.get (), kServicesTable + 24 + 4 * Slot, Slot == kLocatePpiSlot ? kLocatePpiThunk : kOtherService);
  }

  const EFI_GUID  DebugOutputGuid = DEBUG_OUTPUT_PPI_GUID;
  uc_mem_write (Uc.get (), kDebugPpiGuid, &DebugOutputGuid, sizeof (DebugOutputGuid));
  Write32 (Uc.get (), kDebugPpi, kPrintThunk);
  Write32 (Uc.get (), kDebugPpiEntry, EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST);
  Write32 (Uc.get (), kDebugPpiEntry + 4, kDebugPpiGuid);
  Write32 (Uc.get (), kDebugPpiEntry + 8, kDebugPpi);

  // The stand-ins of the PEI services are RET instructions that a code
  // hook answers first; the other services and the return address halt.
  const uint8_t  Ret = 0xC3, Hlt = 0xF4;
  uc_mem_write (Uc.get (), kLocatePpiThunk, &Ret, 1);
  uc_mem_write (Uc.get (), kPrintThunk, &Ret, 1);
  uc_mem_write (Uc.get (), kOtherService, &Hlt, 1);
  uc_mem_write (Uc.get (), kReturnAddress, &Hlt, 1);

  uc_x86_mmr  Idtr = {};
  Idtr.base  = kIdtBase;
  Idtr.limit = kIdtLimit;
  Check (uc_reg_write (Uc.get (), UC_X86_REG_IDTR, &Idtr));

  //
  // The PCH: ECAM and PCR windows, the PM timer port.
  //
  Check (uc_mmio_map (Uc.get (), Pch::kEcamBase, Pch::kEcamSize, OnEcamRead, &R, OnEcamWrite, &R));
  Check (uc_mmio_map (Uc.get (), Pch::kPcrBase, Pch::kPcrSize, OnPcrRead, &R, OnPcrWrite, &R));

  uc_hook  Hooks[4];
  Check (uc_hook_add (Uc.get (), &Hooks[0], UC_HOOK_CODE, (void *)OnCode, &R, 1, 0));
  Check (uc_hook_add (Uc.get (), &Hooks[1], UC_HOOK_MEM_INVALID, (void *)OnBadAccess, &R, 1, 0));
  Check (uc_hook_add (Uc.get (), &Hooks[2], UC_HOOK_INSN, (void *)OnIn, &R, 1, 0, UC_X86_INS_IN));
  Check (uc_hook_add (Uc.get (), &Hooks[3], UC_HOOK_INSN, (void *)OnOut, &R, 1, 0, UC_X86_INS_OUT));

  //
  // The call, as the PEI dispatcher makes it: cdecl, two arguments.
  //
  uint32_t  Esp   = kStackTop - 12;
  uint32_t  Frame[3] = { kReturnAddress, kFileHandle, kServicesCell };
  uint32_t  Saved[4] = { 0x11111111, 0x22222222, 0x33333333, 0x44444444 };
  Check (uc_mem_write (Uc.get (), Esp, Frame, sizeof (Frame)));
  Check (uc_reg_write (Uc.get (), UC_X86_REG_ESP, &Esp));
  Check (uc_reg_write (Uc.get (), UC_X86_REG_EBX, &Saved[0]));
  Check (uc_reg_write (Uc.get (), UC_X86_REG_ESI, &Saved[1]));
  Check (uc_reg_write (Uc.get (), UC_X86_REG_EDI, &Saved[2]));
  Check (uc_reg_write (Uc.get (), UC_X86_REG_EBP, &Saved[3]));
  if (Err != UC_ERR_OK) {
    R.Result.Error = std::string ("setting up the machine failed: ") + uc_strerror (Err);
    return R.Result;
  }

  Err = uc_emu_start (Uc.get (), mEntryPoint, kReturnAddress, 0, kInstructionLimit);
  if ((Err != UC_ERR_OK) && R.Result.Error.empty ()) {
    R.Result.Error = std::string ("emulation stopped: ") + uc_strerror (Err);
  }

  uint32_t  Eip, After[5];
  uc_reg_read (Uc.get (), UC_X86_REG_EIP, &Eip);
  uc_reg_read (Uc.get (), UC_X86_REG_EAX, &R.Result.Eax);
  uc_reg_read (Uc.get (), UC_X86_REG_EBX, &After[0]);
  uc_reg_read (Uc.get (), UC_X86_REG_ESI, &After[1]);
  uc_reg_read (Uc.get (), UC_X86_REG_EDI, &After[2]);
  uc_reg_read (Uc.get (), UC_X86_REG_EBP, &After[3]);
  uc_reg_read (Uc.get (), UC_X86_REG_ESP, &After[4]);
  R.Result.Returned        = R.Result.Error.empty () && (Eip == kReturnAddress);
  R.Result.CalleeSavedKept = std::memcmp (After, Saved, sizeof (Saved)) == 0 && After[4] == Esp + 4;
  if (!R.Result.Returned && R.Result.Error.empty ()) {
    R.Result.Error = "the entry point did not return within the instruction limit";
  }

  return R.Result;
}
