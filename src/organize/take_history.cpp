#include "organize/take_history.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <sstream>

#include "card/card_info.h"
#include "card/take_file.h"
#include "common/byte_size.h"
#include "common/file_io.h"
#include "common/folder.h"
#include "common/messages.h"
#include "organize/organize_messages.h"

namespace trx5 {

namespace {

constexpr char kJournalName[] = "journal.txt";
// Version 2 added the steps' renames; a journal of version 1 has none.
constexpr char kJournalHead[] = "trx5-history\t2";
constexpr char kJournalHeadV1[] = "trx5-history\t1";
// The most steps the journal holds. Steps of renames keep no file, so the
// limit on kept bytes never drops them; past this the oldest go (the files
// they kept stay until that limit drops them).
constexpr std::size_t kMaxSteps = 1000;

// Makes `path` and the folders above it (mode 0700: the history is the
// user's own).
Status MakeFolders(const std::string& path) {
    std::string part;
    std::stringstream in(path);
    std::string piece;
    if (!path.empty() && path[0] == '/') part = "/";
    while (std::getline(in, piece, '/')) {
        if (piece.empty()) continue;
        part += piece + "/";
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return Status::Fail(ErrorCode::CannotCreate, kMsgHistoryFailed, ErrnoText(errno))
                .WithPath(part);
        }
    }
    return Status::Ok();
}

// A name for a link beside a target, unique among this process's.
std::string LinkName(const std::string& folder, const std::string& name) {
    static unsigned counter = 0;
    return folder + kTempPrefix + TempNameStem(folder, name) + "-l" + std::to_string(getpid()) +
           "x" + std::to_string(++counter);
}

// The card's file of that name in any letter case, or the name itself.
std::string CardPath(const std::string& folder, const std::string& name) {
    std::string path = FindFileNoCase(folder, name);
    return path.empty() ? folder + name : path;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool SameName(const std::string& a, const std::string& b) { return LowerCase(a) == LowerCase(b); }

std::vector<TakeRename> TurnedRound(std::vector<TakeRename> renames) {
    for (TakeRename& r : renames) std::swap(r.from, r.to);
    return renames;
}

// Whether a rename of `renames` moves a file away from `name` (`from`) or
// into it.
bool Renamed(const std::vector<TakeRename>& renames, const std::string& name, bool from) {
    return std::any_of(renames.begin(), renames.end(),
                       [&](const TakeRename& r) { return SameName(from ? r.from : r.to, name); });
}

// A card file's name as the journal may hold it: never a path.
bool IsCardName(const std::string& name) {
    return !name.empty() && name[0] != '.' && name.find('/') == std::string::npos;
}

std::uint64_t Fnv1a(std::uint64_t hash, const void* bytes, std::size_t count) {
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    for (std::size_t i = 0; i < count; ++i) {
        hash ^= p[i];
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

}  // namespace

std::string KeptTimeText(std::int64_t time, bool seconds) {
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm parts{};
    localtime_r(&t, &parts);
    char text[32];
    std::strftime(text, sizeof text, seconds ? "%Y-%m-%d %H:%M:%S" : "%Y-%m-%d %H:%M", &parts);
    return text;
}

std::string DescribeCardFile(const std::string& name) {
    if (name.empty()) return kMsgUnknownKept;
    if (const auto number = TakeFileNumber(name)) {
        if (const auto slot = ParseTakeFileName(name, *number)) {
            return TakeOfSongText(TakeCaption(*slot), SongNumberText(*number + 1));
        }
    }
    if (const auto number = SongFileNumber(name)) return SongFileText(SongNumberText(*number + 1));
    return name;
}

Status CopyToTemp(const std::string& source, const std::string& folder, const std::string& name,
                  TempFile& temp) {
    std::string reason;
    FilePtr in = OpenRegularFile(source, &reason);
    if (!in) return Status::Fail(ErrorCode::CannotOpen, kMsgCannotOpen, reason).WithPath(source);
    if (Status s = temp.Create(folder, name); !s) {
        return Status::Fail(ErrorCode::CannotCreate, kMsgCannotCreate, s.reason())
            .WithPath(folder + name);
    }
    if (Status s = temp.CopyFrom(fileno(in.get())); !s) {
        if (s.code() == ErrorCode::CannotOpen) {
            return Status::Fail(ErrorCode::CannotOpen, kMsgCannotOpen, s.reason()).WithPath(source);
        }
        return Status::Fail(ErrorCode::CannotWrite, kMsgCannotWrite, s.reason())
            .WithPath(folder + name);
    }
    if (Status s = temp.Flush(); !s) {
        return Status::Fail(ErrorCode::CannotWrite, kMsgCannotWrite, s.reason())
            .WithPath(folder + name);
    }
    return Status::Ok();
}

Status PlaceFile(const std::string& source, const std::string& cardFolder,
                 const std::string& name) {
    const std::string target = CardPath(cardFolder, name);
    const std::string link = LinkName(cardFolder, name);
    if (::link(source.c_str(), link.c_str()) == 0) {
        if (std::rename(link.c_str(), target.c_str()) != 0) {
            const int error = errno;
            unlink(link.c_str());
            return Status::Fail(ErrorCode::CannotWrite, kMsgCannotPlace, ErrnoText(error))
                .WithPath(target);
        }
        SyncFolder(cardFolder);
        return Status::Ok();
    }
    TempFile temp;
    if (Status s = CopyToTemp(source, cardFolder, name, temp); !s) return s;
    if (Status s = temp.CommitTo(target); !s) {
        return Status::Fail(ErrorCode::CannotWrite, kMsgCannotPlace, s.reason()).WithPath(target);
    }
    SyncFolder(cardFolder);
    return Status::Ok();
}

namespace {

constexpr char kParkPrefix[] = ".trx5swap-";

// Exchanges two files in one step where the file system can; false (errno
// set) where it cannot, and nothing has changed.
bool ExchangeFiles(const std::string& a, const std::string& b) {
#ifdef RENAME_EXCHANGE
    return renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0;
#else
    errno = EINVAL;
    return false;
#endif
}

// A rename or exchange done, so that it can be taken back.
struct Made {
    std::string from;
    std::string to;
    bool exchange = false;
};

void TakeBack(const std::vector<Made>& made) {
    for (auto it = made.rbegin(); it != made.rend(); ++it) {
        if (it->exchange) {
            (void)ExchangeFiles(it->from, it->to);
        } else {
            (void)std::rename(it->to.c_str(), it->from.c_str());
        }
    }
}

}  // namespace

Status RenameTakes(const std::string& cardFolder, const std::vector<TakeRename>& renames,
                   std::vector<TakeRename>* done) {
    struct Pending {
        std::string from;  // paths
        std::string to;
        std::string fromName;  // the card names, for a parked take's name
        std::string toName;
    };
    std::vector<Pending> pending;
    std::vector<TakeRename> carried;
    for (const TakeRename& r : renames) {
        const std::string from = FindFileNoCase(cardFolder, r.from);
        if (from.empty() || !IsRegularFile(from)) continue;
        pending.push_back({from, CardPath(cardFolder, r.to), r.from, r.to});
        carried.push_back(r);
    }
    auto failed = [&](const std::string& path, int error, const std::vector<Made>& made) {
        TakeBack(made);
        return Status::Fail(ErrorCode::CannotWrite, kMsgCannotPlace, ErrnoText(error))
            .WithPath(path);
    };
    std::vector<Made> made;
    while (!pending.empty()) {
        // A rename whose target no other one still has to move away.
        const auto free = std::find_if(pending.begin(), pending.end(), [&](const Pending& p) {
            return std::none_of(pending.begin(), pending.end(),
                                [&](const Pending& q) { return q.from == p.to; });
        });
        if (free != pending.end()) {
            if (std::rename(free->from.c_str(), free->to.c_str()) != 0) {
                return failed(free->from, errno, made);
            }
            made.push_back({free->from, free->to});
            pending.erase(free);
            continue;
        }
        // Every target is another's source: a swap. Two takes exchange in
        // one step where the file system allows it.
        Pending& next = pending.front();
        const auto partner =
            std::find_if(pending.begin() + 1, pending.end(),
                         [&](const Pending& q) { return q.from == next.to && q.to == next.from; });
        if (partner != pending.end() && ExchangeFiles(next.from, next.to)) {
            made.push_back({next.from, next.to, true});
            pending.erase(partner);
            pending.erase(pending.begin());
            continue;
        }
        // Else one take parks under a name that says where it came from and
        // where it goes, so that the next run can finish or take back a
        // swap that was killed half-way. Not named like the temporary files,
        // which other runs clear away.
        const std::string park = cardFolder + kParkPrefix + std::to_string(getpid()) + "-" +
                                 next.fromName + "-" + next.toName;
        if (std::rename(next.from.c_str(), park.c_str()) != 0) {
            return failed(next.from, errno, made);
        }
        made.push_back({next.from, park});
        next.from = park;
    }
    if (!made.empty()) SyncFolder(cardFolder);
    if (done != nullptr) *done = std::move(carried);
    return Status::Ok();
}

void RecoverParkedTakes(const std::string& cardFolder) {
    DIR* dir = opendir(cardFolder.c_str());
    if (dir == nullptr) return;
    std::vector<std::string> parked;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.rfind(kParkPrefix, 0) == 0) parked.push_back(name);
    }
    closedir(dir);
    for (const std::string& name : parked) {
        // ".trx5swap-PID-FROM-TO": FROM and TO are card names ("00-00.aud").
        const std::size_t pid = name.find('-', sizeof kParkPrefix - 1);
        const std::size_t split = name.find(".aud-", pid);
        if (pid == std::string::npos || split == std::string::npos) continue;
        const std::string from = name.substr(pid + 1, split + 4 - pid - 1);
        const std::string to = name.substr(split + 5);
        if (from.find('/') != std::string::npos || to.find('/') != std::string::npos ||
            to.empty()) {
            continue;
        }
        // The take's own slot still empty: the swap had not begun, it goes
        // back. Taken by the other take: the swap ends, it goes on.
        const bool begun = !FindFileNoCase(cardFolder, from).empty();
        const std::string target = CardPath(cardFolder, begun ? to : from);
        struct stat st {};
        if (lstat(target.c_str(), &st) == 0) continue;  // never over a file
        (void)std::rename((cardFolder + name).c_str(), target.c_str());
    }
    SyncFolder(cardFolder);
}

std::string VolumeUuid(std::uint64_t device, const std::string& links) {
    DIR* dir = opendir(links.c_str());
    if (dir == nullptr) return {};
    std::string uuid;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        struct stat st {};
        if (stat((WithTrailingSlash(links) + entry->d_name).c_str(), &st) == 0 &&
            st.st_rdev == device) {
            uuid = entry->d_name;
            break;
        }
    }
    closedir(dir);
    return uuid;
}

