// The card layer's texts for the user: the failures of the card check,
// which the window shows in message boxes and trx5card prints.
#pragma once

namespace trx5 {

inline constexpr char kMsgNoCardInfo[] = "No TRX-5 card information";
inline constexpr char kMsgInvalidCardInfo[] = "Invalid TRX-5 card information";

}  // namespace trx5
