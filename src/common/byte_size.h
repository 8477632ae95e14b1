// Sizes of files and free space as the user reads them.
#pragma once

#include <cstdint>
#include <string>

namespace trx5 {

// A byte count in decimal units, rounded to the nearest: "512 bytes",
// "4.0 GB", "120 MB". One decimal below 10 of a unit, none from 10 on; a
// value that would round to 1000 of a unit is given in the next one.
std::string FormatByteSize(std::uint64_t bytes);

}  // namespace trx5
