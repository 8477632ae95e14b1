#include "common/folder.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cctype>

namespace trx5 {

std::string WithTrailingSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder.push_back('/');
    return folder;
}

bool MatchesPattern(std::string_view name, std::string_view pattern) {
    if (name.size() != pattern.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (pattern[i] == '?') continue;
        const auto a = static_cast<unsigned char>(name[i]);
        const auto b = static_cast<unsigned char>(pattern[i]);
        if (std::tolower(a) != std::tolower(b)) return false;
    }
    return true;
}

std::vector<FolderEntry> FindEntries(const std::string& folder, std::string_view pattern) {
    std::vector<FolderEntry> entries;
    const std::string base = WithTrailingSlash(folder.empty() ? std::string("/") : folder);
    DIR* dir = opendir(base.c_str());
    if (dir == nullptr) return entries;
    // The entries come in the order of the directory listing.
    while (const dirent* d = readdir(dir)) {
        const std::string_view name(d->d_name);
        if (name == "." || name == ".." || !MatchesPattern(name, pattern)) continue;
        FolderEntry entry;
        entry.name = std::string(name);
        entry.path = base + entry.name;
        struct stat st {};
        entry.isFolder = stat(entry.path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        entries.push_back(std::move(entry));
    }
    closedir(dir);
    return entries;
}

std::string FindFileNoCase(const std::string& folder, std::string_view name) {
    for (const FolderEntry& entry : FindEntries(folder, name)) {
        if (!entry.isFolder) return entry.path;
    }
    return {};
}

}  // namespace trx5
