#include "backup/card_copy.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using trx5::CopyRequest;
using trx5test::Bytes;
using trx5test::ReadFile;
using trx5test::TempDir;
using trx5test::WriteFile;

constexpr std::uint64_t kMiB = 1 << 20;

Bytes Noise(std::size_t size, std::uint32_t seed) {
    Bytes b(size);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& v : b) {
        x = x * 1664525u + 1013904223u;
        v = static_cast<std::uint8_t>(x >> 24);
    }
    return b;
}

std::set<std::string> Listing(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        names.insert(e.path().filename().string());
    }
    return names;
}

// Every entry with its bytes (empty for anything but a regular file).
std::map<std::string, Bytes> Contents(const std::string& folder) {
    std::map<std::string, Bytes> files;
    for (const std::string& name : Listing(folder)) {
        struct stat st {};
        const bool regular = lstat((folder + name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
        files[name] = regular ? ReadFile(folder + name) : Bytes{};
    }
    return files;
}

unsigned Mode(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

CopyRequest Request(const std::string& source, const std::string& destination,
                    std::vector<std::string> patterns = {"*.tx5", "*.aud"}) {
    return CopyRequest{source, std::move(patterns), destination};
}

CopyRequest MustExist(CopyRequest request) {
    request.createDestination = false;
    return request;
}

struct StepCall {
    std::uint64_t done, total;
    std::string name;
};

class Recording final : public trx5::CopyProgress {
  public:
    bool Step(std::uint64_t done, std::uint64_t total, const std::string& name) override {
        calls.push_back({done, total, name});
        return true;
    }
    std::vector<StepCall> calls;
};

TEST(CardCopy, CopiesMatchingRegularFilesInNameOrder) {
    TempDir src, dst;
    trx5test::MakeMachineFile(src.path());
    trx5test::MakeSongFile(src.path(), 0, false);
    trx5test::MakeTake(src.path(), 0, 0, 1, false, 3, 1);
    WriteFile(src / "00-02.AUD", Noise(3000, 2));
    WriteFile(src / "00-04.aud", Bytes{});
    WriteFile(src / "notes.txt", "not a card file");
    // Left out: a folder, a FIFO, a link to a folder, a link to nothing.
    ASSERT_EQ(mkdir((src / "sub.aud").c_str(), 0755), 0);
    WriteFile(src / "sub.aud/00-03.aud", Noise(100, 3));
    ASSERT_EQ(mkfifo((src / "fifo.aud").c_str(), 0644), 0);
    ASSERT_EQ(symlink("sub.aud", (src / "dirlink.aud").c_str()), 0);
    ASSERT_EQ(symlink("missing", (src / "gone.aud").c_str()), 0);
    // A link to a regular file is copied as a file.
    ASSERT_EQ(symlink("00-02.AUD", (src / "alias.aud").c_str()), 0);
    const std::vector<std::string> copied = {"00-01.aud",  "00-02.AUD",    "00-04.aud",
                                             "SongNo.tx5", "UtyPrm00.tx5", "alias.aud"};
    const timespec past[2] = {{1000000000, 0}, {1000000000, 500}};
    std::uint64_t total = 0;
    for (const std::string& name : copied) {
        ASSERT_EQ(utimensat(AT_FDCWD, (src / name).c_str(), past, 0), 0);
        total += ReadFile(src / name).size();
    }

    // The destination is made with its parents; "00-0?.*" matches files the
    // other patterns match too.
    const std::string backup = dst / "backups/2024/card";
    Recording progress;
    alarm(20);  // a hang on the FIFO fails the test instead of blocking the run
    const auto result =
        trx5::CopyFiles(Request(src.path(), backup, {"*.tx5", "*.aud", "00-0?.*"}), progress);
    alarm(0);
    ASSERT_TRUE(result.ok()) << result.Describe();
    EXPECT_FALSE(result->cancelled);
    EXPECT_EQ(result->filesCopied, copied.size());
    EXPECT_EQ(result->filesSkipped, 0u);
    EXPECT_EQ(result->bytesCopied, total);
    EXPECT_EQ(Listing(backup), std::set<std::string>(copied.begin(), copied.end()));
    for (const std::string& name : copied) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ReadFile(backup + "/" + name), ReadFile(src / name));
        struct stat st {};
        ASSERT_EQ(lstat((backup + "/" + name).c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mtim.tv_sec, past[1].tv_sec);
        EXPECT_EQ(st.st_mtim.tv_nsec, past[1].tv_nsec);
    }

    // One call per file here (all are below a chunk), in name order, each
    // with the bytes of the files before it.
    ASSERT_EQ(progress.calls.size(), copied.size());
    std::uint64_t before = 0;
    for (std::size_t i = 0; i < copied.size(); ++i) {
        EXPECT_EQ(progress.calls[i].name, copied[i]);
        EXPECT_EQ(progress.calls[i].done, before);
        EXPECT_EQ(progress.calls[i].total, total);
        before += ReadFile(src / copied[i]).size();
    }
}

TEST(CardCopy, ReplacesFilesAndLeavesOthersAlone) {
    TempDir src, dst;
    const std::map<std::string, unsigned> sources = {
        {"00-00.aud", 0640}, {"00-01.aud", 0604}, {"00-02.AUD", 0644}, {"SongNo.tx5", 0600}};
    std::uint32_t seed = 10;
    for (const auto& [name, mode] : sources) {
        WriteFile(src / name, Noise(5000, seed++));
        ASSERT_EQ(chmod((src / name).c_str(), mode), 0);
    }
    WriteFile(dst / "00-00.aud", Noise(9000, 1));
    ASSERT_EQ(chmod((dst / "00-00.aud").c_str(), 0600), 0);
    WriteFile(dst / "00-02.aud", Noise(7000, 2));  // the same take in lower case
    ASSERT_EQ(chmod((dst / "00-02.aud").c_str(), 0660), 0);
    WriteFile(dst / "00-09.aud", Noise(100, 3));
    WriteFile(dst / "notes.txt", "mine");
    WriteFile(dst / ".trx5tmp-00-00.aud-Ab12Cd", Noise(100, 4));  // left by a killed run

    trx5::NoCopyProgress progress;
    const auto result = trx5::CopyFiles(Request(src.path(), dst.path()), progress);
    ASSERT_TRUE(result.ok()) << result.Describe();
    EXPECT_EQ(result->filesCopied, 4u);
    EXPECT_EQ(Listing(dst.path()), (std::set<std::string>{"00-00.aud", "00-01.aud", "00-02.aud",
                                                          "00-09.aud", "SongNo.tx5", "notes.txt"}));
    EXPECT_EQ(ReadFile(dst / "00-00.aud"), ReadFile(src / "00-00.aud"));
    EXPECT_EQ(ReadFile(dst / "00-01.aud"), ReadFile(src / "00-01.aud"));
    EXPECT_EQ(ReadFile(dst / "00-02.aud"), ReadFile(src / "00-02.AUD"));
    EXPECT_EQ(ReadFile(dst / "00-09.aud"), Noise(100, 3));
    EXPECT_EQ(Mode(dst / "00-00.aud"), 0600u);  // replaced: keeps its own
    EXPECT_EQ(Mode(dst / "00-02.aud"), 0660u);
    EXPECT_EQ(Mode(dst / "00-01.aud"), 0604u);  // new: the source's
    EXPECT_EQ(Mode(dst / "SongNo.tx5"), 0600u);
}

// Two source files whose names differ only in case are two files: neither
// copy replaces the other, nor the destination's third spelling.
TEST(CardCopy, NamesDifferingInCaseStayApart) {
    TempDir src, dst;
    WriteFile(src / "00-03.AUD", Noise(100, 1));
    WriteFile(src / "00-03.aud", Noise(100, 2));
    WriteFile(dst / "00-03.Aud", Noise(100, 3));
    trx5::NoCopyProgress progress;
    const auto result = trx5::CopyFiles(Request(src.path(), dst.path()), progress);
    ASSERT_TRUE(result.ok()) << result.Describe();
    EXPECT_EQ(Contents(dst.path()), (std::map<std::string, Bytes>{{"00-03.AUD", Noise(100, 1)},
                                                                  {"00-03.aud", Noise(100, 2)},
                                                                  {"00-03.Aud", Noise(100, 3)}}));
}

// A cancel in the middle of a large file: the files before it are complete,
// the file it would replace is as it was, and at no time is a file under a
// real name anything but its old or its new bytes.
TEST(CardCopy, CancelInALargeFile) {
    TempDir src, dst;
    const std::map<std::string, Bytes> sources = {{"00-00.aud", Noise(300000, 1)},
                                                  {"00-01.aud", Noise(8 * kMiB, 2)},
                                                  {"00-02.aud", Noise(100000, 3)}};
    for (const auto& [name, bytes] : sources) WriteFile(src / name, bytes);
    const std::map<std::string, Bytes> old = {{"00-01.aud", Noise(50000, 4)},
                                              {"00-02.aud", Noise(60000, 5)}};
    for (const auto& [name, bytes] : old) WriteFile(dst / name, bytes);

    class Watch final : public trx5::CopyProgress {
      public:
        Watch(const TempDir& dst, const std::map<std::string, Bytes>& sources,
              const std::map<std::string, Bytes>& old)
            : dst_(dst), sources_(sources), old_(old) {}
        bool Step(std::uint64_t done, std::uint64_t, const std::string& name) override {
            if (cancelled) ++callsAfterCancel;
            if (done > last + kMiB) ++biggerThanAChunk;
            last = done;
            for (const auto& [file, bytes] : Contents(dst_.path())) {
                if (file.rfind(".trx5tmp-", 0) == 0) continue;
                const auto o = old_.find(file);
                if (bytes != sources_.at(file) && (o == old_.end() || bytes != o->second)) {
                    ++halfWritten;
                }
            }
            cancelled = cancelAt != 0 && name == "00-01.aud" && done >= cancelAt;
            return !cancelled;
        }
        std::uint64_t cancelAt = 0;
        std::uint64_t last = 0;
        bool cancelled = false;
        int callsAfterCancel = 0;
        int biggerThanAChunk = 0;
        int halfWritten = 0;

      private:
        const TempDir& dst_;
        const std::map<std::string, Bytes>& sources_;
        const std::map<std::string, Bytes>& old_;
    };

    Watch watch(dst, sources, old);
    watch.cancelAt = 300000 + 4 * kMiB;
    const auto cancelled = trx5::CopyFiles(Request(src.path(), dst.path()), watch);
    ASSERT_TRUE(cancelled.ok()) << cancelled.Describe();
    EXPECT_TRUE(cancelled->cancelled);
    EXPECT_TRUE(watch.cancelled);
    EXPECT_EQ(watch.callsAfterCancel, 0);
    EXPECT_EQ(watch.last, 300000 + 4 * kMiB);
    EXPECT_EQ(cancelled->filesCopied, 1u);
    EXPECT_EQ(cancelled->bytesCopied, 300000u);
    EXPECT_EQ(Contents(dst.path()),
              (std::map<std::string, Bytes>{{"00-00.aud", sources.at("00-00.aud")},
                                            {"00-01.aud", old.at("00-01.aud")},
                                            {"00-02.aud", old.at("00-02.aud")}}));

    // Run again to the end.
    watch.cancelAt = 0;
    watch.last = 0;
    watch.cancelled = false;
    const auto complete = trx5::CopyFiles(Request(src.path(), dst.path()), watch);
    ASSERT_TRUE(complete.ok()) << complete.Describe();
    EXPECT_FALSE(complete->cancelled);
    EXPECT_EQ(complete->filesCopied, 3u);
    EXPECT_EQ(Contents(dst.path()), sources);
    EXPECT_EQ(watch.biggerThanAChunk, 0);
    EXPECT_EQ(watch.halfWritten, 0);
}

// What a failure part way must leave: the file before it complete, the file
// it would replace as it was, nothing after it, no temporary file.
class CopyFailure : public testing::Test {
  protected:
    void SetUp() override {
        WriteFile(src / "00-00.aud", Noise(64000, 1));
        WriteFile(src / "00-01.aud", Noise(2 * kMiB, 2));
        WriteFile(src / "00-02.aud", Noise(64000, 3));
    }
    void Prepare(const std::string& destination) {
        WriteFile(destination + "/00-01.aud", Noise(10000, 4));
    }
    void ExpectAftermath(const std::string& destination) {
        EXPECT_EQ(Contents(destination + "/"),
                  (std::map<std::string, Bytes>{{"00-00.aud", Noise(64000, 1)},
                                                {"00-01.aud", Noise(10000, 4)}}));
    }
    TempDir src, dst;
};

TEST_F(CopyFailure, FileSizeLimit) {
    Prepare(dst.path());
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{kMiB, kMiB};
        setrlimit(RLIMIT_FSIZE, &limit);
        trx5::NoCopyProgress quiet;
        const auto result = trx5::CopyFiles(Request(src.path(), dst.path()), quiet);
        _exit(!result.ok() && result.Describe() == "00-01.aud: File too large" ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the failure was not reported as expected";
    ExpectAftermath(dst.path());
}

// A real disk that fills up: a small tmpfs (needs root to mount).
TEST_F(CopyFailure, FullDisk) {
    const std::string mount = dst / "small";
    ASSERT_EQ(mkdir(mount.c_str(), 0755), 0);
    if (::mount("trx5test", mount.c_str(), "tmpfs", 0, "size=256k") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    struct Unmount {
        std::string path;
        ~Unmount() { umount(path.c_str()); }
    } unmount{mount};
    Prepare(mount);
    trx5::NoCopyProgress progress;
    const auto result = trx5::CopyFiles(Request(src.path(), mount), progress);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.message(), "00-01.aud");
    EXPECT_EQ(result.reason(), "No space left on device");
    ExpectAftermath(mount);
}

// Run in a child process that, when the tests run as root (whom permission
// bits do not stop), gives up its rights first.
TEST_F(CopyFailure, ReadOnlyDestination) {
    const std::string readOnly = dst / "ro";
    ASSERT_EQ(mkdir(readOnly.c_str(), 0555), 0);
    for (const std::string& path : {src.path(), dst.path()})
        ASSERT_EQ(chmod(path.c_str(), 0755), 0);
    for (const std::string& name : Listing(src.path())) {
        ASSERT_EQ(chmod((src / name).c_str(), 0644), 0);
    }
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(77);
        if (access(readOnly.c_str(), W_OK) == 0) _exit(77);
        const std::pair<std::string, std::string> cases[] = {
            {readOnly, "00-00.aud: Permission denied"},
            {readOnly + "/new/folder", readOnly + "/new/folder: Permission denied"},
        };
        int failed = 0;
        for (const auto& [destination, expected] : cases) {
            trx5::NoCopyProgress quiet;
            const auto result = trx5::CopyFiles(Request(src.path(), destination), quiet);
            failed += result.ok() || result.Describe() != expected;
        }
        _exit(failed);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot make a folder read-only here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "failures not reported as expected";
    EXPECT_TRUE(Listing(readOnly).empty());
}

TEST(CardCopy, FailuresNameTheFolderOrTheFile) {
    TempDir work;
    struct Case {
        const char* what;
        std::function<void()> setUp;
        CopyRequest request;
        std::string message;
        const char* reason;
    };
    const std::string card = work / "card";
    const std::string empty = work / "empty";
    const Case cases[] = {
        {"missing source", [] {}, Request(work / "none", work / "out"), work / "none",
         "No such file or directory"},
        {"nothing matches",
         [&] {
             ASSERT_EQ(mkdir(empty.c_str(), 0755), 0);
             ASSERT_EQ(mkdir((empty + "/x.aud").c_str(), 0755), 0);
             ASSERT_EQ(mkfifo((empty + "/f.aud").c_str(), 0644), 0);
             WriteFile(empty + "/notes.txt", "x");
         },
         Request(empty, work / "out"), empty, trx5::kReasonNoFilesToCopy},
        {"destination is a file", [&] { WriteFile(work / "file", "x"); },
         Request(card, work / "file/sub"), work / "file/sub", "Not a directory"},
        {"a folder has a file's name",
         [&] { ASSERT_EQ(mkdir((work / "out2/00-01.aud").c_str(), 0755), 0); },
         Request(card, work / "out2"), "00-01.aud", "Is a directory"},
        // A card taken out is not replaced by a new folder of its name.
        {"destination must be there", [] {}, MustExist(Request(card, work / "gone")),
         work / "gone", "No such file or directory"},
    };
    ASSERT_EQ(mkdir(card.c_str(), 0755), 0);
    WriteFile(card + "/00-00.aud", Noise(100, 1));
    WriteFile(card + "/00-01.aud", Noise(100, 2));
    ASSERT_EQ(mkdir((work / "out2").c_str(), 0755), 0);
    alarm(20);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.setUp();
        trx5::NoCopyProgress progress;
        const auto result = trx5::CopyFiles(c.request, progress);
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.message(), c.message);
        EXPECT_EQ(result.reason(), c.reason);
    }
    alarm(0);
    EXPECT_FALSE(trx5test::FileExists(work / "out"));  // nothing made before the source is known
    EXPECT_FALSE(trx5test::FileExists(work / "gone"));
    EXPECT_EQ(Listing(work / "out2"), (std::set<std::string>{"00-00.aud", "00-01.aud"}));
}

// Copying a folder onto itself, however it is spelt, must leave every file
// as it was; so must a destination whose files are links to the sources.
TEST(CardCopy, OntoItself) {
    TempDir work;
    const std::string card = work / "card/";
    ASSERT_EQ(mkdir(card.c_str(), 0755), 0);
    trx5test::MakeMachineFile(card);
    trx5test::MakeSongFile(card, 0, true);
    trx5test::MakeTake(card, 0, 2, 3, true, 40, 5);
    WriteFile(card + "00-31.AUD", Noise(3 * kMiB + 7, 6));
    ASSERT_EQ(symlink(card.c_str(), (work / "link").c_str()), 0);
    ASSERT_EQ(mkdir((work / "hardlinks").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((work / "symlinks").c_str(), 0755), 0);
    for (const std::string& name : Listing(card)) {
        ASSERT_EQ(link((card + name).c_str(), (work / "hardlinks/" + name).c_str()), 0);
        ASSERT_EQ(symlink((card + name).c_str(), (work / "symlinks/" + name).c_str()), 0);
    }
    const auto before = Contents(card);
    const std::pair<const char*, std::string> cases[] = {
        {"same folder", card},
        {"another spelling", work / "card/../card/./"},
        {"without trailing slash", work / "card"},
        {"through a link to the folder", work / "link"},
        {"files linked to the sources", work / "hardlinks"},
        {"links to the sources", work / "symlinks"},
    };
    for (const auto& [what, destination] : cases) {
        SCOPED_TRACE(what);
        trx5::NoCopyProgress progress;
        const auto result = trx5::CopyFiles(Request(card, destination), progress);
        ASSERT_TRUE(result.ok()) << result.Describe();
        EXPECT_EQ(result->filesCopied, 0u);
        EXPECT_EQ(result->filesSkipped, before.size());
        EXPECT_EQ(Contents(card), before);
    }
    EXPECT_EQ(Listing(work / "hardlinks"), Listing(card));
}

TEST(CardCheck, MachineFile) {
    TempDir valid, missing, invalid;
    trx5test::MakeMachineFile(valid.path());
    WriteFile(invalid / "SONGNO.TX5", "QORV TX-5 SONG    INFORMATION VER0001");
    EXPECT_TRUE(trx5::CheckCardFolder(valid.path()).ok());
    EXPECT_EQ(trx5::CheckCardFolder(missing.path()).message(), "No TRX-5 card information");
    EXPECT_EQ(trx5::CheckCardFolder(invalid.path()).message(), "Invalid TRX-5 card information");
}

}  // namespace
