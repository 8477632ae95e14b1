#include "rescue/card_devices.h"

#include <gtest/gtest.h>
#include <sys/sysmacros.h>

#include <filesystem>

#include "support/test_support.h"

namespace {

// Writes the attribute `name` of the sysfs folder `folder` (under the fake
// root), making the folders on the way.
void Attribute(const trx5test::TempDir& root, const std::string& folder, const std::string& name,
               const std::string& value) {
    std::filesystem::create_directories(root / folder);
    trx5test::WriteFile(root / folder + "/" + name, value + "\n");
}

std::string Text(const trx5::CardDevice& d) {
    return d.path + " " + std::to_string(d.bytes) + " [" + d.vendor + "|" + d.model + "] " +
           std::to_string(d.partition) + " " + d.diskPath;
}

// A fake sysfs with the devices a computer shows: the internal disk, a USB
// card reader with a card of three partitions, one without a card, a DVD
// drive, an SD slot with a card and the built-in eMMC memory, a device
// whose name has a folder in /dev.
TEST(CardDevices, ListsTheRemovableMediaAndTheirPartitions) {
    trx5test::TempDir root;
    Attribute(root, "block/sda", "removable", "0");
    Attribute(root, "block/sda", "size", "500118192");
    Attribute(root, "block/sda/device", "vendor", "ATA");
    Attribute(root, "block/sda/sda1", "partition", "1");
    Attribute(root, "block/sda/sda1", "size", "1000");

    Attribute(root, "block/sdb", "removable", "1");
    Attribute(root, "block/sdb", "size", "1953125");
    Attribute(root, "block/sdb/device", "vendor", "Generic ");
    Attribute(root, "block/sdb/device", "model", "Card Reader     ");
    Attribute(root, "block/sdb/device", "type", "0");
    Attribute(root, "block/sdb/sdb10", "partition", "10");
    Attribute(root, "block/sdb/sdb10", "size", "8");
    Attribute(root, "block/sdb/sdb2", "partition", "2");
    Attribute(root, "block/sdb/sdb2", "size", "2048");
    Attribute(root, "block/sdb/sdb3", "partition", "3");  // no sectors: left out
    Attribute(root, "block/sdb/sdb3", "size", "0");
    Attribute(root, "block/sdb/queue", "rotational", "0");  // no partition

    Attribute(root, "block/sdc", "removable", "1");  // a reader without a card
    Attribute(root, "block/sdc", "size", "0");
    Attribute(root, "block/sr0", "removable", "1");  // a DVD drive with a disc
    Attribute(root, "block/sr0", "size", "9000000");
    Attribute(root, "block/sr0/device", "type", "5");
    Attribute(root, "block/loop0", "removable", "0");
    Attribute(root, "block/loop0", "size", "4096");

    Attribute(root, "block/mmcblk0", "removable", "0");
    Attribute(root, "block/mmcblk0", "size", "62333952");
    Attribute(root, "block/mmcblk0/device", "type", "SD");
    Attribute(root, "block/mmcblk0/device", "name", "SD32G");
    Attribute(root, "block/mmcblk0/mmcblk0p1", "partition", "1");
    Attribute(root, "block/mmcblk0/mmcblk0p1", "size", "62325760");
    Attribute(root, "block/mmcblk1", "removable", "0");
    Attribute(root, "block/mmcblk1", "size", "30535680");
    Attribute(root, "block/mmcblk1/device", "type", "MMC");

    Attribute(root, "block/cciss!c0d0", "removable", "1");
    Attribute(root, "block/cciss!c0d0", "size", "bad");  // unreadable: no medium
    Attribute(root, "block/cciss!c0d1", "removable", "1");
    Attribute(root, "block/cciss!c0d1", "size", "16");

    std::vector<std::string> listed;
    for (const trx5::CardDevice& d : trx5::ListCardDevices(root.path())) listed.push_back(Text(d));
    const std::vector<std::string> expected = {
        "/dev/cciss/c0d1 8192 [|] 0 ",
        "/dev/mmcblk0 31914983424 [|SD32G] 0 ",
        "/dev/mmcblk0p1 31910789120 [|SD32G] 1 /dev/mmcblk0",
        "/dev/sdb 1000000000 [Generic|Card Reader] 0 ",
        "/dev/sdb2 1048576 [Generic|Card Reader] 2 /dev/sdb",
        "/dev/sdb10 4096 [Generic|Card Reader] 10 /dev/sdb",
    };
    EXPECT_EQ(listed, expected);
}

TEST(CardDevices, NoneWithoutSysfs) {
    trx5test::TempDir root;
    EXPECT_TRUE(trx5::ListCardDevices(root.path()).empty());
    EXPECT_TRUE(trx5::ListCardDevices(root / "missing").empty());
}

// A folder lies on a device when its file system is the device or one of
// the device's partitions; another disk's partition, or a file system on
// no block device (a tmpfs), does not.
TEST(CardDevices, TellsWhetherAFolderLiesOnADevice) {
    trx5test::TempDir root;
    Attribute(root, "block/sdb", "dev", "8:16");
    Attribute(root, "block/sdb/sdb1", "dev", "8:17");
    Attribute(root, "block/sdb/sdb1", "partition", "1");
    Attribute(root, "block/sdc", "dev", "8:32");
    Attribute(root, "block/sdc/sdc1", "dev", "8:33");
    Attribute(root, "block/sdc/sdc1", "partition", "1");
    std::filesystem::create_directories(root / "dev/block");
    for (const char* link : {"8:16=sdb", "8:17=sdb/sdb1", "8:32=sdc", "8:33=sdc/sdc1"}) {
        const std::string text(link);
        const auto at = text.find('=');
        std::filesystem::create_symlink("../../block/" + text.substr(at + 1),
                                        root / "dev/block/" + text.substr(0, at));
    }
    const auto sdb = makedev(8, 16);
    EXPECT_TRUE(trx5::DeviceHolds(sdb, makedev(8, 16), root.path()));
    EXPECT_TRUE(trx5::DeviceHolds(sdb, makedev(8, 17), root.path()));
    EXPECT_TRUE(trx5::DeviceHolds(makedev(8, 17), makedev(8, 17), root.path()));
    EXPECT_FALSE(trx5::DeviceHolds(makedev(8, 17), makedev(8, 16), root.path()));
    EXPECT_FALSE(trx5::DeviceHolds(sdb, makedev(8, 33), root.path()));
    EXPECT_FALSE(trx5::DeviceHolds(sdb, makedev(8, 32), root.path()));
    EXPECT_FALSE(trx5::DeviceHolds(sdb, makedev(0, 45), root.path()));

    // An image file is no device: it can be rescued anywhere.
    trx5test::WriteFile(root / "card.img", std::string(512, 'x'));
    EXPECT_FALSE(trx5::FolderIsOnDevice(root.path(), root / "card.img"));
    EXPECT_FALSE(trx5::FolderIsOnDevice(root.path(), root / "missing"));
}

}  // namespace
