// PeInfo: prints what a firmware image is (PE32/PE32+ or TE), and with
// --check verifies the facts a loader relies on:
//   --check dxe   PE32+, x64, subsystem 11, entry point set, no import
//                 table, base relocations present
//   --check pe32  PE32, IA32, no import table, base relocations present
//   --check te    TE, IA32, entry point set, base relocations present,
//                 sections laid out to run in place (file offset = RVA, no
//                 section larger in memory than in the file), no writable
//                 section; with --pe PE_IMAGE also every TE header field
//                 against the PE image it was made from, and the bytes
//                 after the header against the PE's from StrippedSize on
// Exit status: 0 facts printed (and checks passed), 1 a check failed,
// 2 the file is unreadable or not an image.
extern "C" {
#include <IndustryStandard/PeImage.h>
}

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Image {
  std::vector<unsigned char>  Bytes;

  template<typename T>
  bool Read (size_t Offset, T *Out) const
  {
    if ((Offset > Bytes.size ()) || (sizeof (T) > Bytes.size () - Offset)) {
      return false;
    }

    std::memcpy (Out, Bytes.data () + Offset, sizeof (T));
    return true;
  }
};

struct Facts {
  std::string    Format;
  UINT16         Machine = 0;
  UINT16         Subsystem = 0;
  UINT32         EntryPoint = 0;
  UINT64         ImageBase = 0;
  UINT32         SizeOfImage = 0;
  UINT32         ImportSize = 0;
  UINT32         BaseOfCode = 0;
  UINT32         RelocRva = 0;
  UINT32         RelocSize = 0;
  UINT32         DebugRva = 0;
  UINT32         DebugSize = 0;
  size_t         RelocEntries = 0;
  size_t         SectionTable = 0;   // file offset of the section table
  UINT16         StrippedSize = 0;   // TE only
  std::vector<EFI_IMAGE_SECTION_HEADER>  Sections;
};

size_t
RvaToOffset (
  const Facts  &F,
  UINT32       Rva,
  long long    Adjust
  )
{
  for (auto &S : F.Sections) {
    if ((Rva >= S.VirtualAddress) && (Rva < S.VirtualAddress + S.SizeOfRawData)) {
      return (size_t)((long long)S.PointerToRawData + (Rva - S.VirtualAddress) - Adjust);
    }
  }

  return (size_t)-1;
}

size_t
CountRelocations (
  const Image  &Img,
  const Facts  &F,
  long long    Adjust
  )
{
  size_t  Offset = RvaToOffset (F, F.RelocRva, Adjust);
  size_t  End    = Offset + F.RelocSize;
  size_t  Count  = 0;

  while (Offset != (size_t)-1 && Offset + sizeof (EFI_IMAGE_BASE_RELOCATION) <= End) {
    EFI_IMAGE_BASE_RELOCATION  Block;
    if (!Img.Read (Offset, &Block) || (Block.SizeOfBlock < sizeof (Block))) {
      break;
    }

    for (size_t E = Offset + sizeof (Block); E + 2 <= Offset + Block.SizeOfBlock; E += 2) {
      UINT16  Entry;
      if (Img.Read (E, &Entry) && ((Entry >> 12) != EFI_IMAGE_REL_BASED_ABSOLUTE)) {
        Count++;
      }
    }

    Offset += Block.SizeOfBlock;
  }

  return Count;
}