Result<std::string> TakeHistory::FolderFor(const std::string& cardFolder) {
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        base = std::string(home) + "/.local/share";
    } else {
        return Status::Fail(ErrorCode::CannotCreate, kMsgHistoryFailed, ErrnoText(ENOENT));
    }
    char resolved[PATH_MAX];
    if (realpath(cardFolder.c_str(), resolved) == nullptr) {
        return Status::Fail(ErrorCode::CannotOpen, kMsgCannotOpen, ErrnoText(errno))
            .WithPath(cardFolder);
    }
    const std::string folder = WithTrailingSlash(resolved);
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    hash = Fnv1a(hash, folder.data(), folder.size() + 1);
    // Only the signature field: the recorder rewrites what follows it (the
    // current song), which must not make the card another.
    char field[kSignatureField] = {};
    const std::string machine = FindFileNoCase(folder, kMachineFileName);
    if (FilePtr in = machine.empty() ? nullptr : OpenRegularFile(machine)) {
        (void)std::fread(field, 1, sizeof field, in.get());
    }
    hash = Fnv1a(hash, field, sizeof field);
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0) {
        const std::string uuid = VolumeUuid(st.st_dev);
        hash = Fnv1a(hash, uuid.data(), uuid.size());
    }
    char id[17];
    std::snprintf(id, sizeof id, "%016llx", static_cast<unsigned long long>(hash));
    return WithTrailingSlash(base) + "trx5-card-manager/history/" + id + "/";
}

