#include "backup/card_copy.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iterator>
#include <map>
#include <memory>

#include "backup/wildcard.h"
#include "card/card_info.h"
#include "card/take_file.h"
#include "common/byte_size.h"
#include "common/file_io.h"
#include "common/folder.h"

namespace trx5 {

namespace {

constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

// Group keys: songs by file number (0..99), then these two.
constexpr int kOtherFiles = 100;
constexpr int kMachineFile = 101;

// A failure of the copy concerning `path`: a folder, or a file's name in the
// folders copied.
Status CopyFailure(ErrorCode code, const std::string& path, std::string reason) {
    return Status::Fail(code, kMsgCannotCopy, std::move(reason)).WithPath(path);
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The group of a file: the song whose file (UtyPrmNN.tx5) or take
// (NN-TV.aud of one of its 32 slots) it is, the machine file, or the files
// that belong to no song.
int GroupOf(std::string_view name) {
    if (MatchesPattern(name, kMachineFileName)) return kMachineFile;
    if (const std::optional<int> song = SongFileNumber(name)) return *song;
    if (const std::optional<int> song = TakeFileNumber(name)) return *song;
    return kOtherFiles;
}

// "song 01", "songs 01, 02", "songs 01-05, 07, the other files and the
// machine file", by song number as the song list shows it.
std::string GroupsText(const std::vector<int>& keys) {
    std::vector<std::string> parts;
    std::vector<int> songs;
    for (int key : keys) {
        if (key < kOtherFiles) songs.push_back(key + 1);
    }
    if (!songs.empty()) {
        std::string text = songs.size() == 1 ? kTextSong : kTextSongs;
        for (std::size_t i = 0; i < songs.size();) {
            std::size_t end = i + 1;
            while (end < songs.size() && songs[end] == songs[end - 1] + 1) ++end;
            if (end - i < 3) end = i + 1;
            if (i > 0) text += ", ";
            text += SongNumberText(songs[i]);
            if (end - i >= 3) text += '-' + SongNumberText(songs[end - 1]);
            i = end;
        }
        parts.push_back(text);
    }
    if (std::count(keys.begin(), keys.end(), kOtherFiles)) parts.push_back(kTextOtherFiles);
    if (std::count(keys.begin(), keys.end(), kMachineFile)) parts.push_back(kTextTheMachineFile);
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) text += i + 1 == parts.size() ? kTextAnd : ", ";
        text += parts[i];
    }
    return text;
}

// Which groups a copy that stopped has copied and which it left as they
// were: "song 01 copied; songs 02, 03 left as they were".
std::string Summary(const std::vector<int>& copied, const std::vector<int>& partly,
                    const std::vector<int>& left) {
    std::vector<std::string> parts;
    if (!copied.empty()) parts.push_back(GroupsText(copied) + kTextCopied);
    if (!partly.empty()) parts.push_back(GroupsText(partly) + kTextPartlyCopied);
    if (!left.empty()) {
        const bool one = left.size() == 1 && left[0] != kOtherFiles;
        parts.push_back(GroupsText(left) + (one ? kTextLeftAsItWas : kTextLeftAsTheyWere));
    }
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : "; ") + part;
    return text;
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

// The names in `folder`, "." and ".." left out.
Result<std::vector<std::string>> FolderNames(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return Status::Fail(ErrorCode::Failed, {}, ErrnoText(errno));
    std::vector<std::string> names;
    for (;;) {
        errno = 0;
        const dirent* d = readdir(dir);
        if (d == nullptr) break;
        const std::string_view name(d->d_name);
        if (name != "." && name != "..") names.emplace_back(name);
    }
    const int error = errno;
    closedir(dir);
    if (error != 0) return Status::Fail(ErrorCode::Failed, {}, ErrnoText(error));
    return names;
}

struct SourceFile {
    std::string name;
    struct stat st {};
};

struct Sources {
    std::vector<SourceFile> files;  // regular files, in byte order
    std::vector<std::string> notes;
};

// The files of `folder` that match a pattern: the regular ones to copy and
// a note for each link and each case twin left out. Entries are only looked
// at (lstat), never opened or followed; folders and special files are no
// card files. Temporary files of this program are never card files either.
Result<Sources> ListSources(const std::string& folder, const std::vector<std::string>& patterns) {
    auto names = FolderNames(folder);
    if (!names) return names.status();
    std::map<std::string, struct stat> entries;
    std::vector<std::string> candidates;
    for (const std::string& name : *names) {
        if (StartsWith(name, kTempPrefix) ||
            std::none_of(patterns.begin(), patterns.end(),
                         [&name](const std::string& p) { return MatchesWildcard(name, p); })) {
            continue;
        }
        struct stat st {};
        if (lstat((folder + name).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
        entries.emplace(name, st);
        candidates.push_back(name);
    }
    Sources sources;
    std::vector<CaseTwin> twins;
    for (const std::string& name : KeepFirstOfCaseTwins(std::move(candidates), &twins)) {
        const struct stat& st = entries.at(name);
        if (S_ISLNK(st.st_mode)) {
            sources.notes.push_back(LinkNote(name));
        } else if (S_ISREG(st.st_mode)) {
            sources.files.push_back({name, st});
        }
    }
    for (const CaseTwin& twin : twins) sources.notes.push_back(CaseTwinNote(twin));
    std::sort(sources.notes.begin(), sources.notes.end());
    return sources;
}

// The folder that holds, or will hold, `folder`: itself when it is there,
// else the nearest of its parents that is. Fails when one of them is no
// folder.
Result<std::string> ExistingFolder(std::string folder) {
    for (;;) {
        struct stat st {};
        if (stat(folder.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) {
                return Status::Fail(ErrorCode::Failed, {}, ErrnoText(ENOTDIR));
            }
            return folder;
        }
        if (errno != ENOENT) return Status::Fail(ErrorCode::Failed, {}, ErrnoText(errno));
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        const std::size_t slash = folder.rfind('/');
        if (slash == std::string::npos) return std::string(".");
        folder.resize(slash + 1);
    }
}

// Makes `folder` (ending with "/") and its missing parents.
Status MakeFolders(const std::string& folder) {
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode) ? Status::Ok()
                                   : Status::Fail(ErrorCode::Failed, {}, ErrnoText(ENOTDIR));
    }
    for (std::size_t slash = folder.find('/', 1); slash != std::string::npos;
         slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
            return Status::Fail(ErrorCode::Failed, {}, ErrnoText(errno));
        }
    }
    if (stat(folder.c_str(), &st) != 0) {
        return Status::Fail(ErrorCode::Failed, {}, ErrnoText(errno));
    }
    return S_ISDIR(st.st_mode) ? Status::Ok()
                               : Status::Fail(ErrorCode::Failed, {}, ErrnoText(ENOTDIR));
}

