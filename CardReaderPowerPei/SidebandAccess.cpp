/** @file
  PCH series and P2SB sideband messages.

  A message is sent by programming the P2SB bridge's message registers in
  its PCI configuration space (bus 0, device 31, function 1): wait until the
  bridge is idle, write address, extended address, opcode, routing and data,
  set the busy bit to start, wait until the bridge clears it, and read the
  response (and, for reads, the data). Both waits are bounded by a count of
  status reads, made back to back.
**/
#include "CardReaderPowerPei.h"

namespace {

/**
  @retval TRUE   Opcode reads from the endpoint (Data is filled on success).
  @retval FALSE  It does not.
**/
BOOLEAN
IsReadOpcode (
  IN INT32  Opcode
  )
{
  return (Opcode == P2SB_OPCODE_MEMORY_READ) ||
         (Opcode == P2SB_OPCODE_PCI_CFG_READ) ||
         (Opcode == P2SB_OPCODE_PRIVATE_READ);
}

/**
  @retval TRUE   Opcode writes to the endpoint (Data is sent).
  @retval FALSE  It does not.
**/
BOOLEAN
IsWriteOpcode (
  IN INT32  Opcode
  )
{
  return (Opcode == P2SB_OPCODE_MEMORY_WRITE) ||
         (Opcode == P2SB_OPCODE_PCI_CFG_WRITE) ||
         (Opcode == P2SB_OPCODE_PRIVATE_WRITE) ||
         (Opcode == P2SB_OPCODE_GPIO_LOCK);
}

/**
  Reads the bridge's status register until the busy bit reads 0, at most
  P2SB_BUSY_READ_LIMIT times.

  @param[out] LastStatus  The first status value read with busy clear.

  @retval TRUE   The bridge is idle.
  @retval FALSE  Every read showed it busy.
**/
BOOLEAN
WaitWhileBridgeBusy (
  OUT UINT16  *LastStatus
  )
{
  UINT32  Reads;
  UINT16  Status;

  for (Reads = 0; Reads < P2SB_BUSY_READ_LIMIT; Reads++) {
    Status = PciSegmentRead16 (PCH_P2SB_PCI_ADDRESS (P2SB_MESSAGE_STATUS));
    if ((Status & P2SB_STATUS_BUSY) == 0) {
      *LastStatus = Status;
      return TRUE;
    }
  }

  return FALSE;
}

}  // namespace

/**
  Tells the PCH series from the LPC/eSPI bridge's device ID; reads it anew
  on every call.

  @retval PCH_SERIES_1, PCH_SERIES_2 or PCH_SERIES_UNKNOWN.
**/
UINT8
GetPchSeries (
  VOID
  )
{
  UINT16  DeviceId;

  DeviceId = PciSegmentRead16 (PCH_LPC_PCI_ADDRESS (PCI_DEVICE_ID_OFFSET)) & PCH_LPC_DEVICE_ID_MASK;
  if (DeviceId == PCH_SERIES_1_LPC_DEVICE_ID) {
    return PCH_SERIES_1;
  }

  if (DeviceId == PCH_SERIES_2_LPC_DEVICE_ID) {
    return PCH_SERIES_2;
  }

  return PCH_SERIES_UNKNOWN;
}

/**
  @retval TRUE   The PCH is series 2.
  @retval FALSE  Series 1 or unidentified.
**/
BOOLEAN
PchIsSeries2 (
  VOID
  )
{
  return GetPchSeries () == PCH_SERIES_2;
}

/**
  Sends one non-posted sideband message through the P2SB bridge.

  Nothing is written, and Response is left alone, when the opcode is
  refused, the bridge is hidden, or the bridge stays busy before the
  message. A message that never completes is not undone: its registers stay
  programmed and Response keeps P2SB_RESPONSE_NONE.

  @param[in]      Pid       Port ID of the target endpoint.
  @param[in]      Offset    Register offset within the endpoint (bits 47:0 used).
  @param[in]      Opcode    One of the P2SB_OPCODE_* values.
  @param[in, out] Data      Sent for write opcodes; filled for read opcodes on success.
  @param[out]     Response  The bridge's 2-bit response, or P2SB_RESPONSE_NONE.

  @retval EFI_SUCCESS            The endpoint answered with response 0.
  @retval EFI_INVALID_PARAMETER  The opcode is not accepted, or Data or Response is NULL.
  @retval EFI_DEVICE_ERROR       The bridge is hidden or absent, or answered 1 or 3.
  @retval EFI_TIMEOUT            The bridge stayed busy before or after the start.
  @retval EFI_NO_RESPONSE        The endpoint did not answer (response 2).
**/
EFI_STATUS
SendSidebandMessage (
  IN     UINT8   Pid,
  IN     UINT64  Offset,
  IN     INT32   Opcode,
  IN OUT UINT32  *Data,
  OUT    UINT8   *Response
  )
{
  BOOLEAN  ReadKind;
  UINT16   Status;
  UINT8    Answer;

  ReadKind = IsReadOpcode (Opcode);
  if ((!ReadKind && !IsWriteOpcode (Opcode)) || (Data == NULL) || (Response == NULL)) {
    return EFI_INVALID_PARAMETER;
  }

  if (PciSegmentRead16 (PCH_P2SB_PCI_ADDRESS (PCI_VENDOR_ID_OFFSET)) == 0xFFFF) {
    return EFI_DEVICE_ERROR;
  }

  //
  // A message of someone else's may still be in flight.
  //
  if (!WaitWhileBridgeBusy (&Status)) {
    return EFI_TIMEOUT;
  }

  *Response = P2SB_RESPONSE_NONE;

  PciSegmentWrite32 (
    PCH_P2SB_PCI_ADDRESS (P2SB_MESSAGE_ADDRESS),
    ((UINT32)Pid << 24) | (UINT32)(Offset & 0xFFFF)
    );
  PciSegmentWrite32 (PCH_P2SB_PCI_ADDRESS (P2SB_MESSAGE_EXTENDED_ADDRESS), (UINT32)(Offset >> 16));
  //
  // Opcode in bits 15:8; bit 7 cleared makes the message non-posted.
  //
  PciSegmentAndThenOr16 (
    PCH_P2SB_PCI_ADDRESS (P2SB_MESSAGE_STATUS),
    P2SB_STATUS_KEEP_MASK,
    (UINT16)((UINT32)Opcode << P2SB_STATUS_OPCODE_SHIFT)
    );
  PciSegmentWrite16 (PCH_P2SB_PCI_ADDRESS (P2SB_MESSAGE_ROUTING), P2SB_ROUTING_ALL_BYTES);
  PciSegmentWrite32 (PCH_P2SB_PCI_ADDRESS (P2SB_MESSAGE_DATA), ReadKind ? 0 : *Data);
  PciSegmentOr16 (PCH_P2SB_PCI_ADDRESS (P2SB_MESSAGE_STATUS), P2SB_STATUS_BUSY);

  if (!WaitWhileBridgeBusy (&Status)) {
    return EFI_TIMEOUT;
  }

  Answer    = (UINT8)((Status >> P2SB_STATUS_RESPONSE_SHIFT) & P2SB_STATUS_RESPONSE_MASK);
  *Response = Answer;
  switch (Answer) {
    case 0:
      if (ReadKind) {
        *Data = PciSegmentRead32 (PCH_P2SB_PCI_ADDRESS (P2SB_MESSAGE_DATA));
      }

      return EFI_SUCCESS;

    case 2:
      return EFI_NO_RESPONSE;

    default:
      return EFI_DEVICE_ERROR;
  }
}