Result<TakeHistory> TakeHistory::Open(const std::string& cardFolder) {
    auto folder = FolderFor(cardFolder);
    if (!folder) return folder.status();
    return OpenFolder(cardFolder, *folder);
}

Result<TakeHistory> TakeHistory::OpenFolder(const std::string& cardFolder,
                                            const std::string& historyFolder) {
    TakeHistory history;
    history.card_ = WithTrailingSlash(cardFolder);
    history.folder_ = WithTrailingSlash(historyFolder);
    if (Status s = MakeFolders(history.folder_ + "files/"); !s) return s;
    // One run at a time works on a card's history.
    const std::string lockPath = history.folder_ + "lock";
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return Status::Fail(ErrorCode::CannotOpen, kMsgHistoryUnreadable, ErrnoText(errno))
            .WithPath(lockPath);
    }
    history.lock_ = std::shared_ptr<int>(new int(fd), [](int* f) {
        ::close(*f);
        delete f;
    });
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return Status::Fail(ErrorCode::Failed, kMsgHistoryBusy).WithPath(history.folder_);
    }
    if (Status s = history.Load(); !s) return s;
    // What a killed run left on the card: temporary files, and a take
    // parked half-way through a swap.
    RemoveStaleTempFiles(history.card_);
    RecoverParkedTakes(history.card_);
    history.FindUnlisted();
    return history;
}

