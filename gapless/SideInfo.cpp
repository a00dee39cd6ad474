#include "gapless/SideInfo.h"

namespace {

class BitReader {
 public:
  explicit BitReader(const std::uint8_t* data) : data_(data) {}
  std::int32_t Read(int bits) {
    std::int32_t v = 0;
    for (int i = 0; i < bits; ++i, ++at_) v = v << 1 | (data_[at_ >> 3] >> (7 - (at_ & 7)) & 1);
    return v;
  }
  void Skip(int bits) { at_ += static_cast<std::size_t>(bits); }

 private:
  const std::uint8_t* data_;
  std::size_t at_ = 0;
};

}  // namespace

bool ParseLayer3SideInfo(const std::uint8_t* frame, std::size_t length, Layer3SideInfo& info) {
  if (length < 4 || frame[0] != 0xFF || (frame[1] & 0xE0) != 0xE0) return false;
  const int version = frame[1] >> 3 & 3;  // 3 MPEG-1, 2 MPEG-2
  const int layer = frame[1] >> 1 & 3;    // 1 Layer III
  if (layer != 1 || (version != 3 && version != 2)) return false;
  const bool mono = (frame[3] >> 6) == 3;
  const int channels = mono ? 1 : 2;
  Layer3SideInfo s;
  s.HeaderBytes = (frame[1] & 1) ? 4 : 6;
  const bool mpeg1 = version == 3;
  s.SideInfoBytes = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
  s.Granules = mpeg1 ? 2 : 1;
  if (length < static_cast<std::size_t>(s.HeaderBytes + s.SideInfoBytes)) return false;

  BitReader r(frame + s.HeaderBytes);
  s.MainDataBegin = r.Read(mpeg1 ? 9 : 8);
  r.Skip(mpeg1 ? (mono ? 5 : 3) : (mono ? 1 : 2));
  if (mpeg1) r.Skip(4 * channels);  // scfsi
  for (int g = 0; g < s.Granules; ++g) {
    for (int c = 0; c < channels; ++c) {
      s.MainDataBits += r.Read(12);
      // big_values 9, global_gain 8, scalefac_compress 4 (MPEG-2: 9),
      // window switching 1 + 22, then preflag (MPEG-1 only), scalefac_scale
      // and count1table_select.
      r.Skip(mpeg1 ? 47 : 51);
    }
  }
  info = s;
  return true;
}