bool
ParsePe (
  const Image  &Img,
  Facts        *F
  )
{
  EFI_IMAGE_DOS_HEADER   Dos;
  UINT32                 Signature;
  EFI_IMAGE_FILE_HEADER  File;
  UINT16                 Magic;

  if (!Img.Read (0, &Dos) || (Dos.e_magic != EFI_IMAGE_DOS_SIGNATURE) ||
      !Img.Read (Dos.e_lfanew, &Signature) || (Signature != EFI_IMAGE_NT_SIGNATURE) ||
      !Img.Read (Dos.e_lfanew + 4, &File))
  {
    return false;
  }

  size_t  Optional = Dos.e_lfanew + 4 + sizeof (File);
  if (!Img.Read (Optional, &Magic)) {
    return false;
  }

  const EFI_IMAGE_DATA_DIRECTORY  *Dirs;
  UINT32                          DirCount;
  EFI_IMAGE_OPTIONAL_HEADER64     Hdr64;
  EFI_IMAGE_OPTIONAL_HEADER32     Hdr32;
  if (Magic == EFI_IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
    if (!Img.Read (Optional, &Hdr64)) {
      return false;
    }

    F->Format      = "PE32+";
    F->BaseOfCode  = Hdr64.BaseOfCode;
    F->Subsystem   = Hdr64.Subsystem;
    F->EntryPoint  = Hdr64.AddressOfEntryPoint;
    F->ImageBase   = Hdr64.ImageBase;
    F->SizeOfImage = Hdr64.SizeOfImage;
    Dirs           = Hdr64.DataDirectory;
    DirCount       = Hdr64.NumberOfRvaAndSizes;
  } else if (Magic == EFI_IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
    if (!Img.Read (Optional, &Hdr32)) {
      return false;
    }

    F->Format      = "PE32";
    F->BaseOfCode  = Hdr32.BaseOfCode;
    F->Subsystem   = Hdr32.Subsystem;
    F->EntryPoint  = Hdr32.AddressOfEntryPoint;
    F->ImageBase   = Hdr32.ImageBase;
    F->SizeOfImage = Hdr32.SizeOfImage;
    Dirs           = Hdr32.DataDirectory;
    DirCount       = Hdr32.NumberOfRvaAndSizes;
  } else {
    return false;
  }

  F->Machine = File.Machine;
  if (DirCount > EFI_IMAGE_DIRECTORY_ENTRY_IMPORT) {
    F->ImportSize = Dirs[EFI_IMAGE_DIRECTORY_ENTRY_IMPORT].Size;
  }

  if (DirCount > EFI_IMAGE_DIRECTORY_ENTRY_BASERELOC) {
    F->RelocRva  = Dirs[EFI_IMAGE_DIRECTORY_ENTRY_BASERELOC].VirtualAddress;
    F->RelocSize = Dirs[EFI_IMAGE_DIRECTORY_ENTRY_BASERELOC].Size;
  }

  if (DirCount > EFI_IMAGE_DIRECTORY_ENTRY_DEBUG) {
    F->DebugRva  = Dirs[EFI_IMAGE_DIRECTORY_ENTRY_DEBUG].VirtualAddress;
    F->DebugSize = Dirs[EFI_IMAGE_DIRECTORY_ENTRY_DEBUG].Size;
  }

  size_t  SectionTable = Optional + File.SizeOfOptionalHeader;
  F->SectionTable = SectionTable;
  for (UINT16 Index = 0; Index < File.NumberOfSections; Index++) {
    EFI_IMAGE_SECTION_HEADER  Section;
    if (!Img.Read (SectionTable + Index * sizeof (Section), &Section)) {
      return false;
    }

    F->Sections.push_back (Section);
  }

  F->RelocEntries = CountRelocations (Img, *F, 0);
  return true;
}

bool
ParseTe (
  const Image  &Img,
  Facts        *F
  )
{
  EFI_TE_IMAGE_HEADER  Te;

  if (!Img.Read (0, &Te) || (Te.Signature != EFI_TE_IMAGE_HEADER_SIGNATURE)) {
    return false;
  }

  F->Format     = "TE";
  F->Machine    = Te.Machine;
  F->Subsystem  = Te.Subsystem;
  F->EntryPoint = Te.AddressOfEntryPoint;
  F->ImageBase  = Te.ImageBase;
  F->BaseOfCode = Te.BaseOfCode;
  F->RelocRva   = Te.DataDirectory[EFI_TE_IMAGE_DIRECTORY_ENTRY_BASERELOC].VirtualAddress;
  F->RelocSize  = Te.DataDirectory[EFI_TE_IMAGE_DIRECTORY_ENTRY_BASERELOC].Size;
  F->DebugRva   = Te.DataDirectory[EFI_TE_IMAGE_DIRECTORY_ENTRY_DEBUG].VirtualAddress;
  F->DebugSize  = Te.DataDirectory[EFI_TE_IMAGE_DIRECTORY_ENTRY_DEBUG].Size;
  F->SectionTable = sizeof (Te);
  F->StrippedSize = Te.StrippedSize;
  for (UINT8 Index = 0; Index < Te.NumberOfSections; Index++) {
    EFI_IMAGE_SECTION_HEADER  Section;
    if (!Img.Read (sizeof (Te) + Index * sizeof (Section), &Section)) {
      return false;
    }

    F->Sections.push_back (Section);
  }

  // Section file offsets keep their PE values; the TE file lacks the
  // StrippedSize - 40 bytes of PE headers in front of them.
  F->RelocEntries = CountRelocations (Img, *F, (long long)Te.StrippedSize - (long long)sizeof (Te));
  return true;
}

