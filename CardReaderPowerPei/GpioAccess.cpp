/** @file
  PCH GPIO register access: the two group tables, group and register-block
  checks, register reads by kind, pad lock updates by sideband message, and
  the card reader pad (pad 8 of group 0x810).

  Registers are read, and the pad configuration written, through the PCR
  window; the pad lock registers accept writes only as sideband messages
  with the GPIO lock opcode.
**/
#include "CardReaderPowerPei.h"

namespace {

/// Marks a register the group does not have.
constexpr UINT16  NA = GPIO_NO_REGISTER;

/**
  Builds one table row from the offsets the module reads. The GPI status,
  GPI enable and NMI status offsets are read by no operation of the module
  and are set to 0xFFFF.
**/
constexpr GPIO_GROUP_ENTRY
GpioRow (
  UINT16  PortId,
  UINT16  PadOwnershipBase,
  UINT16  HostOwnershipBase,
  UINT16  GpeStatusBase,
  UINT16  GpeEnableBase,
  UINT16  SmiStatusBase,
  UINT16  SmiEnableBase,
  UINT16  NmiEnableBase,
  UINT16  ConfigLockBase,
  UINT16  TxLockBase,
  UINT16  PadConfigBase,
  UINT16  PadCount
  )
{
  return {
    PortId,          PadOwnershipBase, HostOwnershipBase, NA /* GpiStatusBase */, NA /* GpiEnableBase */,
    GpeStatusBase,   GpeEnableBase,    SmiStatusBase,     SmiEnableBase,          NA /* NmiStatusBase */,
    NmiEnableBase,   ConfigLockBase,   TxLockBase,        PadConfigBase,          PadCount
  };
}

//
// Columns: port ID, pad ownership, host ownership, GPE status, GPE enable,
// SMI status, SMI enable, NMI enable, configuration lock, TX lock, pad
// configuration (DW0 of pad 0), pad count. Comments give the group value.
//

/// PCH series 1 and unidentified PCHs (tag 8).
constexpr GPIO_GROUP_ENTRY  mGpioGroupTableSeries1[] = {
  GpioRow (0x6E, 0x020, 0x0C0, 0x140, 0x160, 0x180, 0x1A0, 0x1E0, 0x090, 0x094, 0x600, 25),  // 0x800
  GpioRow (0x6E, 0x030, 0x0C4, 0x144, 0x164, 0x184, 0x1A4, 0x1E4, 0x098, 0x09C, 0x790, 20),  // 0x801
  GpioRow (0x6E, 0x03C, 0x0C8, 0x148, 0x168, 0x188, 0x1A8, 0x1E8, 0x0A0, 0x0A4, 0x8D0, 24),  // 0x802
  GpioRow (0x6E, 0x04C, 0x0CC, 0x14C, 0x16C, 0x18C, 0x1AC, 0x1EC, 0x0A8, 0x0AC, 0xA70,  8),  // 0x803
  GpioRow (0x6D, 0x020, 0x0C0, 0x140, 0x160, 0x180, 0x1A0, 0x1E0, 0x090, 0x094, 0x600, 24),  // 0x804
  GpioRow (0x6D, 0x030, 0x0C4, 0x144, 0x164, 0x184, 0x1A4, 0x1E4, 0x098, 0x09C, 0x7A0, 24),  // 0x805
  GpioRow (0x6D, 0x03C, 0x0C8, 0x148, 0x168, 0x188, 0x1A8, 0x1E8, 0x0A0, 0x0A4, 0x920,  8),  // 0x806
  GpioRow (0x6D, 0x040, 0x0CC, 0x14C, 0x16C, 0x18C, 0x1AC, 0x1EC, 0x0A8, 0x0AC, 0x9A0, 16),  // 0x807
  GpioRow (0x6D, 0x04C, 0x0D0, 0x150, 0x170, 0x190, 0x1B0, 0x1F0, 0x0B0, 0x0B4, 0xAB0, 27),  // 0x808
  GpioRow (0x6C, 0x020, 0x0C0, 0x140, 0x160, 0x180, 0x1A0, 0x1E0, 0x090, 0x094, 0x600, 13),  // 0x809
  GpioRow (0x6B, 0x020, 0x0C0, 0x140, 0x160, 0x180, 0x1A0, 0x1E0, 0x090, 0x094, 0x600, 13),  // 0x80A
  GpioRow (0x6B, 0x028, 0x0C4, 0x144, 0x164, 0x184, 0x1A4, 0x1E4, 0x098, 0x09C, 0x6D0, 24),  // 0x80B
  GpioRow (0x6B, 0x034, 0x0C8, 0x148, 0x168, 0x188, 0x1A8, 0x1E8, 0x0A0, 0x0A4, 0x850, 84),  // 0x80C
  GpioRow (0x6A, 0x020, 0x0C0, 0x140, 0x160, 0x180, 0x1A0, 0x1E0, 0x090, 0x094, 0x600, 24),  // 0x80D
  GpioRow (0x6A, 0x02C, 0x0C4, 0x144, 0x164, 0x184, 0x1A4, 0x1E4, 0x098, 0x09C, 0x780, 10),  // 0x80E
  GpioRow (0x6A, 0x034, 0x0C8, 0x148, 0x168, 0x188, 0x1A8, 0x1E8, 0x0A0, 0x0A4, 0x820, 12),  // 0x80F
  GpioRow (0x69, 0x020, 0x0C0, 0x140, 0x160, 0x180, 0x1A0, 0x1E0, 0x090, 0x094, 0x600, 15),  // 0x810
  GpioRow (0x69, 0x028, 0x0C4, 0x144, 0x164, 0x184, 0x1A4, 0x1E4, 0x098, 0x09C, 0x6F0,  9),  // 0x811
  GpioRow (0x69, 0x030, 0x0C8, 0x148, 0x168, 0x188, 0x1A8, 0x1E8, 0x0A0, 0x0A4, 0x780, 14),  // 0x812
};

/// PCH series 2 (tag 9).
constexpr GPIO_GROUP_ENTRY  mGpioGroupTableSeries2[] = {
  GpioRow (0x6E, 0x020, 0x0B0, 0x140, 0x160, 0x180, 0x1A0, 0x1E0, 0x080, 0x084, 0x700, 26),  // 0x900
  GpioRow (0x6E, 0x030, 0x0B4, 0x144, 0x164,    NA,    NA,    NA, 0x088, 0x08C, 0x8A0, 16),  // 0x901
  GpioRow (0x6E, 0x038, 0x0B8, 0x148, 0x168,    NA,    NA,    NA, 0x090, 0x094, 0x9A0, 25),  // 0x902
  GpioRow (0x69, 0x020, 0x0B0, 0x140, 0x160,    NA,    NA,    NA, 0x080, 0x084, 0x700,  8),  // 0x903
  GpioRow (0x69, 0x024, 0x0B4,    NA,    NA,    NA,    NA,    NA, 0x088, 0x08C, 0x780,  9),  // 0x904
  GpioRow (0x6C, 0x020, 0x0B0, 0x140, 0x160,    NA,    NA,    NA, 0x080, 0x084, 0x700, 17),  // 0x905
  GpioRow (0x6D, 0x020, 0x0B0, 0x140, 0x160,    NA,    NA,    NA, 0x080, 0x084, 0x700,  8),  // 0x906
  GpioRow (0x6D, 0x024, 0x0B4, 0x144, 0x164,    NA,    NA,    NA, 0x088, 0x08C, 0x780, 24),  // 0x907
  GpioRow (0x6D, 0x030, 0x0B8, 0x148, 0x168, 0x188, 0x1A8, 0x1E8, 0x090, 0x094, 0x900, 21),  // 0x908
  GpioRow (0x6D, 0x03C, 0x0BC, 0x14C, 0x16C,    NA,    NA,    NA, 0x098, 0x09C, 0xA50, 24),  // 0x909
  GpioRow (0x6D, 0x048, 0x0C0, 0x150, 0x170,    NA,    NA,    NA, 0x0A0, 0x0A4, 0xBD0, 27),  // 0x90A
  GpioRow (0x6A, 0x020, 0x0B0, 0x140, 0x160, 0x180, 0x1A0, 0x1E0, 0x080, 0x084, 0x700, 24),  // 0x90B
  GpioRow (0x6A, 0x02C, 0x0B4, 0x144, 0x164,    NA,    NA,    NA, 0x088, 0x08C, 0x880, 25),  // 0x90C
  GpioRow (0x6A, 0x03C, 0x0B8,    NA,    NA,    NA,    NA,    NA, 0x090, 0x094, 0xA10,  6),  // 0x90D
  GpioRow (0x6A, 0x040, 0x0BC, 0x14C, 0x16C, 0x18C, 0x1AC, 0x1EC, 0x098, 0x09C, 0xA70, 25),  // 0x90E
  GpioRow (0x6A, 0x050, 0x0C0,    NA,    NA,    NA,    NA,    NA, 0x0A0, 0x0A4, 0xC00, 10),  // 0x90F
  GpioRow (0x6B, 0x020, 0x0B0,    NA,    NA,    NA,    NA,    NA, 0x080, 0x084, 0x700, 15),  // 0x910
  GpioRow (0x6B, 0x028, 0x0B4,    NA,    NA,    NA,    NA,    NA, 0x088, 0x08C, 0x7F0, 91),  // 0x911
};

STATIC_ASSERT (ARRAY_SIZE (mGpioGroupTableSeries1) == 19, "19 groups on series 1");
STATIC_ASSERT (ARRAY_SIZE (mGpioGroupTableSeries2) == 18, "18 groups on series 2");

/// The base offset field of each register kind, indexed by kind.
constexpr UINT16 GPIO_GROUP_ENTRY::*  mGpioKindBase[] = {
  &GPIO_GROUP_ENTRY::HostOwnershipBase,  // GpioHostOwnership
  &GPIO_GROUP_ENTRY::GpeEnableBase,      // GpioGpeEnable
  &GPIO_GROUP_ENTRY::GpeStatusBase,      // GpioGpeStatus
  &GPIO_GROUP_ENTRY::SmiEnableBase,      // GpioSmiEnable
  &GPIO_GROUP_ENTRY::SmiStatusBase,      // GpioSmiStatus
  &GPIO_GROUP_ENTRY::NmiEnableBase,      // GpioNmiEnable
  &GPIO_GROUP_ENTRY::ConfigLockBase,     // GpioConfigLock
  &GPIO_GROUP_ENTRY::TxLockBase,         // GpioTxLock
};

/**
  @retval TRUE   Kind is one of the two pad lock kinds, whose registers of
                 successive blocks alternate (8 bytes apart).
  @retval FALSE  Any other kind (4 bytes apart).
**/
constexpr BOOLEAN
IsLockKind (
  GPIO_REGISTER_KIND  Kind
  )
{
  return (Kind == GpioConfigLock) || (Kind == GpioTxLock);
}

/**
  Returns the card reader pad's row of the current table.
**/
CONST GPIO_GROUP_ENTRY &
CardReaderGroupRow (
  VOID
  )
{
  UINT32  Count;

  return GpioGetGroupTable (&Count)[CARD_READER_GROUP_ROW];
}

}  // namespace

