/** @file
  PE/COFF and TE image headers: what the image loaders and our build tools
  read. TE is the PI standard's stripped form of a PE image for code
  that runs in place.
**/
#ifndef PE_IMAGE_H_
#define PE_IMAGE_H_

#include <Base.h>

#define EFI_IMAGE_DOS_SIGNATURE      0x5A4D      // "MZ"
#define EFI_IMAGE_NT_SIGNATURE       0x00004550  // "PE\0\0"
#define EFI_TE_IMAGE_HEADER_SIGNATURE 0x5A56     // "VZ"

#define IMAGE_FILE_MACHINE_I386   0x014c
#define IMAGE_FILE_MACHINE_X64    0x8664

#define EFI_IMAGE_NT_OPTIONAL_HDR32_MAGIC  0x10b
#define EFI_IMAGE_NT_OPTIONAL_HDR64_MAGIC  0x20b

#define EFI_IMAGE_SUBSYSTEM_EFI_APPLICATION          10
#define EFI_IMAGE_SUBSYSTEM_EFI_BOOT_SERVICE_DRIVER  11
#define EFI_IMAGE_SUBSYSTEM_EFI_RUNTIME_DRIVER       12

#define EFI_IMAGE_NUMBER_OF_DIRECTORY_ENTRIES  16
#define EFI_IMAGE_DIRECTORY_ENTRY_EXPORT     0
#define EFI_IMAGE_DIRECTORY_ENTRY_IMPORT     1
#define EFI_IMAGE_DIRECTORY_ENTRY_RESOURCE   2
#define EFI_IMAGE_DIRECTORY_ENTRY_EXCEPTION  3
#define EFI_IMAGE_DIRECTORY_ENTRY_SECURITY   4
#define EFI_IMAGE_DIRECTORY_ENTRY_BASERELOC  5
#define EFI_IMAGE_DIRECTORY_ENTRY_DEBUG      6

#define EFI_IMAGE_REL_BASED_ABSOLUTE  0
#define EFI_IMAGE_REL_BASED_HIGHLOW   3
#define EFI_IMAGE_REL_BASED_DIR64     10

#define EFI_IMAGE_SIZEOF_SHORT_NAME  8

typedef struct {
  UINT16    e_magic;
  UINT16    e_cblp;
  UINT16    e_cp;
  UINT16    e_crlc;
  UINT16    e_cparhdr;
  UINT16    e_minalloc;
  UINT16    e_maxalloc;
  UINT16    e_ss;
  UINT16    e_sp;
  UINT16    e_csum;
  UINT16    e_ip;
  UINT16    e_cs;
  UINT16    e_lfarlc;
  UINT16    e_ovno;
  UINT16    e_res[4];
  UINT16    e_oemid;
  UINT16    e_oeminfo;
  UINT16    e_res2[10];
  UINT32    e_lfanew;
} EFI_IMAGE_DOS_HEADER;

typedef struct {
  UINT16    Machine;
  UINT16    NumberOfSections;
  UINT32    TimeDateStamp;
  UINT32    PointerToSymbolTable;
  UINT32    NumberOfSymbols;
  UINT16    SizeOfOptionalHeader;
  UINT16    Characteristics;
} EFI_IMAGE_FILE_HEADER;

typedef struct {
  UINT32    VirtualAddress;
  UINT32    Size;
} EFI_IMAGE_DATA_DIRECTORY;

typedef struct {
  UINT16                      Magic;
  UINT8                       MajorLinkerVersion;
  UINT8                       MinorLinkerVersion;
  UINT32                      SizeOfCode;
  UINT32                      SizeOfInitializedData;
  UINT32                      SizeOfUninitializedData;
  UINT32                      AddressOfEntryPoint;
  UINT32                      BaseOfCode;
  UINT32                      BaseOfData;
  UINT32                      ImageBase;
  UINT32                      SectionAlignment;
  UINT32                      FileAlignment;
  UINT16                      MajorOperatingSystemVersion;
  UINT16                      MinorOperatingSystemVersion;
  UINT16                      MajorImageVersion;
  UINT16                      MinorImageVersion;
  UINT16                      MajorSubsystemVersion;
  UINT16                      MinorSubsystemVersion;
  UINT32                      Win32VersionValue;
  UINT32                      SizeOfImage;
  UINT32                      SizeOfHeaders;
  UINT32                      CheckSum;
  UINT16                      Subsystem;
  UINT16                      DllCharacteristics;
  UINT32                      SizeOfStackReserve;
  UINT32                      SizeOfStackCommit;
  UINT32                      SizeOfHeapReserve;
  UINT32                      SizeOfHeapCommit;
  UINT32                      LoaderFlags;
  UINT32                      NumberOfRvaAndSizes;
  EFI_IMAGE_DATA_DIRECTORY    DataDirectory[EFI_IMAGE_NUMBER_OF_DIRECTORY_ENTRIES];
} EFI_IMAGE_OPTIONAL_HEADER32;

