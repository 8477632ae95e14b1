// The cards in the computer's card readers, as the kernel lists them in
// sysfs: the block devices of removable media that hold a medium, and their
// partitions. A rescue reads one of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace trx5 {

struct CardDevice {
    std::string path;  // "/dev/sdb", "/dev/sdb1", "/dev/mmcblk0p1"
    std::uint64_t bytes = 0;
    // Of the reader (for a partition, of its device); either may be empty.
    std::string vendor;
    std::string model;
    int partition = 0;     // the partition's number; 0 for a whole device
    std::string diskPath;  // of a partition: its device's path
};

// The block devices under sysRoot/block that hold a medium (size above 0)
// and are removable: marked so (`removable` 1, CD and DVD drives left out)
// or an SD card in a built-in slot (an MMC device of type SD; the built-in
// eMMC memory is of type MMC and is left out). Each device is followed by
// its partitions; devices by name, partitions by number.
std::vector<CardDevice> ListCardDevices(const std::string& sysRoot = "/sys");

// Whether the file system on device number `fileSystem` (a file's st_dev)
// lies on the block device numbered `device` (its node's st_rdev): on the
// device itself or on one of its partitions.
bool DeviceHolds(std::uint64_t device, std::uint64_t fileSystem,
                 const std::string& sysRoot = "/sys");

// Whether `folder` lies on the block device `devicePath` ("/dev/sdb"), so
// that writing there would write on the device; false when `devicePath` is
// no block device (an image file) or either cannot be looked at. A rescue
// must not write on the card it reads: it would overwrite what it looks
// for.
bool FolderIsOnDevice(const std::string& folder, const std::string& devicePath,
                      const std::string& sysRoot = "/sys");

}  // namespace trx5