/**
  Returns the GPIO group table of this PCH: the 18-row table on series 2,
  the 19-row table otherwise.

  @param[out] Count  Receives the number of rows.

  @return The first row.
**/
CONST GPIO_GROUP_ENTRY *
GpioGetGroupTable (
  OUT UINT32  *Count
  )
{
  if (PchIsSeries2 ()) {
    *Count = ARRAY_SIZE (mGpioGroupTableSeries2);
    return mGpioGroupTableSeries2;
  }

  *Count = ARRAY_SIZE (mGpioGroupTableSeries1);
  return mGpioGroupTableSeries1;
}

/**
  @return The group value of row Index of this PCH's table.
**/
UINT32
GpioGroupFromIndex (
  IN UINT32  Index
  )
{
  UINT32  Tag;

  Tag = PchIsSeries2 () ? GPIO_GROUP_TAG_SERIES_2 : GPIO_GROUP_TAG_SERIES_1;
  return (Tag << GPIO_GROUP_TAG_SHIFT) | Index;
}

/**
  @return The group value of the last row of this PCH's table.
**/
UINT32
GpioGetLastGroup (
  VOID
  )
{
  UINT32  Count;

  GpioGetGroupTable (&Count);
  return GpioGroupFromIndex (Count - 1);
}

/**
  @retval TRUE   Group names a row of this PCH's table and Dw a register
                 block of that row.
  @retval FALSE  Otherwise.
**/
BOOLEAN
GpioIsGroupDwValid (
  IN UINT32  Group,
  IN UINT32  Dw
  )
{
  CONST GPIO_GROUP_ENTRY  *Table;
  UINT32                  Count;
  UINT32                  Row;

  if ((Group < GpioGroupFromIndex (0)) || (Group > GpioGetLastGroup ())) {
    return FALSE;
  }

  Table = GpioGetGroupTable (&Count);
  Row   = Group & GPIO_GROUP_INDEX_MASK;
  if (Row >= Count) {
    return FALSE;
  }

  return Dw <= ((UINT32)(Table[Row].PadCount - 1) >> GPIO_PADS_PER_DW_SHIFT);
}

