#include "output/InfoCounter.h"

#include <algorithm>

#include "stream/FrameHeader.h"
#include "stream/ReadAt.h"

std::int32_t HeaderFrameLength(const std::uint8_t* b) {
  if (b[0] != 0xFF || b[1] < 0xE0) return 0;
  FrameHeader h;
  // The length does not depend on the fourth byte.
  DecodeFrameHeader(b[0], b[1], b[2], b[3] != 0 ? b[3] : 0x01, 0, 0, h);
  return h.Invalid ? 0 : h.FrameLength;
}

InfoCounter::InfoCounter(std::size_t keep) : keep_(std::max<std::size_t>(keep & ~std::size_t{1}, 2)) {}

void InfoCounter::Start(std::int64_t position) {
  started_ = true;
  start_ = end_ = position;
  frames_ = 0;
  stride_ = 1;
  kept_.clear();
  crc_ = 0;
  bitRates_ = 0;
  backToBack_ = true;
}

void InfoCounter::AddFrame(std::int64_t position, std::int32_t length, const std::uint8_t* header) {
  if (position != end_) backToBack_ = false;
  // The stride is a power of two: a mask instead of a division per frame.
  if ((frames_ & (stride_ - 1)) == 0) {
    if (kept_.size() == keep_) {
      // Every other kept offset goes; the stride doubles.
      for (std::size_t j = 0; 2 * j < kept_.size(); ++j) kept_[j] = kept_[2 * j];
      kept_.resize(keep_ / 2);
      stride_ *= 2;
    }
    if ((frames_ & (stride_ - 1)) == 0) kept_.push_back(position);
  }
  ++frames_;
  end_ = position + length;
  bitRates_ |= static_cast<std::uint16_t>(1u << (header[2] >> 4));
}

void InfoCounter::AddBytes(const std::uint8_t* data, std::size_t length) { crc_ = Crc16(data, length, crc_); }

std::uint32_t InfoCounter::Frames() const {
  return static_cast<std::uint32_t>(std::min<std::int64_t>(frames_, UINT32_MAX));
}

bool InfoCounter::Toc(int fd, XingToc& toc, std::string& message) const {
  const std::uint32_t frames = Frames();
  const auto audioBytes = static_cast<std::uint64_t>(end_ - start_);
  // A block of the output read at a time, so that the walk from a kept frame
  // to a wanted one costs few reads.
  std::vector<std::uint8_t> block(1 << 16);
  std::int64_t blockStart = 0;
  std::int64_t blockEnd = 0;
  bool ok = true;
  auto startOf = [&](std::uint32_t k) -> std::uint64_t {
    const std::size_t j = static_cast<std::size_t>(k / static_cast<std::uint64_t>(stride_));
    std::int64_t pos = kept_[j];
    for (std::int64_t n = static_cast<std::int64_t>(k) - static_cast<std::int64_t>(j) * stride_; n > 0 && ok;
         --n) {
      if (pos < blockStart || pos + 4 > blockEnd) {
        const ssize_t got = ReadAt(fd, block.data(), block.size(), pos);
        if (got < 4) {
          message = got < 0 ? "cannot read the output back" : "the output shrank while it was written";
          ok = false;
          break;
        }
        blockStart = pos;
        blockEnd = pos + got;
      }
      const std::int32_t length = HeaderFrameLength(block.data() + (pos - blockStart));
      if (length == 0) {
        message = "the output no longer holds the frames written to it";
        ok = false;
        break;
      }
      pos += length;
    }
    return static_cast<std::uint64_t>(pos - start_);
  };
  toc = MakeXingToc(frames, audioBytes, startOf);
  return ok;
}
