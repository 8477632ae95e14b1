// File name wildcards as the card copy takes them ("*.aud", "UtyPrm??.tx5").
#pragma once

#include <string_view>

namespace trx5 {

// Case-insensitive match of `name` against `pattern`, where '*' stands for
// any run of characters (also none), '?' for exactly one character and every
// other character for itself. Without '*' it agrees with MatchesPattern.
bool MatchesWildcard(std::string_view name, std::string_view pattern);

}  // namespace trx5
