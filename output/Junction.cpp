#include "output/Junction.h"

#include <algorithm>
#include <cstring>

#include "gapless/SideInfo.h"
#include "output/InfoCounter.h"

namespace {

struct TailFrame {
  std::size_t At = 0;
  std::int32_t Length = 0;
  Layer3SideInfo Side;
  std::int64_t Data = 0;  // main-data index of its first main-data byte
};

// The tail's frames, or none when they do not chain to its end.
std::vector<TailFrame> FramesOf(const std::vector<std::uint8_t>& tail) {
  std::vector<TailFrame> frames;
  std::int64_t data = 0;
  for (std::size_t at = 0; at < tail.size();) {
    TailFrame f;
    f.At = at;
    f.Length = at + 4 <= tail.size() ? HeaderFrameLength(tail.data() + at) : 0;
    if (f.Length <= 0 || at + static_cast<std::size_t>(f.Length) > tail.size() ||
        !ParseLayer3SideInfo(tail.data() + at, static_cast<std::size_t>(f.Length), f.Side))
      return {};
    f.Data = data;
    data += MainDataCapacity(f.Length, f.Side);
    frames.push_back(f);
    at += static_cast<std::size_t>(f.Length);
  }
  return frames;
}

// Writes `bytes` into the last main-data bytes of `frames`.
void PutAtDataEnd(std::vector<std::uint8_t>& tail, const std::vector<TailFrame>& frames, const std::uint8_t* bytes,
                  std::size_t n) {
  for (auto f = frames.rbegin(); f != frames.rend() && n > 0; ++f) {
    const std::size_t capacity = static_cast<std::size_t>(MainDataCapacity(f->Length, f->Side));
    const std::size_t take = std::min(capacity, n);
    const std::size_t end = f->At + static_cast<std::size_t>(f->Length);
    std::memcpy(tail.data() + end - take, bytes + n - take, take);
    n -= take;
  }
}

std::uint16_t MpegCrc(const std::uint8_t* data, std::size_t length, std::uint16_t crc) {
  for (std::size_t i = 0; i < length; ++i) {
    crc = static_cast<std::uint16_t>(crc ^ data[i] << 8);
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc & 0x8000) ? static_cast<std::uint16_t>(crc << 1 ^ 0x8005) : static_cast<std::uint16_t>(crc << 1);
  }
  return crc;
}

}  // namespace

void RestampFrameCrc(std::uint8_t* frame, std::int32_t sideInfoBytes) {
  if (frame[1] & 1) return;  // not protected
  std::uint16_t crc = MpegCrc(frame + 2, 2, 0xFFFF);
  crc = MpegCrc(frame + 6, static_cast<std::size_t>(sideInfoBytes), crc);
  frame[4] = static_cast<std::uint8_t>(crc >> 8);
  frame[5] = static_cast<std::uint8_t>(crc);
}

JunctionResult CarryReservoir(std::vector<std::uint8_t>& tail, const std::vector<std::uint8_t>& carried, bool widen) {
  JunctionResult r;
  if (carried.empty()) return r;
  std::vector<TailFrame> frames = FramesOf(tail);
  if (frames.empty()) return r;
  // Main data runs on from frame to frame: the last byte any of them uses.
  std::int64_t used = 0;
  for (const TailFrame& f : frames)
    used = std::max(used, f.Data - f.Side.MainDataBegin + (f.Side.MainDataBits + 7) / 8);
  const TailFrame& last = frames.back();
  const std::int64_t dataEnd = last.Data + MainDataCapacity(last.Length, last.Side);
  const std::size_t free = static_cast<std::size_t>(std::max<std::int64_t>(dataEnd - used, 0));
  const std::size_t need = carried.size();
  if (need <= free) {
    PutAtDataEnd(tail, frames, carried.data(), need);
    r.Kind = JunctionKind::Carried;
    r.Available = need;
    return r;
  }
  std::uint8_t* head = tail.data() + last.At;
  const int index = head[2] >> 4;
  if (widen && index > 0) {
    // The next bit rate, unpadded then padded, whose frame holds the rest.
    for (int k = index + 1; k < 15; ++k) {
      for (int pad = 0; pad < 2; ++pad) {
        std::uint8_t h[4] = {head[0], head[1],
                             static_cast<std::uint8_t>((k << 4) | (head[2] & 0x0D) | (pad << 1)), head[3]};
        const std::int32_t length = HeaderFrameLength(h);
        if (length <= 0 || static_cast<std::size_t>(length - last.Length) + free < need) continue;
        std::memcpy(head, h, 4);
        RestampFrameCrc(head, last.Side.SideInfoBytes);
        tail.resize(tail.size() + static_cast<std::size_t>(length - last.Length), 0);
        frames.back().Length = length;
        PutAtDataEnd(tail, frames, carried.data(), need);
        r.Kind = JunctionKind::Widened;
        r.Available = need;
        r.WidenedBitRate = static_cast<std::uint8_t>(k);
        return r;
      }
    }
  }
  PutAtDataEnd(tail, frames, carried.data() + (need - free), free);
  r.Kind = JunctionKind::Muted;
  r.Available = free;
  return r;
}

int MuteUnreachable(std::uint8_t* frames, std::size_t length, std::size_t available, std::int64_t& before) {
  int muted = 0;
  for (std::size_t at = 0; at + 4 <= length && before <= kLongestReach;) {
    std::uint8_t* f = frames + at;
    const std::int32_t n = HeaderFrameLength(f);
    Layer3SideInfo side;
    if (n <= 0 || at + static_cast<std::size_t>(n) > length || !ParseLayer3SideInfo(f, static_cast<std::size_t>(n), side))
      break;
    const std::int64_t right = static_cast<std::int64_t>(available) + before;
    if (side.MainDataBegin > right) {
      // No granule data; main_data_begin only as far back as the bytes are
      // right: decoders keep the bytes from where a frame's main data begins
      // for the frames after, which still find theirs.
      std::uint8_t* bits = f + side.HeaderBytes;
      std::memset(bits, 0, static_cast<std::size_t>(side.SideInfoBytes));
      if (side.Granules == 2) {
        bits[0] = static_cast<std::uint8_t>(right >> 1);
        bits[1] = static_cast<std::uint8_t>((right & 1) << 7);
      } else {
        bits[0] = static_cast<std::uint8_t>(right);
      }
      RestampFrameCrc(f, side.SideInfoBytes);
      ++muted;
    }
    before += MainDataCapacity(n, side);
    at += static_cast<std::size_t>(n);
  }
  return muted;
}
