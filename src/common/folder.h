// Folder searches as the recorder's cards need them: names compared without
// regard to letter case. Names that differ only in case stand for one file:
// the first of them in byte order is the one used everywhere, the others are
// its twins and are left alone.
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

// A name left alone because another one that differs only in letter case
// comes first in byte order.
struct CaseTwin {
    std::string name;    // the name left alone
    std::string chosen;  // the name used instead
};

// The rule for names that differ only in case: of each such group the first
// in byte order is kept. Returns the kept names in byte order; the others go
// to `twins` when given.
std::vector<std::string> KeepFirstOfCaseTwins(std::vector<std::string> names,
                                              std::vector<CaseTwin>* twins = nullptr);

// The files (not folders) of `folder` whose names match `pattern`, one per
// name without regard to case (KeepFirstOfCaseTwins), in byte order.
std::vector<FolderEntry> FindFiles(const std::string& folder, std::string_view pattern,
                                   std::vector<CaseTwin>* twins = nullptr);

// The file of `folder` that stands for `name` without regard to case (the
// first in byte order); empty when there is none.
std::string FindFileNoCase(const std::string& folder, std::string_view name);

// The letters of `text` in lower case (ASCII only, as the card's names are).
std::string LowerCase(std::string text);

}  // namespace trx5
