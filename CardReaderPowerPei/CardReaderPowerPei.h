/** @file
  Private header of the card reader power-up PEIM: the PCH registers it
  reaches, the GPIO group table row, and the operations the module's files
  call in each other.

  The module runs in place from flash: it keeps no writable global state,
  only constant tables, and reads every hardware fact again when it needs it.

  The includes are wrapped in extern "C": the EDK II headers carry no C++
  guards of their own.
**/
#ifndef CARD_READER_POWER_PEI_H_
#define CARD_READER_POWER_PEI_H_

extern "C" {
#include <PiPei.h>
#include <Ppi/DebugOutput.h>
#include <Library/DebugLib.h>
#include <Library/IoLib.h>
#include <Library/PciSegmentLib.h>
#include <Library/PeiServicesTablePointerLib.h>
#include <Library/TimerLib.h>
}

//
// PCH series, told from the device ID of bus 0 device 31 function 0.
//
#define PCH_SERIES_1        0x01
#define PCH_SERIES_2        0x02
#define PCH_SERIES_UNKNOWN  0xFF

#define PCH_LPC_DEVICE_ID_MASK     0xFFE0
#define PCH_SERIES_1_LPC_DEVICE_ID 0x4380
#define PCH_SERIES_2_LPC_DEVICE_ID 0xA080

//
// PCI configuration registers of the PCH (segment 0, bus 0, device 31).
//
#define PCH_LPC_PCI_ADDRESS(Register)   PCI_SEGMENT_LIB_ADDRESS (0, 0, 31, 0, Register)
#define PCH_P2SB_PCI_ADDRESS(Register)  PCI_SEGMENT_LIB_ADDRESS (0, 0, 31, 1, Register)

#define PCI_VENDOR_ID_OFFSET  0x00
#define PCI_DEVICE_ID_OFFSET  0x02

#define P2SB_MESSAGE_ADDRESS           0xD0  ///< 32 bits: port ID in 31:24, offset 15:0
#define P2SB_MESSAGE_DATA              0xD4  ///< 32 bits, both directions
#define P2SB_MESSAGE_STATUS            0xD8  ///< 16 bits: busy, response, posted, opcode
#define P2SB_MESSAGE_ROUTING           0xDA  ///< 16 bits
#define P2SB_MESSAGE_EXTENDED_ADDRESS  0xDC  ///< 32 bits: offset bits 47:16

#define P2SB_STATUS_BUSY            BIT0
#define P2SB_STATUS_RESPONSE_SHIFT  1
#define P2SB_STATUS_RESPONSE_MASK   0x3
#define P2SB_STATUS_KEEP_MASK       0x007F  ///< bits 6:0 survive the opcode update; bit 7 (posted) is cleared
#define P2SB_STATUS_OPCODE_SHIFT    8
#define P2SB_ROUTING_ALL_BYTES      0xF000  ///< first-byte enables 15:12 all set

/// How many status reads either busy wait makes before it gives up.
#define P2SB_BUSY_READ_LIMIT  0x0FFFFFFFu

//
// Sideband opcodes the bridge accepts.
//
#define P2SB_OPCODE_MEMORY_READ     0x00
#define P2SB_OPCODE_MEMORY_WRITE    0x01
#define P2SB_OPCODE_PCI_CFG_READ    0x04
#define P2SB_OPCODE_PCI_CFG_WRITE   0x05
#define P2SB_OPCODE_PRIVATE_READ    0x06
#define P2SB_OPCODE_PRIVATE_WRITE   0x07
#define P2SB_OPCODE_GPIO_LOCK       0x13

/// Response byte stored before a message starts; stays when none came.
#define P2SB_RESPONSE_NONE  4

//
// Private configuration register (PCR) window: the registers of sideband
// endpoint Pid at 32-bit offsets below 0x10000.
//
#define PCH_PCR_BASE_ADDRESS  0xFD000000u
#define PCH_PCR_ADDRESS(Pid, Offset) \
  ((UINTN)(PCH_PCR_BASE_ADDRESS | ((UINT32)(UINT8)(Pid) << 16) | ((UINT32)(Offset) & 0xFFFF)))