const char *
MachineName (
  UINT16  Machine
  )
{
  switch (Machine) {
    case IMAGE_FILE_MACHINE_X64:  return "x64";
    case IMAGE_FILE_MACHINE_I386: return "IA32";
    default:                      return "unknown";
  }
}

const char *
SubsystemName (
  UINT16  Subsystem
  )
{
  switch (Subsystem) {
    case EFI_IMAGE_SUBSYSTEM_EFI_APPLICATION:         return "EFI application";
    case EFI_IMAGE_SUBSYSTEM_EFI_BOOT_SERVICE_DRIVER: return "EFI boot service driver";
    case EFI_IMAGE_SUBSYSTEM_EFI_RUNTIME_DRIVER:      return "EFI runtime driver";
    default:                                          return "other";
  }
}

/// Whether every section lies in the file exactly as in memory, which an
/// image that runs in place needs.
bool
LaidOutInPlace (
  const Facts  &F
  )
{
  for (auto &S : F.Sections) {
    if ((S.PointerToRawData != S.VirtualAddress) || (S.VirtualSize > S.SizeOfRawData)) {
      return false;
    }
  }

  return !F.Sections.empty ();
}

bool
NoWritableSection (
  const Facts  &F
  )
{
  for (auto &S : F.Sections) {
    if ((S.Characteristics & 0x80000000u) != 0) {  // IMAGE_SCN_MEM_WRITE
      return false;
    }
  }

  return true;
}

/// TE header fields and bytes against the PE image the TE was made from.
void
CompareTeWithPe (
  const Image                   &Te,
  const Facts                   &T,
  const Image                   &Pe,
  const Facts                   &P,
  std::vector<std::pair<std::string, bool> >  *Rules
  )
{
  bool  SameSections = T.Sections.size () == P.Sections.size ();
  for (size_t Index = 0; SameSections && Index < T.Sections.size (); Index++) {
    SameSections = std::memcmp (&T.Sections[Index], &P.Sections[Index], sizeof (EFI_IMAGE_SECTION_HEADER)) == 0;
  }

  bool  SameBody = (P.Format != "TE") && (P.SectionTable <= Pe.Bytes.size ()) &&
                   (Te.Bytes.size () >= sizeof (EFI_TE_IMAGE_HEADER)) &&
                   (Te.Bytes.size () - sizeof (EFI_TE_IMAGE_HEADER) == Pe.Bytes.size () - P.SectionTable) &&
                   std::equal (Te.Bytes.begin () + sizeof (EFI_TE_IMAGE_HEADER), Te.Bytes.end (),
                               Pe.Bytes.begin () + (long)P.SectionTable);

  Rules->push_back ({ "TE StrippedSize = PE section table offset", T.StrippedSize == P.SectionTable });
  Rules->push_back ({ "TE machine = PE machine", T.Machine == P.Machine });
  Rules->push_back ({ "TE subsystem = PE subsystem", T.Subsystem == P.Subsystem });
  Rules->push_back ({ "TE entry point = PE entry point", T.EntryPoint == P.EntryPoint });
  Rules->push_back ({ "TE base of code = PE base of code", T.BaseOfCode == P.BaseOfCode });
  Rules->push_back ({ "TE image base = PE image base", T.ImageBase == P.ImageBase });
  Rules->push_back ({ "TE relocation directory = PE's", T.RelocRva == P.RelocRva && T.RelocSize == P.RelocSize });
  Rules->push_back ({ "TE debug directory = PE's", T.DebugRva == P.DebugRva && T.DebugSize == P.DebugSize });
  Rules->push_back ({ "TE section headers = PE section headers", SameSections });
  Rules->push_back ({ "TE bytes after header = PE from StrippedSize", SameBody });
}