struct PlannedFile {
    std::string name;    // in the source
    std::string target;  // in the destination
    std::uint64_t size = 0;
    bool sameFile = false;        // the target is the source itself
    std::uint64_t oldBlocks = 0;  // of a replaced file that goes with it
};

struct Group {
    int key = 0;
    std::vector<PlannedFile> files;  // in byte order
};

class CardCopy {
  public:
    CardCopy(const CopyRequest& request, CopyProgress& progress)
        : source_(WithTrailingSlash(request.sourceFolder)),
          destination_(WithTrailingSlash(request.destinationFolder)),
          progress_(progress) {}

    Result<CopyOutcome> Run(const CopyRequest& request) {
        auto sources = ListSources(source_, request.patterns);
        if (!sources) {
            return CopyFailure(ErrorCode::CannotOpen, request.sourceFolder, sources.reason());
        }
        if (sources->files.empty()) {
            return CopyFailure(ErrorCode::Failed, request.sourceFolder, kReasonNoFilesToCopy);
        }
        outcome_.notes = std::move(sources->notes);

        const auto fail = [&request](const std::string& reason,
                                     ErrorCode code = ErrorCode::CannotCreate) {
            return CopyFailure(code, request.destinationFolder, reason);
        };
        auto existing = ExistingFolder(destination_);
        if (!existing) return fail(existing.reason());
        const bool there = *existing == destination_;
        if (!there && !request.createDestination) return fail(ErrnoText(ENOENT));
        std::map<std::string, std::string> targets;  // by lower-case name
        if (there) {
            RemoveStaleTempFiles(destination_);
            auto names = FolderNames(destination_);
            if (!names) return fail(names.reason());
            for (std::string& name : KeepFirstOfCaseTwins(std::move(*names))) {
                targets.emplace(LowerCase(name), std::move(name));
            }
        }

        if (Status s = Plan(sources->files, targets); !s) return s;
        if (Status s = CheckSpace(*existing); !s) return fail(s.reason(), s.code());
        if (!there) {
            if (Status s = MakeFolders(destination_); !s) return fail(s.reason());
        }

        buffer_ = std::make_unique<unsigned char[]>(kChunkBytes);
        for (std::size_t g = 0; g < groups_.size(); ++g) {
            bool partly = false;
            Status s = CopyGroup(groups_[g], partly);
            if (!s || outcome_.cancelled) {
                std::vector<int> copied, partial, left;
                for (std::size_t i = 0; i < groups_.size(); ++i) {
                    const int key = groups_[i].key;
                    (i < g ? copied : i == g && partly ? partial : left).push_back(key);
                }
                const std::string summary = Summary(copied, partial, left);
                if (!s) return CopyFailure(s.code(), s.path(), s.reason() + "; " + summary);
                outcome_.summary = summary;
                break;
            }
        }
        return outcome_;
    }