/**
  Reads one register of a group through the PCR window. Group and Dw are
  the caller's to check; a row outside the table is refused all the same,
  so that no caller can read past the table.

  @param[in]  Kind   Which register (GpioHostOwnership ... GpioTxLock).
  @param[in]  Group  Group value.
  @param[in]  Dw     Register block.
  @param[out] Value  Receives the register.

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
  )
{
  CONST GPIO_GROUP_ENTRY  *Table;
  UINT32                  Count;
  UINT32                  Row;
  UINT16                  Base;
  UINT32                  Offset;

  Table = GpioGetGroupTable (&Count);
  Row   = Group & GPIO_GROUP_INDEX_MASK;
  if (Kind >= ARRAY_SIZE (mGpioKindBase)) {
    return EFI_UNSUPPORTED;
  }

  if (Row >= Count) {
    return EFI_INVALID_PARAMETER;
  }

  Base = Table[Row].*mGpioKindBase[Kind];
  if (Base == GPIO_NO_REGISTER) {
    return EFI_UNSUPPORTED;
  }

  Offset = Base + Dw * (IsLockKind (Kind) ? 8 : 4);
  *Value = MmioRead32 (PCH_PCR_ADDRESS (Table[Row].PortId, Offset));
  return EFI_SUCCESS;
}

/**
  Rewrites a pad lock register to (current AND AndMask) OR OrMask. The
  current value is read through the PCR window; the new one is sent as a
  sideband message with the GPIO lock opcode, the only way these registers
  take a write. The response byte is not looked at.

  @param[in] Kind     GpioConfigLock or GpioTxLock.
  @param[in] Group    Group value, already checked by the caller.
  @param[in] Dw       Register block, already checked by the caller.
  @param[in] AndMask  Bits of the current value to keep.
  @param[in] OrMask   Bits to set.

  @retval EFI_UNSUPPORTED  Kind is not a lock kind (nothing read or sent), or
                           the group has no such register.
  @return                  Otherwise the status of the lock read or of the message.
**/
EFI_STATUS
GpioUpdateLockRegister (
  IN GPIO_REGISTER_KIND  Kind,
  IN UINT32              Group,
  IN UINT32              Dw,
  IN UINT32              AndMask,
  IN UINT32              OrMask
  )
{
  EFI_STATUS              Status;
  CONST GPIO_GROUP_ENTRY  *Table;
  CONST GPIO_GROUP_ENTRY  *Row;
  UINT32                  Count;
  UINT32                  Current;
  UINT32                  NewValue;
  UINT16                  LockBase;
  UINT8                   Response;

  if (!IsLockKind (Kind)) {
    return EFI_UNSUPPORTED;
  }

  //
  // The read refuses a group the table lacks and a lock register the group
  // does not have (EFI_UNSUPPORTED); there is no value to build on then.
  //
  Status = (Kind == GpioConfigLock) ? GpioReadConfigLock (Group, Dw, &Current)
                                    : GpioReadTxLock (Group, Dw, &Current);
  if (EFI_ERROR (Status)) {
    return Status;
  }

  Table    = GpioGetGroupTable (&Count);
  Row      = &Table[Group & GPIO_GROUP_INDEX_MASK];
  LockBase = Row->*mGpioKindBase[Kind];
  NewValue = (Current & AndMask) | OrMask;
  return SendSidebandMessage (
           (UINT8)Row->PortId,
           (UINT64)(LockBase + Dw * 8),
           P2SB_OPCODE_GPIO_LOCK,
           &NewValue,
           &Response
           );
}