const KeptFile* TakeHistory::Find(const std::string& id) const {
    for (const KeptFile& k : kept_) {
        if (k.id == id) return &k;
    }
    return nullptr;
}

std::string TakeHistory::KeptPath(const std::string& id) const { return folder_ + "files/" + id; }

std::uint64_t TakeHistory::KeptBytes() const {
    std::uint64_t total = 0;
    for (const KeptFile& k : kept_) total += k.size;
    return total;
}

bool TakeHistory::CanUndo() const { return !steps_.empty() && !steps_.front().undone; }

bool TakeHistory::CanRedo() const { return !steps_.empty() && steps_.back().undone; }

std::string TakeHistory::NewId() {
    // A file that a run stopped before its journal was written may hold the
    // next number already; it is never written over.
    for (;;) {
        std::string id = std::to_string(next_++);
        struct stat st {};
        if (lstat(KeptPath(id).c_str(), &st) != 0) return id;
    }
}

Result<std::string> TakeHistory::Keep(const std::string& name) {
    const std::string source = CardPath(card_, name);
    struct stat st {};
    if (stat(source.c_str(), &st) != 0) {
        return Status::Fail(ErrorCode::CannotOpen, kMsgCannotOpen, ErrnoText(errno))
            .WithPath(source);
    }
    const std::string id = NewId();
    const std::string path = KeptPath(id);
    if (::link(source.c_str(), path.c_str()) != 0) {
        TempFile temp;
        if (Status s = CopyToTemp(source, folder_ + "files/", id, temp); !s) return s;
        if (Status s = temp.CommitTo(path); !s) {
            return Status::Fail(ErrorCode::CannotWrite, kMsgHistoryFailed, s.reason())
                .WithPath(path);
        }
    }
    SyncFolder(folder_ + "files/");
    kept_.push_back({id, name, static_cast<std::int64_t>(std::time(nullptr)),
                     static_cast<std::uint64_t>(st.st_size)});
    return id;
}

void TakeHistory::Discard(const std::vector<std::string>& ids) {
    for (const std::string& id : ids) {
        bool needed = false;
        for (const HistoryStep& step : steps_) {
            for (const SlotChange& c : step.changes)
                needed = needed || c.before == id || c.after == id;
        }
        if (!needed) Forget(id);
    }
}

void TakeHistory::Forget(const std::string& id) {
    for (auto it = kept_.begin(); it != kept_.end(); ++it) {
        if (it->id == id) {
            unlink(KeptPath(id).c_str());
            kept_.erase(it);
            return;
        }
    }
}

Status TakeHistory::Record(HistoryStep step) {
    // Steps undone before can no longer be redone; the files they keep stay
    // in the history until the limit drops them.
    while (!steps_.empty() && steps_.back().undone) steps_.pop_back();
    if (step.time == 0) step.time = static_cast<std::int64_t>(std::time(nullptr));
    steps_.push_back(std::move(step));
    if (steps_.size() > kMaxSteps) {
        steps_.erase(steps_.begin(),
                     steps_.begin() + static_cast<std::ptrdiff_t>(steps_.size() - kMaxSteps));
    }
    return Save();
}