  private:
    // Puts each file in its group with its target and what copying it
    // costs; the groups in copy order.
    Status Plan(const std::vector<SourceFile>& files,
                const std::map<std::string, std::string>& targets) {
        std::map<int, Group> groups;
        for (const SourceFile& file : files) {
            const auto found = targets.find(LowerCase(file.name));
            PlannedFile planned{file.name, found != targets.end() ? found->second : file.name,
                                static_cast<std::uint64_t>(file.st.st_size)};
            struct stat old {};
            if (lstat((destination_ + planned.target).c_str(), &old) == 0) {
                // A folder in the way fails the copy before anything is written.
                if (S_ISDIR(old.st_mode)) {
                    return CopyFailure(ErrorCode::CannotCreate, file.name, ErrnoText(EISDIR));
                }
                planned.sameFile = old.st_dev == file.st.st_dev && old.st_ino == file.st.st_ino;
                if (S_ISREG(old.st_mode) && old.st_nlink == 1) {
                    planned.oldBlocks = static_cast<std::uint64_t>(old.st_blocks) * 512;
                }
            }
            total_ += planned.size;
            groups[GroupOf(file.name)].files.push_back(std::move(planned));
        }
        for (auto& [key, group] : groups) {
            group.key = key;
            groups_.push_back(std::move(group));
        }
        return Status::Ok();
    }

    // The most free space the copy needs at any moment: the new files of
    // the groups so far, less the space of the files they replaced, and the
    // new files of the group being written. Sizes go up to whole blocks.
    Status CheckSpace(const std::string& folder) const {
        const auto space = FreeSpace(folder);
        if (!space) return space.status();
        if (!space->known) return Status::Ok();
        const std::uint64_t block = space->blockSize;
        const std::uint64_t free = space->bytes;
        std::int64_t used = 0;  // by the groups before
        std::int64_t needed = 0;
        for (const Group& group : groups_) {
            std::int64_t added = 0, freed = 0;
            for (const PlannedFile& file : group.files) {
                if (file.sameFile) continue;
                added += static_cast<std::int64_t>((file.size + block - 1) / block * block);
                freed += static_cast<std::int64_t>(file.oldBlocks);
            }
            needed = std::max(needed, used + added);
            used += added - freed;
        }
        if (static_cast<std::uint64_t>(needed) <= free) return Status::Ok();
        return Status::Fail(ErrorCode::NoSpace, {},
                            NotEnoughSpaceText(FormatByteSize(static_cast<std::uint64_t>(needed)),
                                               FormatByteSize(free)));
    }

