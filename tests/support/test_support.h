// Small helpers shared by the tests: temporary folders and whole-file I/O.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace trx5test {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes out of scope. path() ends with "/".
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

  private:
    std::string path_;
};

void WriteFile(const std::string& path, const Bytes& bytes);
void WriteFile(const std::string& path, const std::string& text);
Bytes ReadFile(const std::string& path);
bool FileExists(const std::string& path);

void PutLE16(Bytes& b, std::uint32_t v);
void PutLE32(Bytes& b, std::uint32_t v);
void PutBE16(Bytes& b, std::uint32_t v);
void PutBE32(Bytes& b, std::uint32_t v);
void PutText(Bytes& b, const std::string& text);

// A card folder: a valid machine file and, per call, song files and takes.
void MakeMachineFile(const std::string& folder);
void MakeSongFile(const std::string& folder, int fileNumber, bool longMode);
// A take of `blocks` blocks whose samples are made by the take encoder from
// a pattern that depends on `seed`.
void MakeTake(const std::string& folder, int fileNumber, int track, int vtake, bool longMode,
              int blocks, int seed);

}  // namespace trx5test
