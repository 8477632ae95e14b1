#include "backup/wildcard.h"

#include <cctype>
#include <cstddef>

namespace trx5 {

namespace {

bool SameLetter(char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
}

}  // namespace

bool MatchesWildcard(std::string_view name, std::string_view pattern) {
    // Greedy walk that, on a mismatch, lets the last '*' swallow one more
    // character. Only the last '*' needs to be retried, so the time stays
    // linear in name × pattern at worst, never exponential.
    std::size_t n = 0;
    std::size_t p = 0;
    std::size_t starPattern = std::string_view::npos;
    std::size_t starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starPattern = p++;
            starName = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || SameLetter(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (starPattern != std::string_view::npos) {
            p = starPattern + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace trx5
