#include "common/folder.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <map>

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

std::string LowerCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::vector<std::string> KeepFirstOfCaseTwins(std::vector<std::string> names,
                                              std::vector<CaseTwin>* twins) {
    std::sort(names.begin(), names.end());
    std::map<std::string, std::string> firstByLower;
    std::vector<std::string> kept;
    for (std::string& name : names) {
        const auto [it, isFirst] = firstByLower.try_emplace(LowerCase(name), name);
        if (isFirst) {
            kept.push_back(std::move(name));
        } else if (twins != nullptr) {
            twins->push_back({std::move(name), it->second});
        }
    }
    return kept;
}

std::vector<FolderEntry> FindFiles(const std::string& folder, std::string_view pattern,
                                   std::vector<CaseTwin>* twins) {
    std::map<std::string, FolderEntry> files;
    std::vector<std::string> names;
    for (FolderEntry& entry : FindEntries(folder, pattern)) {
        if (entry.isFolder) continue;
        names.push_back(entry.name);
        files.emplace(entry.name, std::move(entry));
    }
    std::vector<FolderEntry> kept;
    for (const std::string& name : KeepFirstOfCaseTwins(std::move(names), twins)) {
        kept.push_back(std::move(files.at(name)));
    }
    return kept;
}

std::string FindFileNoCase(const std::string& folder, std::string_view name) {
    const std::vector<FolderEntry> files = FindFiles(folder, name);
    return files.empty() ? std::string() : files.front().path;
}

}  // namespace trx5
