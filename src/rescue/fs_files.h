// The recorder's files as a damaged card's FAT file system still lists them:
// the live files of its root folder, and the entries marked deleted whose
// first cluster and size are still there. Read through The Sleuth Kit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rescue/carver.h"
#include "rescue/sector_reader.h"

namespace trx5 {

struct FsFile {
    // As the folder names it. A deleted entry has lost its first letter
    // ("_0-01.aud"); `name` is then the restored one when it could be told
    // (RestoreDeletedName), else the entry's own.
    std::string name;
    std::string entryName;  // as the folder lists it
    bool deleted = false;
    std::uint64_t size = 0;
    // The sectors of the source that hold the file, in order, covering at
    // least `size` bytes where the source allows. A deleted file's are its
    // contiguous clusters from the first, as undelete tools take them.
    std::vector<SectorRun> sectors;
    std::uint64_t firstSector() const { return sectors.empty() ? 0 : sectors.front().first; }
};

struct FsListing {
    bool found = false;
    std::string type;           // "FAT16"
    std::uint64_t offset = 0;   // byte of the source where the file system starts
    std::vector<FsFile> files;  // the regular files of the root folder, live and deleted
};

// Looks for a FAT file system at the start of `reader`, else in the
// partitions its partition table names, and lists its root folder.
FsListing ListFileSystem(SectorReader& reader);

// The name a deleted entry had, when its lost first letter can be told:
// "_ONGNO.TX5" is "SongNo.tx5", "_TYPRM03.TX5" is "UtyPrm03.tx5", and a take
// "_3-12.aud" is song NN's when exactly one song number in `songNumbers`
// ends with 3. Empty when it cannot be told.
std::string RestoreDeletedName(const std::string& entryName, const std::vector<int>& songNumbers);

}  // namespace trx5
