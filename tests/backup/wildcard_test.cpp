#include "backup/wildcard.h"

#include <gtest/gtest.h>

#include <string>

#include "common/folder.h"

namespace {

TEST(Wildcard, Matches) {
    struct Case {
        std::string name;
        const char* pattern;
        bool matches;
    };
    const Case cases[] = {
        {"00-01.aud", "*.aud", true},
        {"00-01.AUD", "*.aud", true},
        {"SongNo.tx5", "*.TX5", true},
        {".aud", "*.aud", true},  // '*' also stands for nothing
        {"aud", "*.aud", false},
        {"00-01.aud.bak", "*.aud", false},
        {"00-01.au", "*.aud", false},
        {"UtyPrm07.tx5", "UtyPrm??.tx5", true},
        {"UtyPrm7.tx5", "UtyPrm??.tx5", false},
        {"00-01.aud", "00-*", true},
        {"abXcdYcd", "ab*cd", true},  // the '*' has to take "XcdY"
        {"abXcdYce", "ab*cd", false},
        {"a.b.c", "*.*", true},
        {"abc", "a**c", true},
        {"", "*", true},
        {"", "?", false},
        {"", "", true},
        {"a", "", false},
        {"a", "*?", true},
        {"", "*?", false},
        {std::string(60, 'a'), "*a*a*a*a*a*a*a*a*b", false},  // no exponential search
    };
    for (const Case& c : cases) {
        EXPECT_EQ(trx5::MatchesWildcard(c.name, c.pattern), c.matches)
            << c.name << " against " << c.pattern;
    }
}

// Without '*', the card code's own matching and this one agree.
TEST(Wildcard, AgreesWithFolderMatchingWithoutStar) {
    const char* names[] = {"UtyPrm07.tx5", "utyprm07.TX5", "UtyPrm7.tx5", "00-01.aud", "", "x"};
    const char* patterns[] = {"UtyPrm??.tx5", "00-0?.AUD", "0?-??.aud", "?", "", "X"};
    for (const char* name : names) {
        for (const char* pattern : patterns) {
            EXPECT_EQ(trx5::MatchesWildcard(name, pattern), trx5::MatchesPattern(name, pattern))
                << name << " against " << pattern;
        }
    }
}

}  // namespace