typedef struct {
  UINT16                      Magic;
  UINT8                       MajorLinkerVersion;
  UINT8                       MinorLinkerVersion;
  UINT32                      SizeOfCode;
  UINT32                      SizeOfInitializedData;
  UINT32                      SizeOfUninitializedData;
  UINT32                      AddressOfEntryPoint;
  UINT32                      BaseOfCode;
  UINT64                      ImageBase;
  UINT32                      SectionAlignment;
  UINT32                      FileAlignment;
  UINT16                      MajorOperatingSystemVersion;
  UINT16                      MinorOperatingSystemVersion;
  UINT16                      MajorImageVersion;
  UINT16                      MinorImageVersion;
  UINT16                      MajorSubsystemVersion;
  UINT16                      MinorSubsystemVersion;
  UINT32                      Win32VersionValue;
  UINT32                      SizeOfImage;
  UINT32                      SizeOfHeaders;
  UINT32                      CheckSum;
  UINT16                      Subsystem;
  UINT16                      DllCharacteristics;
  UINT64                      SizeOfStackReserve;
  UINT64                      SizeOfStackCommit;
  UINT64                      SizeOfHeapReserve;
  UINT64                      SizeOfHeapCommit;
  UINT32                      LoaderFlags;
  UINT32                      NumberOfRvaAndSizes;
  EFI_IMAGE_DATA_DIRECTORY    DataDirectory[EFI_IMAGE_NUMBER_OF_DIRECTORY_ENTRIES];
} EFI_IMAGE_OPTIONAL_HEADER64;

typedef struct {
  UINT8     Name[EFI_IMAGE_SIZEOF_SHORT_NAME];
  UINT32    VirtualSize;
  UINT32    VirtualAddress;
  UINT32    SizeOfRawData;
  UINT32    PointerToRawData;
  UINT32    PointerToRelocations;
  UINT32    PointerToLinenumbers;
  UINT16    NumberOfRelocations;
  UINT16    NumberOfLinenumbers;
  UINT32    Characteristics;
} EFI_IMAGE_SECTION_HEADER;

typedef struct {
  UINT32    VirtualAddress;
  UINT32    SizeOfBlock;
} EFI_IMAGE_BASE_RELOCATION;

///
/// TE header: replaces the DOS, PE and optional headers of a PE image.
/// StrippedSize is the number of bytes removed from the start of the PE
/// file; the section table follows this header directly.
///
typedef struct {
  UINT16                      Signature;
  UINT16                      Machine;
  UINT8                       NumberOfSections;
  UINT8                       Subsystem;
  UINT16                      StrippedSize;
  UINT32                      AddressOfEntryPoint;
  UINT32                      BaseOfCode;
  UINT64                      ImageBase;
  EFI_IMAGE_DATA_DIRECTORY    DataDirectory[2];
} EFI_TE_IMAGE_HEADER;

#define EFI_TE_IMAGE_DIRECTORY_ENTRY_BASERELOC  0
#define EFI_TE_IMAGE_DIRECTORY_ENTRY_DEBUG      1

STATIC_ASSERT (sizeof (EFI_IMAGE_DOS_HEADER) == 64, "DOS header is 64 bytes");
STATIC_ASSERT (sizeof (EFI_IMAGE_FILE_HEADER) == 20, "COFF file header is 20 bytes");
STATIC_ASSERT (sizeof (EFI_IMAGE_OPTIONAL_HEADER32) == 224, "PE32 optional header is 224 bytes");
STATIC_ASSERT (sizeof (EFI_IMAGE_OPTIONAL_HEADER64) == 240, "PE32+ optional header is 240 bytes");
STATIC_ASSERT (sizeof (EFI_IMAGE_SECTION_HEADER) == 40, "section header is 40 bytes");
STATIC_ASSERT (sizeof (EFI_TE_IMAGE_HEADER) == 40, "TE header is 40 bytes");
STATIC_ASSERT (OFFSET_OF (EFI_TE_IMAGE_HEADER, ImageBase) == 16, "TE ImageBase");

#endif
