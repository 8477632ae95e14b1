// The backup layer's texts for the user: the failures of a card copy.
#pragma once

namespace trx5 {

inline constexpr char kMsgCannotCopy[] = "The files could not be copied.";
inline constexpr char kReasonNoFilesToCopy[] = "No files to copy";

}  // namespace trx5
