// Helpers shared by the fuzz harnesses: a failing check that stops the
// process (so libFuzzer and the replay both see it), a temporary folder made
// once per process, and whole-file writes.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

// A broken invariant: print where and abort, which libFuzzer reports as a
// crash and saves the input.
#define FUZZ_CHECK(cond)                                                                  \
    do {                                                                                  \
        if (!(cond)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                 \
        }                                                                                 \
    } while (0)

namespace trx5fuzz {

namespace detail {

inline std::string MakeProcessFolder() {
    // TMPDIR when set (the fuzz script points it at a folder it removes),
    // else memory-backed /dev/shm, else /tmp.
    std::string base;
    if (const char* t = std::getenv("TMPDIR"); t != nullptr && *t != '\0') {
        base = t;
    } else if (access("/dev/shm", W_OK) == 0) {
        base = "/dev/shm";
    } else {
        base = "/tmp";
    }
    std::string tmpl = base + "/trx5fuzz-XXXXXX";
    if (mkdtemp(tmpl.data()) == nullptr) {
        std::perror("trx5fuzz: cannot create a temporary folder");
        std::abort();
    }
    return tmpl + "/";
}

// Made on first use; removed with its contents when the process exits.
struct ProcessFolder {
    std::string path = MakeProcessFolder();
    ~ProcessFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

inline ProcessFolder& Folder() {
    static ProcessFolder folder;
    return folder;
}

}  // namespace detail

// This process's temporary folder, ending with "/".
inline const std::string& TempFolder() { return detail::Folder().path; }

// A fresh, empty folder `name` inside TempFolder(), ending with "/".
inline std::string FreshFolder(const std::string& name) {
    const std::string path = TempFolder() + name;
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    std::filesystem::create_directories(path, ec);
    FUZZ_CHECK(!ec);
    return path + "/";
}

// The input bytes as a read-only stdio stream, without a copy.
class MemoryFile {
  public:
    MemoryFile(const std::uint8_t* data, std::size_t size) {
        static std::uint8_t none = 0;  // fmemopen needs a buffer even for no bytes
        void* buffer = size == 0 ? &none : const_cast<std::uint8_t*>(data);
        file_ = fmemopen(buffer, size, "rb");
        FUZZ_CHECK(file_ != nullptr);
    }
    ~MemoryFile() { std::fclose(file_); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    std::FILE* get() const { return file_; }

  private:
    std::FILE* file_ = nullptr;
};

inline void WriteBytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, f) == size);
    FUZZ_CHECK(std::fclose(f) == 0);
}

}  // namespace trx5fuzz