Status TakeHistory::Perform(HistoryStep step) {
    if (Status s = Apply(step, true); !s) {
        (void)Save();
        return s;
    }
    return Record(std::move(step));
}

Status TakeHistory::Apply(HistoryStep& step, bool forward) {
    const HistoryStep saved = step;
    const std::vector<TakeRename> renames = forward ? step.renames : TurnedRound(step.renames);
    auto source = [&renames](const std::string& name) { return Renamed(renames, name, true); };
    auto target = [&renames](const std::string& name) { return Renamed(renames, name, false); };
    // A target that holds a file no rename moves away (a take the card got
    // since, or the one a move replaces) is kept like a replaced slot.
    for (const TakeRename& r : renames) {
        const bool listed =
            std::any_of(step.changes.begin(), step.changes.end(),
                        [&r](const SlotChange& c) { return SameName(c.name, r.to); });
        if (!listed && !source(r.to) && IsRegularFile(CardPath(card_, r.to))) {
            step.changes.push_back({r.to, {}, {}});
        }
    }
    auto current = [&step, forward](std::size_t i) -> std::string& {
        return forward ? step.changes[i].before : step.changes[i].after;
    };
    auto wanted = [&step, forward](std::size_t i) -> std::string& {
        return forward ? step.changes[i].after : step.changes[i].before;
    };
    // What puts the card back as it was, run newest first after a failure.
    std::vector<std::function<bool()>> undo;
    std::vector<std::string> keptNow;
    bool unlinked = false;  // renames and placed files are on the device already
    const Status failure = [&]() -> Status {
        // The files in the way go into the history; the card keeps them.
        for (std::size_t i = 0; i < step.changes.size(); ++i) {
            const std::string& name = step.changes[i].name;
            current(i).clear();
            if (source(name) || !IsRegularFile(CardPath(card_, name))) continue;
            auto id = Keep(name);
            if (!id) return id.status();
            current(i) = *id;
            keptNow.push_back(*id);
        }
        // The takes moved, over the files just kept.
        std::vector<TakeRename> moved;
        if (Status s = RenameTakes(card_, renames, &moved); !s) return s;
        undo.push_back([&, moved] {
            bool back = RenameTakes(card_, TurnedRound(moved)).ok();
            for (std::size_t i = 0; back && i < step.changes.size(); ++i) {
                const std::string& name = step.changes[i].name;
                if (!current(i).empty() && target(name)) {
                    back = PlaceFile(KeptPath(current(i)), card_, name).ok();
                }
            }
            return back;
        });
        // The kept files put in their slots; the other slots emptied.
        for (std::size_t i = 0; i < step.changes.size(); ++i) {
            const std::string& name = step.changes[i].name;
            const std::string path = CardPath(card_, name);
            if (!wanted(i).empty()) {
                if (Status s = PlaceFile(KeptPath(wanted(i)), card_, name); !s) return s;
            } else if (!current(i).empty() && !target(name)) {
                if (unlink(path.c_str()) != 0) {
                    return Status::Fail(ErrorCode::CannotWrite, kMsgCannotPlace, ErrnoText(errno))
                        .WithPath(path);
                }
                unlinked = true;
            } else {
                continue;
            }
            undo.push_back([&, i] {
                const std::string& name = step.changes[i].name;
                if (!current(i).empty()) return PlaceFile(KeptPath(current(i)), card_, name).ok();
                const std::string path = CardPath(card_, name);
                return unlink(path.c_str()) == 0 || errno == ENOENT;
            });
        }
        return Status::Ok();
    }();
    if (!failure) {
        // Every slot gets back the file it had; the files kept meanwhile stay
        // in the history when that fails too.
        bool restored = true;
        for (auto it = undo.rbegin(); restored && it != undo.rend(); ++it) restored = (*it)();
        if (restored) {
            for (const std::string& id : keptNow) Forget(id);
        }
        step = saved;
        return failure;
    }
    if (unlinked) SyncFolder(card_);
    for (std::size_t i = 0; i < step.changes.size(); ++i) {
        if (!wanted(i).empty()) Forget(wanted(i));
        wanted(i).clear();
    }
    step.undone = !forward;
    return Status::Ok();
}

