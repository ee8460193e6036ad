/** @file
  Reset Notification protocol: functions registered here are called by the
  firmware's ResetSystem, with its arguments, before the platform resets.
**/
#ifndef RESET_NOTIFICATION_PROTOCOL_H_
#define RESET_NOTIFICATION_PROTOCOL_H_

#include <Uefi/UefiSpec.h>

#define EFI_RESET_NOTIFICATION_PROTOCOL_GUID \
  { 0x9da34ae0, 0xeaf9, 0x4bbf, { 0x8e, 0xc3, 0xfd, 0x60, 0x22, 0x6c, 0x44, 0xbe } }

typedef struct _EFI_RESET_NOTIFICATION_PROTOCOL EFI_RESET_NOTIFICATION_PROTOCOL;

typedef EFI_STATUS (EFIAPI *EFI_REGISTER_RESET_NOTIFY)(
  IN EFI_RESET_NOTIFICATION_PROTOCOL  *This,
  IN EFI_RESET_SYSTEM                 ResetFunction
  );

typedef EFI_STATUS (EFIAPI *EFI_UNREGISTER_RESET_NOTIFY)(
  IN EFI_RESET_NOTIFICATION_PROTOCOL  *This,
  IN EFI_RESET_SYSTEM                 ResetFunction
  );

struct _EFI_RESET_NOTIFICATION_PROTOCOL {
  EFI_REGISTER_RESET_NOTIFY      RegisterResetNotify;
  EFI_UNREGISTER_RESET_NOTIFY    UnregisterResetNotify;
};

extern EFI_GUID  gEfiResetNotificationProtocolGuid;

#endif