///
/// One row of a GPIO group table. Offsets are within the private
/// configuration space of the row's sideband port; 0xFFFF marks a register
/// the group does not have.
///
typedef struct {
  UINT16    PortId;
  UINT16    PadOwnershipBase;
  UINT16    HostOwnershipBase;
  UINT16    GpiStatusBase;
  UINT16    GpiEnableBase;
  UINT16    GpeStatusBase;
  UINT16    GpeEnableBase;
  UINT16    SmiStatusBase;
  UINT16    SmiEnableBase;
  UINT16    NmiStatusBase;
  UINT16    NmiEnableBase;
  UINT16    ConfigLockBase;
  UINT16    TxLockBase;
  UINT16    PadConfigBase;
  UINT16    PadCount;
} GPIO_GROUP_ENTRY;

#define GPIO_NO_REGISTER  0xFFFF

///
/// Register kinds GpioReadGroupRegister reads.
///
typedef UINT32 GPIO_REGISTER_KIND;

enum : UINT32 {
  GpioHostOwnership = 0,
  GpioGpeEnable     = 1,
  GpioGpeStatus     = 2,
  GpioSmiEnable     = 3,
  GpioSmiStatus     = 4,
  GpioNmiEnable     = 5,
  GpioConfigLock    = 6,
  GpioTxLock        = 7
};

//
// Group values: table tag in bits 15:8, row index in bits 4:0.
//
#define GPIO_GROUP_TAG_SERIES_1  0x08  ///< the 19-row table (series 1 and unidentified PCHs)
#define GPIO_GROUP_TAG_SERIES_2  0x09  ///< the 18-row table
#define GPIO_GROUP_TAG_SHIFT     8
#define GPIO_GROUP_INDEX_MASK    0x1F
#define GPIO_PADS_PER_DW_SHIFT   5

//
// The card reader pad: pad 8 of group 0x810 (row 16 of the 19-row table).
//
#define CARD_READER_GPIO_GROUP      0x810
#define CARD_READER_GROUP_ROW       16
#define CARD_READER_PAD             8
#define CARD_READER_PAD_DW          0
#define CARD_READER_PAD_LOCK_MASK   BIT8
#define CARD_READER_PAD_OWNER_MASK  0x3
#define CARD_READER_OWNERSHIP_REG   0x4   ///< from PadOwnershipBase: pads 8-15
#define CARD_READER_PAD_DW0         0x80  ///< from PadConfigBase: 16 bytes per pad
#define GPIO_PAD_DW0_TX_STATE       BIT0

//
// Power-up sequence.
//
#define CARD_READER_POWER_UP_DELAY_US  100000
#define CARD_READER_OUTPUT_HIGH        1

///
/// Levels the module's debug output passes on: errors, information and
/// image loading.
///
#define CARD_READER_DEBUG_LEVELS  (DEBUG_ERROR | DEBUG_INFO | DEBUG_LOAD)

//
// Sideband access (SidebandAccess.cpp).
//

/**
  Tells the PCH series from the LPC/eSPI bridge's device ID; reads it anew
  on every call.

  @retval PCH_SERIES_1, PCH_SERIES_2 or PCH_SERIES_UNKNOWN.
**/
UINT8
GetPchSeries (
  VOID
  );

/**
  @retval TRUE   The PCH is series 2.
  @retval FALSE  Series 1 or unidentified.
**/
BOOLEAN
PchIsSeries2 (
  VOID
  );

/**
  Sends one non-posted sideband message through the P2SB bridge.

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
  );

//
// GPIO register access (GpioAccess.cpp).
//

/**
  Returns the GPIO group table of this PCH.

  @param[out] Count  Receives the number of rows.

  @return The first row.
**/
CONST GPIO_GROUP_ENTRY *
GpioGetGroupTable (
  OUT UINT32  *Count
  );

