/** @file
  What the harness application, the test FMP driver and the host runner
  agree on: their GUIDs, the variables they exchange and the layout of the
  record the test FMP device keeps of each SetImage call.

  Plain declarations only, so that the firmware images and the host runner
  include the same file.
**/
#ifndef E2E_DEFINITIONS_H_
#define E2E_DEFINITIONS_H_

///
/// Vendor GUID of the variables of the end-to-end runs: the test FMP
/// device's SetImage records ("FmpWrite0", "FmpWrite1", ...) and the stall
/// request ("FmpStall").
///
#define E2E_VARIABLE_GUID \
  { 0xaf969678, 0x558a, 0x4bf2, { 0x8e, 0x11, 0x4b, 0x35, 0x4d, 0xfa, 0x31, 0x60 } }

///
/// Image type of the test FMP device: payload items aimed at it carry this
/// UpdateImageTypeId.
///
#define E2E_TEST_FMP_IMAGE_TYPE_GUID \
  { 0x6220f563, 0x427d, 0x4d5a, { 0x97, 0xbe, 0x89, 0xd6, 0xd4, 0x7c, 0x52, 0xc1 } }

///
/// GUID of the vendor hardware device path node on the test FMP device's
/// handle; the capsule result records name the device by this path.
///
#define E2E_TEST_FMP_DEVICE_GUID \
  { 0xdb4fdb1e, 0x987e, 0x40b7, { 0xa7, 0xaa, 0x20, 0x37, 0x2d, 0x60, 0xdb, 0x8c } }

///
/// A capsule kind the harness handles itself through a capsule handler
/// protocol installed under this GUID; it prints each capsule it receives.
///
#define E2E_HANDLER_CAPSULE_GUID \
  { 0xb72a0b18, 0x010f, 0x4698, { 0xae, 0xa0, 0x54, 0xf6, 0x4c, 0x60, 0x8e, 0x05 } }

///
/// Name of the volatile variable (under E2E_VARIABLE_GUID) that makes the
/// test FMP device stop inside SetImage until the host cuts the power.
///
#define E2E_STALL_VARIABLE_NAME  "FmpStall"

///
/// Prefix of the test FMP device's SetImage records; a decimal index follows.
///
#define E2E_WRITE_RECORD_PREFIX  "FmpWrite"
#define E2E_WRITE_RECORD_MAX     16

///
/// Vendor code that makes the test FMP device refuse the image with
/// EFI_DEVICE_ERROR and an abort reason.
///
#define E2E_VENDOR_CODE_FAIL  "FAIL"

///
/// Abort reason the test FMP device gives when it refuses an image.
///
#define E2E_ABORT_REASON  "test device refused the image"

#pragma pack(1)

///
/// Header of one SetImage record; the image bytes SetImage received follow.
///
typedef struct {
  UINT8     ImageIndex;
  UINT8     HasVendorCode;         ///< 1 when SetImage got a vendor code pointer
  UINT16    ProgressCalls;         ///< number of progress callbacks made
  UINT32    ImageSize;
  UINT64    ProgressStatus;        ///< first error a progress callback returned, else 0
  UINT64    Result;                ///< what SetImage returned
} E2E_WRITE_RECORD;

#pragma pack()

STATIC_ASSERT (sizeof (E2E_WRITE_RECORD) == 24, "E2E_WRITE_RECORD is 24 bytes");

#endif
