// The rescue on arbitrary card images, whose file system The Sleuth Kit
// reads: the first input byte chooses which of the first eight sectors
// cannot be read, the rest is the image (the seeds are small FAT images with
// live and deleted takes). The listing and the whole rescue must not crash,
// the sector runs listed must not be empty, and the rescue must end with a card
// folder and its report. (A damaged folder may list entries without a
// name; they are no card files and are left aside.)
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <vector>

#include "card/card_info.h"
#include "fuzz_image.h"
#include "fuzz_support.h"
#include "rescue/fs_files.h"
#include "rescue/rescue_output.h"
#include "rescue/sector_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    trx5fuzz::ImageSource source(data, size);
    trx5::RetryingSectorReader reader(source);

    const trx5::FsListing listing = trx5::ListFileSystem(reader);
    std::vector<int> songs;
    for (int n = 0; n < 100; ++n) songs.push_back(n);
    for (const trx5::FsFile& f : listing.files) {
        for (const trx5::SectorRun& r : f.sectors) FUZZ_CHECK(r.count > 0);
        (void)trx5::RestoreDeletedName(f.entryName, songs);
    }

    const std::string dir = trx5fuzz::TempFolder() + "rescued";
    const auto out = trx5::RescueToFolder(reader, dir);
    FUZZ_CHECK(out);
    FUZZ_CHECK(trx5::CheckMachineFile(dir + "/"));
    FUZZ_CHECK(!out->report.empty());
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return 0;
}
