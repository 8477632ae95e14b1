// A small card for the take operations, with the history kept under a
// temporary XDG_DATA_HOME, and a look at every file of it.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <map>
#include <string>

#include "support/test_support.h"

namespace trx5test {

// Every regular file of a folder, by name, with its bytes; temporary files
// of the program included, so that a test sees any left behind.
inline std::map<std::string, Bytes> Snapshot(const std::string& folder) {
    std::map<std::string, Bytes> files;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return files;
    while (dirent* e = readdir(dir)) {
        const std::string path = folder + e->d_name;
        struct stat st {};
        if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) files[e->d_name] = ReadFile(path);
    }
    closedir(dir);
    return files;
}

// Songs 01 and 02 in HiFi, 03 in LONG; takes 1-1, 1-2, 2-1 of song 01 and
// 1-1 of song 02, of different lengths and contents.
class OrganizeCard : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("XDG_DATA_HOME", xdg.path().c_str(), 1);
        MakeMachineFile(card.path());
        MakeSongFile(card.path(), 0, false);
        MakeSongFile(card.path(), 1, false);
        MakeSongFile(card.path(), 2, true);
        MakeTake(card.path(), 0, 0, 0, false, 3, 1);
        MakeTake(card.path(), 0, 0, 1, false, 5, 2);
        MakeTake(card.path(), 0, 1, 0, false, 2, 3);
        MakeTake(card.path(), 1, 0, 0, false, 4, 4);
    }
    void TearDown() override { setenv("XDG_DATA_HOME", home_.c_str(), 1); }
    // The temporary home the test program set, put back after each test.
    const std::string home_ = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";

    TempDir card;
    TempDir xdg;
};

}  // namespace trx5test
