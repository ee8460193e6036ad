/** @file
  A Firmware Management Protocol instance a test configures: its image
  descriptors, what GetImageInfo and SetImage answer, the progress it
  reports, an abort reason it allocates from the pool, and a record of every
  image written to it.
**/
#ifndef HOST_FMP_INSTANCE_H_
#define HOST_FMP_INSTANCE_H_

#include "HostPlatform.h"

extern "C" {
#include <Protocol/FirmwareManagement.h>
}

namespace Host {

class FmpInstance {
public:
  EFI_FIRMWARE_MANAGEMENT_PROTOCOL    Protocol;   // first: the interface pointer leads back here

  std::vector<EFI_FIRMWARE_IMAGE_DESCRIPTOR>  Descriptors;
  UINT32        DescriptorVersion = EFI_FIRMWARE_IMAGE_DESCRIPTOR_VERSION;
  /// Answer to the size query (real instances say EFI_BUFFER_TOO_SMALL).
  EFI_STATUS    SizeQueryStatus = EFI_BUFFER_TOO_SMALL;
  /// Answer to the query with a buffer.
  EFI_STATUS    InfoStatus = EFI_SUCCESS;
  /// When not 0, the size the instance claims it needs (to test bounds).
  UINTN         ClaimedInfoSize = 0;
  /// Hand out a pool-allocated package version name, which the caller frees.
  bool          GivesPackageVersionName = false;

  EFI_STATUS    SetImageStatus = EFI_SUCCESS;
  /// When set and SetImage fails, a pool copy of it is the abort reason.
  const char    *AbortReason = nullptr;
  /// Completion values reported through the progress callback.
  std::vector<UINTN>  ProgressToReport = { 50, 100 };
  /// Vendor code bytes read from the vendor code pointer on each write.
  size_t        VendorCodeSize = 0;
  /// Runs inside SetImage, after the progress reports (power cut, ...).
  std::function<void ()>  DuringSetImage;

  struct Write {
    UINT8                                            ImageIndex;
    std::vector<UINT8>                               Image;
    bool                                             HasVendorCode;
    std::vector<UINT8>                               VendorCode;
    bool                                             ImageInPool;
    EFI_FIRMWARE_MANAGEMENT_UPDATE_IMAGE_PROGRESS    Progress;
    std::vector<EFI_STATUS>                          ProgressResults;
  };
  std::vector<Write>  Writes;

  /// An instance with one descriptor of TypeId and HardwareInstance.
  explicit FmpInstance (const EFI_GUID &TypeId, UINT64 HardwareInstance = 0);
  FmpInstance (const FmpInstance &) = delete;
  FmpInstance &operator= (const FmpInstance &) = delete;

  /// Installs the instance on Handle (a new handle when NULL).
  EFI_HANDLE Install (Platform &Target, EFI_HANDLE Handle = nullptr);
};

}  // namespace Host

#endif
