#include "backup/card_copy.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <map>
#include <memory>

#include "backup/wildcard.h"
#include "card/card_info.h"
#include "common/file_io.h"
#include "common/folder.h"

namespace trx5 {

namespace {

constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

struct SourceFile {
    std::string name;
    std::uint64_t size = 0;
};

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// Has the device start writing the bytes just written while the next chunk
// is read, instead of all at once when the file is flushed; the flush still
// waits for them before the file takes its name.
void StartWriteback(int fd, std::uint64_t offset, std::size_t count) {
#if defined(__linux__)
    sync_file_range(fd, static_cast<off_t>(offset), static_cast<off_t>(count),
                    SYNC_FILE_RANGE_WRITE);
#else
    (void)fd, (void)offset, (void)count;
#endif
}

// The regular files of `folder` (links followed) that match a pattern, in
// name order. Temporary files of this program are never card files.
Result<std::vector<SourceFile>> ListSources(const std::string& folder,
                                            const std::vector<std::string>& patterns) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return Status::Fail({}, ErrnoText(errno));
    std::vector<SourceFile> files;
    for (;;) {
        errno = 0;
        const dirent* d = readdir(dir);
        if (d == nullptr) break;
        const std::string_view name(d->d_name);
        if (name == "." || name == ".." || StartsWith(name, kTempPrefix)) continue;
        if (std::none_of(patterns.begin(), patterns.end(),
                         [name](const std::string& p) { return MatchesWildcard(name, p); })) {
            continue;
        }
        // stat only looks at the entry: a FIFO is never opened here.
        struct stat st {};
        const std::string path = folder + std::string(name);
        if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        files.push_back({std::string(name), static_cast<std::uint64_t>(st.st_size)});
    }
    const int error = errno;
    closedir(dir);
    if (error != 0) return Status::Fail({}, ErrnoText(error));
    std::sort(files.begin(), files.end(),
              [](const SourceFile& a, const SourceFile& b) { return a.name < b.name; });
    return files;
}

// Makes `folder` (ending with "/") and its missing parents.
Status MakeFolders(const std::string& folder) {
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode) ? Status::Ok() : Status::Fail({}, ErrnoText(ENOTDIR));
    }
    for (std::size_t slash = folder.find('/', 1); slash != std::string::npos;
         slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
            return Status::Fail({}, ErrnoText(errno));
        }
    }
    if (stat(folder.c_str(), &st) != 0) return Status::Fail({}, ErrnoText(errno));
    return S_ISDIR(st.st_mode) ? Status::Ok() : Status::Fail({}, ErrnoText(ENOTDIR));
}

// The destination's names by their lower-case spelling.
std::map<std::string, std::vector<std::string>> NamesByLowerCase(const std::string& folder) {
    std::map<std::string, std::vector<std::string>> names;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return names;
    while (const dirent* d = readdir(dir)) {
        const std::string name(d->d_name);
        if (name != "." && name != "..") names[Lower(name)].push_back(name);
    }
    closedir(dir);
    return names;
}

class CardCopy {
  public:
    CardCopy(const CopyRequest& request, CopyProgress& progress)
        : source_(WithTrailingSlash(request.sourceFolder)),
          destination_(WithTrailingSlash(request.destinationFolder)),
          progress_(progress) {}

    Result<CopyOutcome> Run(const CopyRequest& request) {
        auto files = ListSources(source_, request.patterns);
        if (!files) return Status::Fail(request.sourceFolder, files.reason());
        if (files->empty()) return Status::Fail(request.sourceFolder, kReasonNoFilesToCopy);
        if (request.createDestination) {
            if (Status s = MakeFolders(destination_); !s) {
                return Status::Fail(request.destinationFolder, s.reason());
            }
        } else if (struct stat st{}; stat(destination_.c_str(), &st) != 0) {
            return Status::Fail(request.destinationFolder, ErrnoText(errno));
        } else if (!S_ISDIR(st.st_mode)) {
            return Status::Fail(request.destinationFolder, ErrnoText(ENOTDIR));
        }
        RemoveStaleTempFiles(destination_);
        existing_ = NamesByLowerCase(destination_);
        for (const SourceFile& file : *files) {
            ++sourcesByLowerCase_[Lower(file.name)];
            total_ += file.size;
        }
        buffer_ = std::make_unique<unsigned char[]>(kChunkBytes);
        Status failure;
        for (const SourceFile& file : *files) {
            if (Status s = CopyOne(file); !s) {
                failure = Status::Fail(file.name, s.reason());
                break;
            }
            if (outcome_.cancelled) break;
        }
        // The renames made, also those before a cancel or failure.
        if (outcome_.filesCopied > 0) SyncFolder(destination_);
        if (!failure) return failure;
        return outcome_;
    }

