/** @file
  PEI services table, PPI descriptors and the PEIM entry point type, laid
  out as UEFI Platform Initialization (PI) defines them for the PEI phase.

  Only the PPI services are typed; the other slots are kept as pointers so
  that every member sits at its architectural offset.
**/
#ifndef PI_PEI_CIS_H_
#define PI_PEI_CIS_H_

#include <Uefi/UefiBaseType.h>
#include <Uefi/UefiMultiPhase.h>

///
/// Handle of a firmware file (here: the PEIM's own file).
///
typedef VOID *EFI_PEI_FILE_HANDLE;

typedef struct _EFI_PEI_SERVICES EFI_PEI_SERVICES;

#define EFI_PEI_PPI_DESCRIPTOR_PIC                0x00000001
#define EFI_PEI_PPI_DESCRIPTOR_PPI                0x00000010
#define EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK    0x00000020
#define EFI_PEI_PPI_DESCRIPTOR_NOTIFY_DISPATCH    0x00000040
#define EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST     0x80000000

///
/// Entry of the PPI database.
///
typedef struct {
  UINTN       Flags;
  EFI_GUID    *Guid;
  VOID        *Ppi;
} EFI_PEI_PPI_DESCRIPTOR;

typedef struct _EFI_PEI_NOTIFY_DESCRIPTOR EFI_PEI_NOTIFY_DESCRIPTOR;

typedef EFI_STATUS (EFIAPI *EFI_PEI_INSTALL_PPI)(
  IN CONST EFI_PEI_SERVICES        **PeiServices,
  IN CONST EFI_PEI_PPI_DESCRIPTOR  *PpiList
  );

typedef EFI_STATUS (EFIAPI *EFI_PEI_REINSTALL_PPI)(
  IN CONST EFI_PEI_SERVICES        **PeiServices,
  IN CONST EFI_PEI_PPI_DESCRIPTOR  *OldPpi,
  IN CONST EFI_PEI_PPI_DESCRIPTOR  *NewPpi
  );

/**
  Finds an installed PPI by GUID.

  @param[in]      PeiServices    The PEI services table pointer.
  @param[in]      Guid           GUID of the PPI.
  @param[in]      Instance       Which instance of that GUID, 0 for the first.
  @param[in, out] PpiDescriptor  Receives the PPI's descriptor; may be NULL.
  @param[in, out] Ppi            Receives the PPI's interface.

  @retval EFI_SUCCESS    The PPI was found.
  @retval EFI_NOT_FOUND  No such PPI (instance) is installed.
**/
typedef EFI_STATUS (EFIAPI *EFI_PEI_LOCATE_PPI)(
  IN CONST EFI_PEI_SERVICES        **PeiServices,
  IN CONST EFI_GUID                *Guid,
  IN UINTN                         Instance,
  IN OUT EFI_PEI_PPI_DESCRIPTOR    **PpiDescriptor OPTIONAL,
  IN OUT VOID                      **Ppi
  );

typedef EFI_STATUS (EFIAPI *EFI_PEI_NOTIFY_PPI)(
  IN CONST EFI_PEI_SERVICES           **PeiServices,
  IN CONST EFI_PEI_NOTIFY_DESCRIPTOR  *NotifyList
  );

#define PEI_SERVICES_SIGNATURE  0x5652455320494550ULL

///
/// The PEI services table, members in their architectural order.
///
struct _EFI_PEI_SERVICES {
  EFI_TABLE_HEADER         Hdr;
  //
  // PPI functions
  //
  EFI_PEI_INSTALL_PPI      InstallPpi;
  EFI_PEI_REINSTALL_PPI    ReInstallPpi;
  EFI_PEI_LOCATE_PPI       LocatePpi;
  EFI_PEI_NOTIFY_PPI       NotifyPpi;
  //
  // Boot mode, HOB, firmware volume, memory, status code and reset
  // services; not used by the modules of this tree.
  //
  VOID                     *GetBootMode;
  VOID                     *SetBootMode;
  VOID                     *GetHobList;
  VOID                     *CreateHob;
  VOID                     *FfsFindNextVolume;
  VOID                     *FfsFindNextFile;
  VOID                     *FfsFindSectionData;
  VOID                     *InstallPeiMemory;
  VOID                     *AllocatePages;
  VOID                     *AllocatePool;
  VOID                     *CopyMem;
  VOID                     *SetMem;
  VOID                     *ReportStatusCode;
  VOID                     *ResetSystem;
  VOID                     *CpuIo;
  VOID                     *PciCfg;
  VOID                     *FfsFindFileByName;
  VOID                     *FfsGetFileInfo;
  VOID                     *FfsGetVolumeInfo;
  VOID                     *RegisterForShadow;
  VOID                     *FindSectionData3;
  VOID                     *FfsGetFileInfo2;
  VOID                     *ResetSystem2;
  VOID                     *FreePages;
};

STATIC_ASSERT (OFFSET_OF (EFI_PEI_SERVICES, LocatePpi) == 24 + 2 * sizeof (VOID *), "LocatePpi slot");

/**
  Entry point of a PEIM.

  @param[in] FileHandle   Handle of the PEIM's firmware file.
  @param[in] PeiServices  The PEI services table pointer.
**/
typedef EFI_STATUS (EFIAPI *EFI_PEIM_ENTRY_POINT2)(
  IN EFI_PEI_FILE_HANDLE       FileHandle,
  IN CONST EFI_PEI_SERVICES    **PeiServices
  );

#endif
