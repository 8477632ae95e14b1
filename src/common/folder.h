// Folder searches as the recorder's cards need them: names compared without
// regard to letter case, entries in the order the directory listing returns.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace trx5 {

struct FolderEntry {
    std::string name;  // file name as stored
    std::string path;  // folder + name
    bool isFolder = false;
};

// A folder path as the card code holds it: ends with "/" (an empty path
// stays empty).
std::string WithTrailingSlash(std::string folder);

// Case-insensitive match of `name` against `pattern`, where '?' stands for
// exactly one character and every other character for itself.
bool MatchesPattern(std::string_view name, std::string_view pattern);

// Entries of `folder` whose names match `pattern`, in listing order.
// A folder that cannot be listed yields no entries.
std::vector<FolderEntry> FindEntries(const std::string& folder, std::string_view pattern);

// The first file (not folder) of `folder` whose name equals `name` without
// regard to case; empty when there is none.
std::string FindFileNoCase(const std::string& folder, std::string_view name);

}  // namespace trx5