  private:
    // The file the copy of `name` replaces: the one of that name, else the
    // only one there under another letter case, so that a take does not end
    // up in two files. Two source files that differ only in case keep their
    // own names: neither may replace the other's copy.
    std::string TargetPath(const std::string& name) const {
        struct stat st {};
        if (lstat((destination_ + name).c_str(), &st) == 0) return destination_ + name;
        const std::string lower = Lower(name);
        const auto it = existing_.find(lower);
        if (it != existing_.end() && it->second.size() == 1 && sourcesByLowerCase_.at(lower) == 1) {
            return destination_ + it->second[0];
        }
        return destination_ + name;
    }

    Status CopyOne(const SourceFile& file) {
        std::string reason;
        const FilePtr in = OpenRegularFile(source_ + file.name, &reason);
        if (!in) return Status::Fail({}, reason);
        struct stat from {};
        if (fstat(fileno(in.get()), &from) != 0) return Status::Fail({}, ErrnoText(errno));
        const auto size = static_cast<std::uint64_t>(from.st_size);
        total_ = total_ - file.size + size;

        const std::string target = TargetPath(file.name);
        struct stat old {};
        const bool replacing = stat(target.c_str(), &old) == 0;
        if (replacing && old.st_dev == from.st_dev && old.st_ino == from.st_ino) {
            done_ += size;
            ++outcome_.filesSkipped;
            return Status::Ok();
        }
        if (replacing && S_ISDIR(old.st_mode)) return Status::Fail({}, ErrnoText(EISDIR));

        TempFile temp;
        if (Status s = temp.Create(destination_, target.substr(destination_.size()), 0600); !s) {
            return s;
        }
        // Whole chunks go straight to the files, without stdio's buffers.
        std::setvbuf(in.get(), nullptr, _IONBF, 0);
        std::setvbuf(temp.file(), nullptr, _IONBF, 0);
        std::uint64_t copied = 0;
        for (bool first = true;; first = false) {
            if ((first || copied < size) && !progress_.Step(done_ + copied, total_, file.name)) {
                outcome_.cancelled = true;
                return Status::Ok();  // the temporary file goes with `temp`
            }
            errno = 0;
            const std::size_t n = std::fread(buffer_.get(), 1, kChunkBytes, in.get());
            if (std::ferror(in.get()) != 0) return Status::Fail({}, ErrnoText(errno ? errno : EIO));
            if (Status s = temp.Write(buffer_.get(), n); !s) return s;
            StartWriteback(fileno(temp.file()), copied, n);
            copied += n;
            if (n < kChunkBytes) break;
        }

        // The permissions and times go on the file before it is put on the
        // device; the times after the last write, which would change them.
        if (std::fflush(temp.file()) != 0) return Status::Fail({}, ErrnoText(errno));
        const int fd = fileno(temp.file());
        fchmod(fd, (replacing && S_ISREG(old.st_mode) ? old.st_mode : from.st_mode) & 0777);
        const timespec times[2] = {from.st_atim, from.st_mtim};
        futimens(fd, times);
        if (Status s = temp.Flush(); !s) return s;
        if (Status s = temp.CommitTo(target); !s) return s;
        done_ += copied;
        ++outcome_.filesCopied;
        outcome_.bytesCopied += copied;
        return Status::Ok();
    }

    std::string source_;
    std::string destination_;
    CopyProgress& progress_;
    std::map<std::string, std::vector<std::string>> existing_;
    std::map<std::string, int> sourcesByLowerCase_;
    std::unique_ptr<unsigned char[]> buffer_;
    std::uint64_t total_ = 0;
    std::uint64_t done_ = 0;
    CopyOutcome outcome_;
};

}  // namespace

Status CheckCardFolder(const std::string& folder) {
    switch (TestMachineFile(WithTrailingSlash(folder))) {
        case MachineFileState::Valid:
            return Status::Ok();
        case MachineFileState::Missing:
            return Status::Fail(kMsgNoCardInfo);
        case MachineFileState::Invalid:
            return Status::Fail(kMsgInvalidCardInfo);
    }
    return Status::Fail(kMsgInvalidCardInfo);
}

Result<CopyOutcome> CopyFiles(const CopyRequest& request, CopyProgress& progress) {
    return CardCopy(request, progress).Run(request);
}

}  // namespace trx5