UINT32
GpioGroupFromIndex (
  IN UINT32  Index
  );

UINT32
GpioGetLastGroup (
  VOID
  );

/**
  @retval TRUE   Group names a row of this PCH's table and Dw a register
                 block of that row.
  @retval FALSE  Otherwise.
**/
BOOLEAN
GpioIsGroupDwValid (
  IN UINT32  Group,
  IN UINT32  Dw
  );

/**
  Reads one register of a group through the PCR window. Group and Dw are
  the caller's to check; a row outside the table is refused.

  @retval EFI_SUCCESS            Value holds the register.
  @retval EFI_UNSUPPORTED        Kind above 7, or the group has no such register.
  @retval EFI_INVALID_PARAMETER  Group's row is outside the table.
**/
EFI_STATUS
GpioReadGroupRegister (
  IN  GPIO_REGISTER_KIND  Kind,
  IN  UINT32              Group,
  IN  UINT32              Dw,
  OUT UINT32              *Value
  );

/**
  Rewrites a pad lock register to (current AND AndMask) OR OrMask by a
  sideband message; the current value is read through the PCR window.

  @retval EFI_UNSUPPORTED  Kind is not a lock kind, or the group has no such register.
  @return                  Otherwise the status of the lock read or of the message.
**/
EFI_STATUS
GpioUpdateLockRegister (
  IN GPIO_REGISTER_KIND  Kind,
  IN UINT32              Group,
  IN UINT32              Dw,
  IN UINT32              AndMask,
  IN UINT32              OrMask
  );

EFI_STATUS
GpioReadConfigLock (
  IN  UINT32  Group,
  IN  UINT32  Dw,
  OUT UINT32  *Value
  );

EFI_STATUS
GpioReadTxLock (
  IN  UINT32  Group,
  IN  UINT32  Dw,
  OUT UINT32  *Value
  );

EFI_STATUS
GpioClearConfigLock (
  IN UINT32  Group,
  IN UINT32  Dw,
  IN UINT32  Mask
  );

EFI_STATUS
GpioSetConfigLock (
  IN UINT32  Group,
  IN UINT32  Dw,
  IN UINT32  Mask
  );

EFI_STATUS
GpioClearTxLock (
  IN UINT32  Group,
  IN UINT32  Dw,
  IN UINT32  Mask
  );

EFI_STATUS
GpioSetTxLock (
  IN UINT32  Group,
  IN UINT32  Dw,
  IN UINT32  Mask
  );

/**
  @retval TRUE   The card reader pad exists on this PCH.
  @retval FALSE  It does not (series 2).
**/
BOOLEAN
CardReaderPadAvailable (
  VOID
  );

/**
  Reads who owns the card reader pad.

  @param[out] Owner  Receives the 2-bit owner; 0 is the host.

  @retval EFI_SUCCESS            Owner holds the owner.
  @retval EFI_INVALID_PARAMETER  The pad is not available; Owner is unchanged.
**/
EFI_STATUS
CardReaderPadOwner (
  OUT UINT32  *Owner
  );

BOOLEAN
CardReaderPadHostOwned (
  VOID
  );

/**
  Writes Value into the card reader pad's DW0 (bit 0 is the output state),
  lifting the pad's locks for the write and putting them back afterwards.
  Does nothing when the pad is not available.

  @param[in] Value  The bits to OR into DW0 after clearing bit 0.
**/
VOID
CardReaderPadSetOutput (
  IN UINT32  Value
  );

//
// Entry point (CardReaderPowerPei.cpp).
//
extern "C" EFI_STATUS EFIAPI
CardReaderPowerPeiEntryPoint (
  IN EFI_PEI_FILE_HANDLE     FileHandle,
  IN CONST EFI_PEI_SERVICES  **PeiServices
  );

#endif