    // Writes every file of the group to a temporary file, then renames them
    // all over their targets. A failure names the file; `partly` tells
    // whether some of the group's renames were made before it.
    Status CopyGroup(const Group& group, bool& partly) {
        struct Written {
            std::unique_ptr<TempFile> temp;
            const PlannedFile* file;
            std::uint64_t bytes;
        };
        std::vector<Written> written;
        std::uint64_t skipped = 0;
        bool committed = false;
        auto commit = [&]() -> Status {
            for (Written& w : written) {
                if (Status s = w.temp->CommitTo(destination_ + w.file->target); !s) {
                    if (outcome_.filesCopied > 0) SyncFolder(destination_);
                    return CopyFailure(s.code(), w.file->name, s.reason());
                }
                partly = committed = true;
                ++outcome_.filesCopied;
                outcome_.bytesCopied += w.bytes;
            }
            written.clear();
            return Status::Ok();
        };
        // The files of no song need not stand or fall together: each takes
        // its name as soon as it is written, so that however many there are,
        // only one is open at a time.
        const bool oneByOne = group.key == kOtherFiles;
        for (const PlannedFile& file : group.files) {
            auto temp = std::make_unique<TempFile>();
            std::uint64_t bytes = 0;
            if (Status s = WriteOne(file, *temp, bytes); !s) {
                return CopyFailure(s.code(), file.name, s.reason());
            }
            if (outcome_.cancelled) return Status::Ok();  // the temporary files go
            if (temp->file() == nullptr) {
                ++skipped;
            } else {
                written.push_back({std::move(temp), &file, bytes});
            }
            if (oneByOne) {
                if (Status s = commit(); !s) return s;
            }
        }
        if (Status s = commit(); !s) return s;
        partly = false;
        outcome_.filesSkipped += skipped;
        if (committed) SyncFolder(destination_);
        return Status::Ok();
    }

    // Copies one file into `temp`, flushed to the device and ready to be
    // renamed. Leaves `temp` unopened when the target is the source itself,
    // or when the progress cancels (outcome_.cancelled).
    Status WriteOne(const PlannedFile& file, TempFile& temp, std::uint64_t& copied) {
        std::string reason;
        const FilePtr in = OpenRegularFile(source_ + file.name, &reason, FinalLink::Refuse);
        if (!in) return Status::Fail(ErrorCode::CannotOpen, {}, reason);
        struct stat from {};
        if (fstat(fileno(in.get()), &from) != 0) {
            return Status::Fail(ErrorCode::CannotOpen, {}, ErrnoText(errno));
        }
        const auto size = static_cast<std::uint64_t>(from.st_size);
        total_ = total_ - file.size + size;

        const std::string target = destination_ + file.target;
        struct stat old {};
        const bool replacing = lstat(target.c_str(), &old) == 0;
        if (replacing && old.st_dev == from.st_dev && old.st_ino == from.st_ino) {
            done_ += size;
            return Status::Ok();
        }
        if (replacing && S_ISDIR(old.st_mode)) {
            return Status::Fail(ErrorCode::CannotCreate, {}, ErrnoText(EISDIR));
        }

        if (Status s = temp.Create(destination_, file.target, 0600); !s) return s;
        // Whole chunks go straight to the files, without stdio's buffers.
        std::setvbuf(in.get(), nullptr, _IONBF, 0);
        std::setvbuf(temp.file(), nullptr, _IONBF, 0);
        copied = 0;
        for (bool first = true;; first = false) {
            if ((first || copied < size) && !progress_.Step(done_ + copied, total_, file.name)) {
                outcome_.cancelled = true;
                return Status::Ok();
            }
            errno = 0;
            const std::size_t n = std::fread(buffer_.get(), 1, kChunkBytes, in.get());
            if (std::ferror(in.get()) != 0) {
                return Status::Fail(ErrorCode::CannotOpen, {}, ErrnoText(errno ? errno : EIO));
            }
            if (Status s = temp.Write(buffer_.get(), n); !s) return s;
            StartWriteback(fileno(temp.file()), copied, n);
            copied += n;
            if (n < kChunkBytes) break;
        }

        // The permissions and times go on the file before it is put on the
        // device; the times after the last write, which would change them.
        if (std::fflush(temp.file()) != 0) {
            return Status::Fail(ErrorCode::CannotWrite, {}, ErrnoText(errno));
        }
        const int fd = fileno(temp.file());
        fchmod(fd, (replacing && S_ISREG(old.st_mode) ? old.st_mode : from.st_mode) & 0777);
        const timespec times[2] = {from.st_atim, from.st_mtim};
        futimens(fd, times);
        if (Status s = temp.Flush(); !s) return s;
        done_ += copied;
        return Status::Ok();
    }

    std::string source_;
    std::string destination_;
    CopyProgress& progress_;
    std::vector<Group> groups_;
    std::unique_ptr<unsigned char[]> buffer_;
    std::uint64_t total_ = 0;
    std::uint64_t done_ = 0;
    CopyOutcome outcome_;
};

}  // namespace

Result<CopyOutcome> CopyFiles(const CopyRequest& request, CopyProgress& progress) {
    return CardCopy(request, progress).Run(request);
}

}  // namespace trx5