/**
  Reads the pad configuration lock register of a group's block.

  @retval EFI_INVALID_PARAMETER  Group or Dw is not valid on this PCH.
  @return                        Otherwise as GpioReadGroupRegister.
**/
EFI_STATUS
GpioReadConfigLock (
  IN  UINT32  Group,
  IN  UINT32  Dw,
  OUT UINT32  *Value
  )
{
  if (!GpioIsGroupDwValid (Group, Dw)) {
    return EFI_INVALID_PARAMETER;
  }

  return GpioReadGroupRegister (GpioConfigLock, Group, Dw, Value);
}

/**
  Reads the pad output (TX) lock register of a group's block.

  @retval EFI_INVALID_PARAMETER  Group or Dw is not valid on this PCH.
  @return                        Otherwise as GpioReadGroupRegister.
**/
EFI_STATUS
GpioReadTxLock (
  IN  UINT32  Group,
  IN  UINT32  Dw,
  OUT UINT32  *Value
  )
{
  if (!GpioIsGroupDwValid (Group, Dw)) {
    return EFI_INVALID_PARAMETER;
  }

  return GpioReadGroupRegister (GpioTxLock, Group, Dw, Value);
}

/**
  Clears the Mask bits of a block's configuration lock.

  @retval EFI_INVALID_PARAMETER  Group or Dw is not valid on this PCH.
  @return                        Otherwise as GpioUpdateLockRegister.
**/
EFI_STATUS
GpioClearConfigLock (
  IN UINT32  Group,
  IN UINT32  Dw,
  IN UINT32  Mask
  )
{
  if (!GpioIsGroupDwValid (Group, Dw)) {
    return EFI_INVALID_PARAMETER;
  }

  return GpioUpdateLockRegister (GpioConfigLock, Group, Dw, ~Mask, 0);
}

