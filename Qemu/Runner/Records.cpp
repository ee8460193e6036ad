/** @file
  Decoding of what the scenarios read back: capsule result records
  (Capsule####), the test FMP device's SetImage records, and the hard-drive
  device path node the firmware builds for a GPT partition.
**/
#include "Runner.h"

#include "E2eDefinitions.h"

#include <cstring>

namespace E2e {

namespace {

template<typename T>
T
At (
  const Bytes  &Data,
  size_t       Offset
  )
{
  T  Value;

  std::memcpy (&Value, Data.data () + Offset, sizeof (T));
  return Value;
}

}  // namespace

ResultRecord
DecodeResultRecord (
  const Bytes  &Data
  )
{
  ResultRecord  Record;

  //
  // 48-byte result header, 20-byte FMP part, then two NUL-terminated
  // CHAR16 strings that end the record.
  //
  if (Data.size () < 68) {
    Record.Problem = "shorter than 68 bytes";
    return Record;
  }

  Record.VariableTotalSize = At<uint32_t>(Data, 0);
  Record.Reserved          = At<uint32_t>(Data, 4);
  Record.CapsuleGuid       = At<EFI_GUID>(Data, 8);
  Record.Processed         = At<EFI_TIME>(Data, 24);
  Record.Status            = At<uint64_t>(Data, 40);
  Record.Version           = At<uint16_t>(Data, 48);
  Record.PayloadIndex      = At<uint8_t>(Data, 50);
  Record.UpdateImageIndex  = At<uint8_t>(Data, 51);
  Record.UpdateImageTypeId = At<EFI_GUID>(Data, 52);

  size_t  End = 0;
  Record.FileName = Narrow16 (Data, 68, &End);
  if (End == std::string::npos) {
    Record.Problem = "CapsuleFileName has no NUL";
    return Record;
  }

  Record.Target = Narrow16 (Data, End, &End);
  if (End == std::string::npos) {
    Record.Problem = "CapsuleTarget has no NUL";
    return Record;
  }

  if (End != Data.size ()) {
    Record.Problem = "bytes after CapsuleTarget";
    return Record;
  }

  Record.Valid = true;
  return Record;
}

WriteRecord
DecodeWriteRecord (
  const Bytes  &Data
  )
{
  WriteRecord  Record;

  if (Data.size () < sizeof (E2E_WRITE_RECORD)) {
    return Record;
  }

  E2E_WRITE_RECORD  Header = At<E2E_WRITE_RECORD>(Data, 0);
  if (Data.size () != sizeof (Header) + Header.ImageSize) {
    return Record;
  }

  Record.Valid          = true;
  Record.ImageIndex     = Header.ImageIndex;
  Record.HasVendorCode  = Header.HasVendorCode != 0;
  Record.ProgressCalls  = Header.ProgressCalls;
  Record.ProgressStatus = Header.ProgressStatus;
  Record.Result         = Header.Result;
  Record.Image.assign (Data.begin () + sizeof (Header), Data.end ());
  return Record;
}

Bytes
HardDriveNode (
  const Partition  &Disk,
  uint32_t         PartitionNumber
  )
{
  HARDDRIVE_DEVICE_PATH  Node;

  std::memset (&Node, 0, sizeof (Node));
  Node.Header.Type      = MEDIA_DEVICE_PATH;
  Node.Header.SubType   = MEDIA_HARDDRIVE_DP;
  Node.Header.Length[0] = sizeof (Node);
  Node.PartitionNumber  = PartitionNumber;
  Node.PartitionStart   = Disk.FirstLba;
  Node.PartitionSize    = Disk.LastLba - Disk.FirstLba + 1;
  std::memcpy (Node.Signature, &Disk.UniqueGuid, sizeof (Disk.UniqueGuid));
  Node.MBRType          = MBR_TYPE_EFI_PARTITION_TABLE_HEADER;
  Node.SignatureType    = SIGNATURE_TYPE_GUID;

  const uint8_t  *Raw = reinterpret_cast<const uint8_t *>(&Node);
  return Bytes (Raw, Raw + sizeof (Node));
}

}  // namespace E2e