Status TakeHistory::Undo(int count) {
    for (int i = 0; i < count; ++i) {
        HistoryStep* newest = nullptr;
        for (HistoryStep& step : steps_) {
            if (!step.undone) newest = &step;
        }
        if (newest == nullptr) {
            if (i > 0) return Status::Ok();
            return Status::Fail(ErrorCode::Failed, kMsgNothingToUndo);
        }
        const Status s = Apply(*newest, false);
        const Status saved = Save();
        if (!s) return s;
        if (!saved) return saved;
    }
    return Status::Ok();
}

Status TakeHistory::Redo() {
    for (HistoryStep& step : steps_) {
        if (step.undone) {
            const Status s = Apply(step, true);
            const Status saved = Save();
            return s ? saved : s;
        }
    }
    return Status::Fail(ErrorCode::Failed, kMsgNothingToRedo);
}

std::vector<std::string> TakeHistory::Trim(std::uint64_t limit) {
    std::vector<std::string> notes;
    bool changed = false;
    while (!kept_.empty() && KeptBytes() > limit) {
        const KeptFile oldest = kept_.front();
        // The steps that need the file go first: an applied one with every
        // applied step older than it, an undone one with every undone step
        // after it.
        for (std::size_t i = 0; i < steps_.size(); ++i) {
            bool uses = false;
            for (const SlotChange& c : steps_[i].changes) {
                uses = uses || c.before == oldest.id || c.after == oldest.id;
            }
            if (!uses) continue;
            if (steps_[i].undone) {
                steps_.erase(steps_.begin() + static_cast<std::ptrdiff_t>(i), steps_.end());
            } else {
                steps_.erase(steps_.begin(), steps_.begin() + static_cast<std::ptrdiff_t>(i) + 1);
            }
            break;
        }
        notes.push_back(DroppedText(DescribeCardFile(oldest.name), KeptTimeText(oldest.time),
                                    FormatByteSize(limit)));
        Forget(oldest.id);
        changed = true;
    }
    if (changed && !Save()) {
        notes.push_back(kMsgHistoryFailed);
    }
    return notes;
}

Status TakeHistory::Save() const {
    std::ostringstream out;
    out << kJournalHead << '\n' << "next\t" << next_ << '\n';
    for (const KeptFile& k : kept_) {
        out << "kept\t" << k.id << '\t' << k.time << '\t' << k.size << '\t' << k.name << '\n';
    }
    auto field = [](const std::string& id) { return id.empty() ? std::string("-") : id; };
    for (const HistoryStep& step : steps_) {
        out << "step\t" << step.kind << '\t' << step.time << '\t' << (step.undone ? 'U' : 'A')
            << '\n';
        for (const SlotChange& c : step.changes) {
            out << "change\t" << c.name << '\t' << field(c.before) << '\t' << field(c.after)
                << '\n';
        }
        for (const TakeRename& r : step.renames) {
            out << "rename\t" << r.from << '\t' << r.to << '\n';
        }
    }
    const std::string text = out.str();
    TempFile temp;
    if (Status s = temp.Create(folder_, kJournalName, 0600); !s) {
        return Status::Fail(ErrorCode::CannotWrite, kMsgHistoryFailed, s.reason())
            .WithPath(folder_ + kJournalName);
    }
    Status s = temp.Write(text.data(), text.size());
    if (s) s = temp.Flush();
    if (s) s = temp.CommitTo(folder_ + kJournalName);
    if (!s) {
        return Status::Fail(ErrorCode::CannotWrite, kMsgHistoryFailed, s.reason())
            .WithPath(folder_ + kJournalName);
    }
    SyncFolder(folder_);
    return Status::Ok();
}

