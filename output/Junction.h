#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Where one part of a Layer III output meets the next. The next part's first
// frames take main data from the bytes before their first header (the bit
// reservoir, main_data_begin); in the output those bytes are the previous
// part's. The previous part's last frames end their own main data before
// their frames end: the bytes after it are no music of theirs, and hold the
// next part's reservoir bytes as well as they held nothing.

enum class JunctionKind {
  None,     // nothing to carry: the next part takes nothing from before it
  Carried,  // the free bytes held the reservoir
  Widened,  // the previous part's last frame was given a higher bit rate for room
  Muted,    // too little room: the frames that would read other bytes decode as silence
};

struct JunctionResult {
  JunctionKind Kind = JunctionKind::None;
  // Bytes before the junction that now hold the next part's reservoir (its
  // last bytes, nearest the junction first to go in).
  std::size_t Available = 0;
  std::uint8_t WidenedBitRate = 0;  // Widened: the bit-rate index of the wider frame
};

// `tail` holds the previous part's last frames, whole and back to back, the
// last ending at the junction. Puts `carried` (the reservoir bytes, oldest
// first) into the main-data bytes after the last main data of those frames;
// only headers' bit-rate and padding bits change, and only when `widen` and
// the bytes do not fit (the last frame then grows: `tail` is longer). Where
// nothing fits, as many of the nearest bytes as fit are carried. Kind None
// when `carried` is empty or the frames are not Layer III.
JunctionResult CarryReservoir(std::vector<std::uint8_t>& tail, const std::vector<std::uint8_t>& carried, bool widen);

// Main-data bytes above which no frame reaches back (MPEG-1's 9 bits).
inline constexpr std::int64_t kLongestReach = 511;

// `frames` holds frames of the next part, whole and back to back, after
// `before` main-data bytes of its frames (0 at its first frame; updated), of
// which `available` reservoir bytes before its first frame are right. The
// frames whose main data begins before those bytes get no granule data, so
// that they decode as silence and read nothing, and a main_data_begin within
// those bytes (their bytes stay, later frames still find theirs). Returns how many were muted; once
// `before` passes kLongestReach no frame needs it.
int MuteUnreachable(std::uint8_t* frames, std::size_t length, std::size_t available, std::int64_t& before);

// The CRC-16 a protected frame carries after its header: over the header's
// last two bytes and the side information.
void RestampFrameCrc(std::uint8_t* frame, std::int32_t sideInfoBytes);