/**
  Sets the Mask bits of a block's configuration lock.

  @retval EFI_INVALID_PARAMETER  Group or Dw is not valid on this PCH.
  @return                        Otherwise as GpioUpdateLockRegister.
**/
EFI_STATUS
GpioSetConfigLock (
  IN UINT32  Group,
  IN UINT32  Dw,
  IN UINT32  Mask
  )
{
  if (!GpioIsGroupDwValid (Group, Dw)) {
    return EFI_INVALID_PARAMETER;
  }

  return GpioUpdateLockRegister (GpioConfigLock, Group, Dw, 0xFFFFFFFF, Mask);
}

/**
  Clears the Mask bits of a block's TX lock.

  @retval EFI_INVALID_PARAMETER  Group or Dw is not valid on this PCH.
  @return                        Otherwise as GpioUpdateLockRegister.
**/
EFI_STATUS
GpioClearTxLock (
  IN UINT32  Group,
  IN UINT32  Dw,
  IN UINT32  Mask
  )
{
  if (!GpioIsGroupDwValid (Group, Dw)) {
    return EFI_INVALID_PARAMETER;
  }

  return GpioUpdateLockRegister (GpioTxLock, Group, Dw, ~Mask, 0);
}

/**
  Sets the Mask bits of a block's TX lock.

  @retval EFI_INVALID_PARAMETER  Group or Dw is not valid on this PCH.
  @return                        Otherwise as GpioUpdateLockRegister.
**/
EFI_STATUS
GpioSetTxLock (
  IN UINT32  Group,
  IN UINT32  Dw,
  IN UINT32  Mask
  )
{
  if (!GpioIsGroupDwValid (Group, Dw)) {
    return EFI_INVALID_PARAMETER;
  }

  return GpioUpdateLockRegister (GpioTxLock, Group, Dw, 0xFFFFFFFF, Mask);
}

/**
  The card reader pad exists when the PCH is not series 2 and the table's
  card reader row has more than CARD_READER_PAD pads.

  @retval TRUE   The card reader pad exists on this PCH.
  @retval FALSE  It does not.
**/
BOOLEAN
CardReaderPadAvailable (
  VOID
  )
{
  CONST GPIO_GROUP_ENTRY  *Table;
  UINT32                  Count;

  if (PchIsSeries2 ()) {
    return FALSE;
  }

  Table = GpioGetGroupTable (&Count);
  return (Count > CARD_READER_GROUP_ROW) && (Table[CARD_READER_GROUP_ROW].PadCount > CARD_READER_PAD);
}

