#include "rescue/card_devices.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>

namespace trx5 {

namespace {

namespace fs = std::filesystem;

// The first line of a small sysfs file without the spaces around it; empty
// when it cannot be read.
std::string ReadAttribute(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line)) return {};
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const auto last = line.find_last_not_of(" \t\r");
    return line.substr(first, last - first + 1);
}

std::uint64_t ReadNumber(const fs::path& path) {
    const std::string text = ReadAttribute(path);
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? value : 0;
}

// sysfs writes the "/" of a name under /dev as "!" ("cciss!c0d0").
std::string DevicePath(std::string name) {
    std::replace(name.begin(), name.end(), '!', '/');
    return "/dev/" + name;
}

// The size file counts 512-byte sectors, whatever the device's own
// sector size.
std::uint64_t Bytes(const fs::path& folder) { return ReadNumber(folder / "size") * 512; }

bool IsCard(const fs::path& folder) {
    const std::string type = ReadAttribute(folder / "device" / "type");
    // An SD card in a built-in slot: its device is not marked removable.
    if (type == "SD") return true;
    // SCSI type 5: a CD or DVD drive, removable too.
    return ReadAttribute(folder / "removable") == "1" && type != "5";
}

// The names in a folder, sorted; none when it cannot be read.
std::vector<std::string> EntryNames(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<CardDevice> Partitions(const fs::path& folder, const CardDevice& disk) {
    std::vector<CardDevice> found;
    for (const std::string& name : EntryNames(folder)) {
        const int number = static_cast<int>(ReadNumber(folder / name / "partition"));
        if (number <= 0) continue;
        CardDevice slice = disk;
        slice.path = DevicePath(name);
        slice.bytes = Bytes(folder / name);
        slice.partition = number;
        slice.diskPath = disk.path;
        if (slice.bytes > 0) found.push_back(std::move(slice));
    }
    std::sort(found.begin(), found.end(),
              [](const CardDevice& a, const CardDevice& b) { return a.partition < b.partition; });
    return found;
}

}  // namespace

std::vector<CardDevice> ListCardDevices(const std::string& sysRoot) {
    std::vector<CardDevice> devices;
    for (const std::string& name : EntryNames(fs::path(sysRoot) / "block")) {
        const fs::path folder = fs::path(sysRoot) / "block" / name;
        CardDevice disk;
        disk.bytes = Bytes(folder);
        if (disk.bytes == 0 || !IsCard(folder)) continue;
        disk.path = DevicePath(name);
        disk.vendor = ReadAttribute(folder / "device" / "vendor");
        disk.model = ReadAttribute(folder / "device" / "model");
        // An MMC device tells the card's name instead of a model.
        if (disk.model.empty()) disk.model = ReadAttribute(folder / "device" / "name");
        const std::vector<CardDevice> partitions = Partitions(folder, disk);
        devices.push_back(std::move(disk));
        devices.insert(devices.end(), partitions.begin(), partitions.end());
    }
    return devices;
}

bool DeviceHolds(std::uint64_t device, std::uint64_t fileSystem, const std::string& sysRoot) {
    if (device == fileSystem) return true;
    const auto number = [](std::uint64_t dev) {
        return std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
    };
    // /sys/dev/block/MAJ:MIN leads to the device's folder; a partition's
    // lies in its disk's.
    std::error_code error;
    const fs::path folder =
        fs::canonical(fs::path(sysRoot) / "dev" / "block" / number(fileSystem), error);
    if (error || !fs::exists(folder / "partition", error)) return false;
    return ReadAttribute(folder.parent_path() / "dev") == number(device);
}

bool FolderIsOnDevice(const std::string& folder, const std::string& devicePath,
                      const std::string& sysRoot) {
    struct stat node {};
    struct stat place {};
    if (::stat(devicePath.c_str(), &node) != 0 || !S_ISBLK(node.st_mode)) return false;
    if (::stat(folder.c_str(), &place) != 0) return false;
    return DeviceHolds(node.st_rdev, place.st_dev, sysRoot);
}

}  // namespace trx5
