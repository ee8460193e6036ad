/** @file
  UEFI library functions the modules use.
**/
#ifndef UEFI_LIB_H_
#define UEFI_LIB_H_

/**
  Reads a variable under the UEFI global variable GUID into a pool buffer
  that the caller frees.

  @param[in]  Name   The variable's name.
  @param[out] Value  The pool buffer with the data; NULL on failure.
  @param[out] Size   Optional: the data size.

  @return The variable service's status; EFI_OUT_OF_RESOURCES when the
          buffer cannot be allocated. On failure no buffer is left.
**/
EFI_STATUS
EFIAPI
GetEfiGlobalVariable2 (
  IN CONST CHAR16  *Name,
  OUT VOID         **Value,
  OUT UINTN        *Size OPTIONAL
  );

#endif