int
Check (
  const std::string  &Kind,
  const Image        &Img,
  const Facts        &F,
  const std::string  &PePath
  )
{
  std::vector<std::pair<std::string, bool> >  Rules;

  if (Kind == "dxe") {
    Rules = {
      { "format is PE32+", F.Format == "PE32+" },
      { "machine is x64", F.Machine == IMAGE_FILE_MACHINE_X64 },
      { "subsystem is 11 (EFI boot service driver)", F.Subsystem == EFI_IMAGE_SUBSYSTEM_EFI_BOOT_SERVICE_DRIVER },
    };
  } else if (Kind == "pe32") {
    Rules = {
      { "format is PE32", F.Format == "PE32" },
      { "machine is IA32", F.Machine == IMAGE_FILE_MACHINE_I386 },
    };
  } else if (Kind == "te") {
    Rules = {
      { "format is TE", F.Format == "TE" },
      { "machine is IA32", F.Machine == IMAGE_FILE_MACHINE_I386 },
      { "sections laid out to run in place", LaidOutInPlace (F) },
      { "no writable section", NoWritableSection (F) },
    };
    if (!PePath.empty ()) {
      std::ifstream  In (PePath, std::ios::binary);
      Image          Pe;
      Facts          P;
      Pe.Bytes.assign (std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
      if (!ParsePe (Pe, &P)) {
        std::fprintf (stderr, "PeInfo: %s is not a PE image\n", PePath.c_str ());
        return 2;
      }

      CompareTeWithPe (Img, F, Pe, P, &Rules);
    }
  } else {
    std::fprintf (stderr, "PeInfo: unknown check '%s'\n", Kind.c_str ());
    return 2;
  }

  Rules.push_back ({ "entry point is set", F.EntryPoint != 0 });
  Rules.push_back ({ "no import table", F.ImportSize == 0 });
  Rules.push_back ({ "base relocations present", F.RelocSize != 0 && F.RelocEntries != 0 });

  int  Failed = 0;
  for (auto &R : Rules) {
    std::printf ("  check %-44s %s\n", R.first.c_str (), R.second ? "ok" : "FAILED");
    Failed += R.second ? 0 : 1;
  }

  return Failed == 0 ? 0 : 1;
}

}  // namespace

int
main (
  int   Argc,
  char  **Argv
  )
{
  std::string  CheckKind;
  std::string  PePath;
  std::string  Path;

  for (int Index = 1; Index < Argc; Index++) {
    std::string  Arg = Argv[Index];
    if ((Arg == "--check") && (Index + 1 < Argc)) {
      CheckKind = Argv[++Index];
    } else if ((Arg == "--pe") && (Index + 1 < Argc)) {
      PePath = Argv[++Index];
    } else if (Arg == "--help") {
      std::printf ("usage: PeInfo [--check dxe|pe32|te [--pe PE_IMAGE]] IMAGE\n");
      return 0;
    } else {
      Path = Arg;
    }
  }

  if (Path.empty ()) {
    std::fprintf (stderr, "usage: PeInfo [--check dxe|pe32|te [--pe PE_IMAGE]] IMAGE\n");
    return 2;
  }

  std::ifstream  In (Path, std::ios::binary);
  if (!In) {
    std::fprintf (stderr, "PeInfo: cannot read %s\n", Path.c_str ());
    return 2;
  }

  Image  Img;
  Img.Bytes.assign (std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());

  Facts  F;
  if (!ParsePe (Img, &F) && !ParseTe (Img, &F)) {
    std::fprintf (stderr, "PeInfo: %s is neither a PE nor a TE image\n", Path.c_str ());
    return 2;
  }

  std::printf ("%s: %zu bytes\n", Path.c_str (), Img.Bytes.size ());
  std::printf ("  format       %s\n", F.Format.c_str ());
  std::printf ("  machine      %s (0x%04X)\n", MachineName (F.Machine), F.Machine);
  std::printf ("  subsystem    %u (%s)\n", F.Subsystem, SubsystemName (F.Subsystem));
  std::printf ("  entry point  RVA 0x%X\n", F.EntryPoint);
  std::printf ("  image base   0x%llX\n", (unsigned long long)F.ImageBase);
  if (F.SizeOfImage != 0) {
    std::printf ("  image size   %u bytes in memory\n", F.SizeOfImage);
  }

  if (F.Format == "TE") {
    std::printf ("  stripped     %u bytes of PE headers\n", F.StrippedSize);
  }

  std::printf ("  imports      %s\n", F.ImportSize == 0 ? "none" : "PRESENT");
  std::printf ("  relocations  %zu fixups in %u bytes\n", F.RelocEntries, F.RelocSize);
  std::printf ("  sections    ");
  for (auto &S : F.Sections) {
    char  Name[9] = { 0 };
    std::memcpy (Name, S.Name, 8);
    std::printf (" %s(%u)", Name, S.VirtualSize);
  }

  std::printf ("\n");
  return CheckKind.empty () ? 0 : Check (CheckKind, Img, F, PePath);
}