void TakeHistory::FindUnlisted() {
    const std::string files = folder_ + "files/";
    RemoveStaleTempFiles(files);
    // Entries whose files are gone can bring nothing back.
    std::erase_if(kept_, [this](const KeptFile& k) {
        struct stat st {};
        return lstat(KeptPath(k.id).c_str(), &st) != 0;
    });
    // Files kept by a run that stopped before writing its journal: listed
    // (under no card name) so that they can be restored or dropped.
    DIR* dir = opendir(files.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos ||
            Find(name) != nullptr) {
            continue;
        }
        struct stat st {};
        if (lstat((files + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        kept_.push_back({name,
                         {},
                         static_cast<std::int64_t>(st.st_mtime),
                         static_cast<std::uint64_t>(st.st_size)});
    }
    closedir(dir);
}

Status TakeHistory::Load() {
    const std::string path = folder_ + kJournalName;
    std::string reason;
    FilePtr in = OpenRegularFile(path, &reason, FinalLink::Refuse);
    if (!in) {
        if (errno == ENOENT) return Status::Ok();
        return Status::Fail(ErrorCode::CannotOpen, kMsgHistoryUnreadable, reason).WithPath(path);
    }
    std::string text;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, in.get())) > 0) text.append(buffer, got);
    auto bad = [&path] {
        return Status::Fail(ErrorCode::CannotOpen, kMsgHistoryUnreadable).WithPath(path);
    };
    std::istringstream lines(text);
    std::string line;
    if (!std::getline(lines, line) || (line != kJournalHead && line != kJournalHeadV1))
        return bad();
    const bool withRenames = line == kJournalHead;
    while (std::getline(lines, line)) {
        // Every field, an empty last one too (a kept file of an interrupted
        // run has no card name).
        std::vector<std::string> f;
        for (std::size_t at = 0;;) {
            const std::size_t tab = line.find('\t', at);
            f.push_back(line.substr(at, tab - at));
            if (tab == std::string::npos) break;
            at = tab + 1;
        }
        auto number = [](const std::string& t, auto& value) {
            char* end = nullptr;
            errno = 0;
            const unsigned long long v = std::strtoull(t.c_str(), &end, 10);
            if (t.empty() || *end != '\0' || errno != 0) return false;
            value = static_cast<std::remove_reference_t<decltype(value)>>(v);
            return true;
        };
        auto id = [](const std::string& t) { return t == "-" ? std::string() : t; };
        auto isId = [&number](const std::string& t) {
            std::uint64_t v = 0;
            return t == "-" || number(t, v);
        };
        if (f.size() == 2 && f[0] == "next") {
            if (!number(f[1], next_)) return bad();
        } else if (f.size() == 5 && f[0] == "kept") {
            KeptFile k;
            k.id = f[1];
            k.name = f[4];
            if (!number(f[2], k.time) || !number(f[3], k.size)) return bad();
            // An id is a number: never a path out of the history folder.
            std::uint64_t check = 0;
            if (!number(k.id, check)) return bad();
            kept_.push_back(k);
        } else if (f.size() == 4 && f[0] == "step") {
            HistoryStep step;
            step.kind = f[1];
            if (!number(f[2], step.time)) return bad();
            step.undone = f[3] == "U";
            steps_.push_back(step);
        } else if (f.size() == 4 && f[0] == "change" && !steps_.empty()) {
            // Names are the card's own file names, never paths.
            if (!IsCardName(f[1]) || !isId(f[2]) || !isId(f[3])) return bad();
            steps_.back().changes.push_back({f[1], id(f[2]), id(f[3])});
        } else if (withRenames && f.size() == 3 && f[0] == "rename" && !steps_.empty()) {
            if (!IsCardName(f[1]) || !IsCardName(f[2])) return bad();
            steps_.back().renames.push_back({f[1], f[2]});
        } else if (!line.empty()) {
            return bad();
        }
    }
    // A kept file is never put where a rename puts a take, which it would
    // replace and lose: the slot a rename fills has no after-file, the one
    // it empties no before-file.
    for (const HistoryStep& step : steps_) {
        for (const SlotChange& c : step.changes) {
            if ((!c.after.empty() && Renamed(step.renames, c.name, false)) ||
                (!c.before.empty() && Renamed(step.renames, c.name, true))) {
                return bad();
            }
        }
    }
    return Status::Ok();
}

}  // namespace trx5
