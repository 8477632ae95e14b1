// The texts of the rescue that a user sees.
#pragma once

namespace trx5 {

inline constexpr char kMsgCannotOpenSource[] = "Cannot open the card image or device";
inline constexpr char kMsgCannotReadSource[] = "Cannot read the card image or device";
inline constexpr char kMsgNotImageOrDevice[] = "neither a file nor a block device";

}  // namespace trx5