/**
  Reads who owns the card reader pad from its pad ownership register.

  @param[out] Owner  Receives the 2-bit owner; 0 is the host.

  @retval EFI_SUCCESS            Owner holds the owner.
  @retval EFI_INVALID_PARAMETER  The pad is not available; Owner is unchanged.
**/
EFI_STATUS
CardReaderPadOwner (
  OUT UINT32  *Owner
  )
{
  UINT32  Ownership;

  if (!CardReaderPadAvailable ()) {
    return EFI_INVALID_PARAMETER;
  }

  CONST GPIO_GROUP_ENTRY  &Row = CardReaderGroupRow ();

  Ownership = MmioRead32 (PCH_PCR_ADDRESS (Row.PortId, Row.PadOwnershipBase + CARD_READER_OWNERSHIP_REG));
  *Owner    = Ownership & CARD_READER_PAD_OWNER_MASK;
  return EFI_SUCCESS;
}

/**
  @retval TRUE   The host owns the card reader pad.
  @retval FALSE  Another agent owns it, or the pad is not available.
**/
BOOLEAN
CardReaderPadHostOwned (
  VOID
  )
{
  UINT32  Owner;

  return !EFI_ERROR (CardReaderPadOwner (&Owner)) && (Owner == 0);
}

/**
  Writes Value into the card reader pad's DW0 after clearing bit 0, the
  pad's output state. A set TX lock, and a set configuration lock when Value
  touches more than the output bit, is lifted before the write and put back
  after it, whether or not lifting it worked. Failures are not reported: the
  write is made all the same, and a lock that could not be put back stays
  cleared.

  On a PCH without the pad nothing is read or written: the row that would
  be used belongs to another group there.

  @param[in] Value  The bits to OR into DW0.
**/
VOID
CardReaderPadSetOutput (
  IN UINT32  Value
  )
{
  UINT32   Lock;
  BOOLEAN  ConfigLocked;
  BOOLEAN  TxLocked;
  UINTN    Dw0Address;

  if (!CardReaderPadAvailable ()) {
    return;
  }

  ConfigLocked = FALSE;
  TxLocked     = FALSE;
  if ((Value & ~(UINT32)GPIO_PAD_DW0_TX_STATE) != 0) {
    if (!EFI_ERROR (GpioReadGroupRegister (GpioConfigLock, CARD_READER_GPIO_GROUP, CARD_READER_PAD_DW, &Lock)) &&
        ((Lock & CARD_READER_PAD_LOCK_MASK) != 0))
    {
      ConfigLocked = TRUE;
      GpioClearConfigLock (CARD_READER_GPIO_GROUP, CARD_READER_PAD_DW, CARD_READER_PAD_LOCK_MASK);
    }
  }

  if (!EFI_ERROR (GpioReadGroupRegister (GpioTxLock, CARD_READER_GPIO_GROUP, CARD_READER_PAD_DW, &Lock)) &&
      ((Lock & CARD_READER_PAD_LOCK_MASK) != 0))
  {
    TxLocked = TRUE;
    GpioClearTxLock (CARD_READER_GPIO_GROUP, CARD_READER_PAD_DW, CARD_READER_PAD_LOCK_MASK);
  }

  CONST GPIO_GROUP_ENTRY  &Row = CardReaderGroupRow ();

  Dw0Address = PCH_PCR_ADDRESS (Row.PortId, Row.PadConfigBase + CARD_READER_PAD_DW0);
  MmioWrite32 (Dw0Address, (MmioRead32 (Dw0Address) & ~(UINT32)GPIO_PAD_DW0_TX_STATE) | Value);

  if (ConfigLocked) {
    GpioSetConfigLock (CARD_READER_GPIO_GROUP, CARD_READER_PAD_DW, CARD_READER_PAD_LOCK_MASK);
  }

  if (TxLocked) {
    GpioSetTxLock (CARD_READER_GPIO_GROUP, CARD_READER_PAD_DW, CARD_READER_PAD_LOCK_MASK);
  }
}
