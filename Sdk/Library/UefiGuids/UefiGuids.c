/** @file
  Definitions of the UEFI and PI GUIDs that the headers declare. An EDK II
  build emits the same definitions per module from its INF.
**/
#include <PiDxe.h>
#include <Guid/CapsuleReport.h>
#include <Guid/FileInfo.h>
#include <Guid/FmpCapsule.h>
#include <Guid/GlobalVariable.h>
#include <Guid/HobList.h>
#include <Protocol/BlockIo.h>
#include <Protocol/DevicePath.h>
#include <Protocol/DevicePathToText.h>
#include <Protocol/FirmwareManagement.h>
#include <Protocol/SimpleFileSystem.h>

EFI_GUID  gEfiGlobalVariableGuid             = EFI_GLOBAL_VARIABLE;
EFI_GUID  gEfiHobListGuid                    = HOB_LIST_GUID;
EFI_GUID  gEfiFmpCapsuleGuid                 = EFI_FIRMWARE_MANAGEMENT_CAPSULE_ID_GUID;
EFI_GUID  gEfiCapsuleReportGuid              = EFI_CAPSULE_REPORT_GUID;
EFI_GUID  gEfiFirmwareManagementProtocolGuid = EFI_FIRMWARE_MANAGEMENT_PROTOCOL_GUID;
EFI_GUID  gEfiDevicePathProtocolGuid         = EFI_DEVICE_PATH_PROTOCOL_GUID;
EFI_GUID  gEfiDevicePathToTextProtocolGuid   = EFI_DEVICE_PATH_TO_TEXT_PROTOCOL_GUID;
EFI_GUID  gEfiSimpleFileSystemProtocolGuid   = EFI_SIMPLE_FILE_SYSTEM_PROTOCOL_GUID;
EFI_GUID  gEfiFileInfoGuid                   = EFI_FILE_INFO_ID;
EFI_GUID  gEfiBlockIoProtocolGuid            = EFI_BLOCK_IO_PROTOCOL_GUID;
