// PeToTe: converts a PE32 or PE32+ firmware image into the TE (terse
// executable) form that UEFI Platform Initialization (PI) firmware runs in place:
//
//   - the DOS header, PE signature, COFF header and optional header are
//     replaced by one 40-byte EFI_TE_IMAGE_HEADER; StrippedSize is the offset
//     of the section table in the PE file, and the TE file is that header
//     followed by every PE byte from StrippedSize on;
//   - section headers and relocation RVAs keep their PE values, ImageBase the
//     link base; a loader finds RVA x at TE offset x - (StrippedSize - 40);
//   - the base relocation and debug data directories are carried over.
//
// The image runs where it lies, so its file layout must equal its memory
// layout: every section's file offset must equal its RVA, and every section
// must have file bytes for all of its size. Images linked with equal section
// and file alignment (/align:32 /filealign:32) have that; others are refused.
//
// usage: PeToTe INPUT.efi OUTPUT.te
// Exit status: 0 written, 1 the image cannot be converted, 2 usage or I/O.
extern "C" {
#include <IndustryStandard/PeImage.h>
}

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

template<typename T>
bool
ReadAt (
  const std::vector<unsigned char>  &Bytes,
  size_t                            Offset,
  T                                 *Out
  )
{
  if ((Offset > Bytes.size ()) || (sizeof (T) > Bytes.size () - Offset)) {
    return false;
  }

  std::memcpy (Out, Bytes.data () + Offset, sizeof (T));
  return true;
}

int
Fail (
  const std::string  &Path,
  const std::string  &Why
  )
{
  std::fprintf (stderr, "PeToTe: %s: %s\n", Path.c_str (), Why.c_str ());
  return 1;
}

}  // namespace

int
main (
  int   Argc,
  char  **Argv
  )
{
  if (Argc != 3) {
    std::fprintf (stderr, "usage: PeToTe INPUT.efi OUTPUT.te\n");
    return 2;
  }

  std::string    In  = Argv[1];
  std::string    Out = Argv[2];
  std::ifstream  Input (In, std::ios::binary);
  if (!Input) {
    std::fprintf (stderr, "PeToTe: cannot read %s\n", In.c_str ());
    return 2;
  }

  std::vector<unsigned char>  Pe ((std::istreambuf_iterator<char>(Input)), std::istreambuf_iterator<char>());

  EFI_IMAGE_DOS_HEADER   Dos;
  UINT32                 Signature;
  EFI_IMAGE_FILE_HEADER  File;
  UINT16                 Magic;
  if (!ReadAt (Pe, 0, &Dos) || (Dos.e_magic != EFI_IMAGE_DOS_SIGNATURE) ||
      !ReadAt (Pe, Dos.e_lfanew, &Signature) || (Signature != EFI_IMAGE_NT_SIGNATURE) ||
      !ReadAt (Pe, (size_t)Dos.e_lfanew + 4, &File))
  {
    return Fail (In, "not a PE image");
  }

  size_t  Optional = (size_t)Dos.e_lfanew + 4 + sizeof (File);
  if (!ReadAt (Pe, Optional, &Magic)) {
    return Fail (In, "truncated optional header");
  }

  EFI_TE_IMAGE_HEADER             Te = {};
  const EFI_IMAGE_DATA_DIRECTORY  *Dirs;
  UINT32                          DirCount;
  UINT16                          Subsystem;
  EFI_IMAGE_OPTIONAL_HEADER32     Hdr32;
  EFI_IMAGE_OPTIONAL_HEADER64     Hdr64;
  if ((Magic == EFI_IMAGE_NT_OPTIONAL_HDR32_MAGIC) && ReadAt (Pe, Optional, &Hdr32)) {
    Te.AddressOfEntryPoint = Hdr32.AddressOfEntryPoint;
    Te.BaseOfCode          = Hdr32.BaseOfCode;
    Te.ImageBase           = Hdr32.ImageBase;
    Subsystem              = Hdr32.Subsystem;
    Dirs                   = Hdr32.DataDirectory;
    DirCount               = Hdr32.NumberOfRvaAndSizes;
  } else if ((Magic == EFI_IMAGE_NT_OPTIONAL_HDR64_MAGIC) && ReadAt (Pe, Optional, &Hdr64)) {
    Te.AddressOfEntryPoint = Hdr64.AddressOfEntryPoint;
    Te.BaseOfCode          = Hdr64.BaseOfCode;
    Te.ImageBase           = Hdr64.ImageBase;
    Subsystem              = Hdr64.Subsystem;
    Dirs                   = Hdr64.DataDirectory;
    DirCount               = Hdr64.NumberOfRvaAndSizes;
  } else {
    return Fail (In, "unknown or truncated optional header");
  }

  size_t  SectionTable = Optional + File.SizeOfOptionalHeader;
  size_t  HeadersEnd   = SectionTable + (size_t)File.NumberOfSections * sizeof (EFI_IMAGE_SECTION_HEADER);
  if ((SectionTable > 0xFFFF) || (File.NumberOfSections > 0xFF) || (Subsystem > 0xFF)) {
    return Fail (In, "headers do not fit the TE header's fields");
  }

  if (HeadersEnd > Pe.size ()) {
    return Fail (In, "truncated section table");
  }

  for (UINT16 Index = 0; Index < File.NumberOfSections; Index++) {
    EFI_IMAGE_SECTION_HEADER  Section;
    ReadAt (Pe, SectionTable + Index * sizeof (Section), &Section);
    char  Name[EFI_IMAGE_SIZEOF_SHORT_NAME + 1] = { 0 };
    std::memcpy (Name, Section.Name, EFI_IMAGE_SIZEOF_SHORT_NAME);
    if (Section.PointerToRawData != Section.VirtualAddress) {
      return Fail (In, std::string ("section ") + Name + " lies at a file offset other than its RVA; "
                   "link with equal section and file alignment");
    }

    if (Section.VirtualSize > Section.SizeOfRawData) {
      return Fail (In, std::string ("section ") + Name + " has fewer file bytes than memory bytes");
    }

    if ((size_t)Section.PointerToRawData + Section.SizeOfRawData > Pe.size ()) {
      return Fail (In, std::string ("section ") + Name + " reaches past the end of the file");
    }
  }

  Te.Signature        = EFI_TE_IMAGE_HEADER_SIGNATURE;
  Te.Machine          = File.Machine;
  Te.NumberOfSections = (UINT8)File.NumberOfSections;
  Te.Subsystem        = (UINT8)Subsystem;
  Te.StrippedSize     = (UINT16)SectionTable;
  if (DirCount > EFI_IMAGE_DIRECTORY_ENTRY_BASERELOC) {
    Te.DataDirectory[EFI_TE_IMAGE_DIRECTORY_ENTRY_BASERELOC] = Dirs[EFI_IMAGE_DIRECTORY_ENTRY_BASERELOC];
  }

  if (DirCount > EFI_IMAGE_DIRECTORY_ENTRY_DEBUG) {
    Te.DataDirectory[EFI_TE_IMAGE_DIRECTORY_ENTRY_DEBUG] = Dirs[EFI_IMAGE_DIRECTORY_ENTRY_DEBUG];
  }

  std::ofstream  Output (Out, std::ios::binary | std::ios::trunc);
  Output.write ((const char *)&Te, sizeof (Te));
  Output.write ((const char *)Pe.data () + SectionTable, (std::streamsize)(Pe.size () - SectionTable));
  Output.close ();
  if (!Output) {
    std::fprintf (stderr, "PeToTe: cannot write %s\n", Out.c_str ());
    std::remove (Out.c_str ());
    return 2;
  }

  return 0;
}
