#include "rescue/fs_files.h"

#include <tsk/libtsk.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace trx5 {

namespace {

// The Sleuth Kit reads the source through this image, so that its reads go
// through the same sector reader as the carving: unreadable sectors are
// skipped and counted, and tests can inject faults below it.
struct ExternalImage {
    TSK_IMG_INFO info;  // first, as The Sleuth Kit casts it
    SectorReader* reader;
    std::vector<std::uint8_t> buffer;
    std::vector<std::uint8_t> unreadable;
};

ssize_t ReadImage(TSK_IMG_INFO* img, TSK_OFF_T offset, char* out, size_t length) {
    auto* image = reinterpret_cast<ExternalImage*>(img);
    SectorReader& reader = *image->reader;
    const std::uint64_t size = reader.size();
    if (offset < 0 || std::uint64_t(offset) >= size) return 0;
    length = std::size_t(std::min<std::uint64_t>(length, size - std::uint64_t(offset)));
    if (length == 0) return 0;
    const std::uint64_t first = std::uint64_t(offset) / kSectorSize;
    const std::uint64_t last = (std::uint64_t(offset) + length - 1) / kSectorSize;
    const auto count = static_cast<std::size_t>(last - first + 1);
    image->buffer.resize(count * kSectorSize);
    image->unreadable.resize(count);
    reader.ReadSectors(first, count, image->buffer.data(), image->unreadable.data());
    std::memcpy(out, image->buffer.data() + (std::uint64_t(offset) - first * kSectorSize), length);
    return static_cast<ssize_t>(length);
}

void CloseImage(TSK_IMG_INFO* img) {
    auto* image = reinterpret_cast<ExternalImage*>(img);
    image->~ExternalImage();
    std::free(image);
}

void ImageStat(TSK_IMG_INFO*, FILE*) {}

struct ImageCloser {
    void operator()(TSK_IMG_INFO* img) const { tsk_img_close(img); }
};
struct FsCloser {
    void operator()(TSK_FS_INFO* fs) const { tsk_fs_close(fs); }
};
struct VsCloser {
    void operator()(TSK_VS_INFO* vs) const { tsk_vs_close(vs); }
};
struct DirCloser {
    void operator()(TSK_FS_DIR* dir) const { tsk_fs_dir_close(dir); }
};
struct FileCloser {
    void operator()(TSK_FS_FILE* file) const { tsk_fs_file_close(file); }
};

std::unique_ptr<TSK_IMG_INFO, ImageCloser> OpenImage(SectorReader& reader) {
    void* memory = std::calloc(1, sizeof(ExternalImage));
    if (memory == nullptr) return nullptr;
    auto* image = new (memory) ExternalImage();
    image->reader = &reader;
    TSK_IMG_INFO* img = tsk_img_open_external(image, static_cast<TSK_OFF_T>(reader.size()),
                                              kSectorSize, ReadImage, CloseImage, ImageStat);
    if (img == nullptr) CloseImage(&image->info);
    return std::unique_ptr<TSK_IMG_INFO, ImageCloser>(img);
}

std::uint64_t SectorsOf(std::uint64_t bytes) { return (bytes + kSectorSize - 1) / kSectorSize; }

// The file's sectors: a live file's clusters as its chain gives them, a
// deleted file's contiguous from its first cluster.
std::vector<SectorRun> FileSectors(TSK_FS_INFO* fs, TSK_FS_FILE* file, bool deleted) {
    std::vector<SectorRun> runs;
    const TSK_FS_ATTR* attr = tsk_fs_file_attr_get(file);
    if (attr == nullptr || (attr->flags & TSK_FS_ATTR_NONRES) == 0) return runs;
    std::uint64_t wanted = SectorsOf(std::uint64_t(std::max<TSK_OFF_T>(file->meta->size, 0)));
    const std::uint64_t perBlock = fs->block_size / kSectorSize;
    const std::uint64_t base = std::uint64_t(fs->offset) / kSectorSize;
    for (const TSK_FS_ATTR_RUN* r = attr->nrd.run; r != nullptr && wanted > 0; r = r->next) {
        if (r->flags & (TSK_FS_ATTR_RUN_FLAG_FILLER | TSK_FS_ATTR_RUN_FLAG_SPARSE)) break;
        const std::uint64_t first = base + std::uint64_t(r->addr) * perBlock;
        if (deleted) {
            // The chain of a deleted file is gone: the clusters that follow
            // its first one are taken in order.
            runs.push_back({first, wanted});
            break;
        }
        const std::uint64_t count =
            std::min<std::uint64_t>(std::uint64_t(r->len) * perBlock, wanted);
        if (!runs.empty() && runs.back().first + runs.back().count == first) {
            runs.back().count += count;
        } else {
            runs.push_back({first, count});
        }
        wanted -= count;
    }
    return runs;
}

void ListRoot(TSK_FS_INFO* fs, FsListing& out) {
    std::unique_ptr<TSK_FS_DIR, DirCloser> dir(tsk_fs_dir_open_meta(fs, fs->root_inum));
    if (!dir) return;
    const std::size_t n = tsk_fs_dir_getsize(dir.get());
    for (std::size_t i = 0; i < n; ++i) {
        std::unique_ptr<TSK_FS_FILE, FileCloser> file(tsk_fs_dir_get(dir.get(), i));
        if (!file || file->name == nullptr || file->meta == nullptr) continue;
        if (file->name->type != TSK_FS_NAME_TYPE_REG) continue;
        if (file->meta->type != TSK_FS_META_TYPE_REG) continue;
        FsFile f;
        f.entryName = file->name->name;
        f.name = f.entryName;
        f.deleted = (file->name->flags & TSK_FS_NAME_FLAG_UNALLOC) != 0;
        f.size = std::uint64_t(std::max<TSK_OFF_T>(file->meta->size, 0));
        f.sectors = FileSectors(fs, file.get(), f.deleted);
        out.files.push_back(std::move(f));
    }
}

const char* FatName(TSK_FS_TYPE_ENUM type) {
    switch (type) {
        case TSK_FS_TYPE_FAT12:
            return "FAT12";
        case TSK_FS_TYPE_FAT16:
            return "FAT16";
        case TSK_FS_TYPE_FAT32:
            return "FAT32";
        case TSK_FS_TYPE_EXFAT:
            return "exFAT";
        default:
            return "FAT";
    }
}

bool TryFileSystem(TSK_IMG_INFO* img, TSK_OFF_T offset, FsListing& out) {
    std::unique_ptr<TSK_FS_INFO, FsCloser> fs(tsk_fs_open_img(img, offset, TSK_FS_TYPE_FAT_DETECT));
    tsk_error_reset();
    if (!fs) return false;
    out.found = true;
    out.type = FatName(fs->ftype);
    out.offset = std::uint64_t(offset);
    ListRoot(fs.get(), out);
    tsk_error_reset();
    return true;
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool Digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

FsListing ListFileSystem(SectorReader& reader) {
    FsListing out;
    auto img = OpenImage(reader);
    if (!img) {
        tsk_error_reset();
        return out;
    }
    if (TryFileSystem(img.get(), 0, out)) return out;
    // A whole card's image: the file system is in a partition.
    std::unique_ptr<TSK_VS_INFO, VsCloser> vs(tsk_vs_open(img.get(), 0, TSK_VS_TYPE_DETECT));
    tsk_error_reset();
    if (!vs) return out;
    for (TSK_PNUM_T i = 0; i < vs->part_count; ++i) {
        const TSK_VS_PART_INFO* part = tsk_vs_part_get(vs.get(), i);
        if (part == nullptr || (part->flags & TSK_VS_PART_FLAG_ALLOC) == 0) continue;
        const auto offset = static_cast<TSK_OFF_T>(part->start * vs->block_size);
        if (TryFileSystem(img.get(), offset, out)) return out;
    }
    return out;
}

std::string RestoreDeletedName(const std::string& entryName, const std::vector<int>& songNumbers) {
    if (entryName.size() < 2 || entryName[0] != '_') return entryName;
    const std::string rest = entryName.substr(1);
    const std::string upper = Upper(rest);
    if (upper == "ONGNO.TX5") return "S" + rest;
    if (upper.size() == 11 && upper.compare(0, 5, "TYPRM") == 0 && Digit(upper[5]) &&
        Digit(upper[6]) && upper.compare(7, 4, ".TX5") == 0) {
        return "U" + rest;
    }
    // A take "NN-TV.aud" that lost the first digit of its song number.
    if (upper.size() == 8 && Digit(upper[0]) && upper[1] == '-' && Digit(upper[2]) &&
        Digit(upper[3]) && upper.compare(4, 4, ".AUD") == 0) {
        int match = -1;
        for (const int song : songNumbers) {
            if (song % 10 != upper[0] - '0') continue;
            if (match >= 0 && match != song) return {};
            match = song;
        }
        if (match < 0) return {};
        return std::string(1, char('0' + match / 10)) + rest;
    }
    return {};
}

}  // namespace trx5
