#include "loudness/GlobalGain.h"

#include <algorithm>

namespace {

std::int32_t ReadBits(const std::uint8_t* data, std::int32_t at, int bits) {
  std::int32_t v = 0;
  for (int i = 0; i < bits; ++i, ++at) v = v << 1 | (data[at >> 3] >> (7 - (at & 7)) & 1);
  return v;
}

void WriteBits(std::uint8_t* data, std::int32_t at, int bits, std::int32_t value) {
  for (int i = bits - 1; i >= 0; --i, ++at) {
    const std::uint8_t mask = static_cast<std::uint8_t>(0x80 >> (at & 7));
    data[at >> 3] = static_cast<std::uint8_t>((value >> i & 1) ? data[at >> 3] | mask : data[at >> 3] & ~mask);
  }
}

std::uint16_t CrcBits(std::uint16_t crc, std::uint8_t byte) {
  for (int i = 7; i >= 0; --i) {
    const bool top = ((crc >> 15) ^ (byte >> i)) & 1;
    crc = static_cast<std::uint16_t>(crc << 1);
    if (top) crc ^= 0x8005;
  }
  return crc;
}

}  // namespace

bool FindGainFields(const std::uint8_t* frame, std::size_t length, GainFields& fields) {
  if (length < 4 || frame[0] != 0xFF || (frame[1] & 0xE0) != 0xE0) return false;
  const int version = frame[1] >> 3 & 3;  // 3 MPEG-1, 2 MPEG-2
  const int layer = frame[1] >> 1 & 3;    // 1 Layer III
  if (layer != 1 || (version != 3 && version != 2)) return false;
  const bool mono = (frame[3] >> 6) == 3;
  const bool mpeg1 = version == 3;
  const int channels = mono ? 1 : 2;
  GainFields f;
  f.Protected = (frame[1] & 1) == 0;
  f.SideInfoStart = f.Protected ? 6 : 4;
  f.SideInfoBytes = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
  f.Granules = mpeg1 ? 2 : 1;
  if (length < static_cast<std::size_t>(f.SideInfoStart + f.SideInfoBytes)) return false;
  const std::int32_t first = mpeg1 ? 9 + (mono ? 5 : 3) + 4 * channels : 8 + (mono ? 1 : 2);
  const std::int32_t entryBits = mpeg1 ? 59 : 63;
  const std::uint8_t* side = frame + f.SideInfoStart;
  for (int g = 0; g < f.Granules; ++g) {
    for (int c = 0; c < channels; ++c) {
      const std::int32_t entry = first + (g * channels + c) * entryBits;
      f.PartBits[f.Count] = ReadBits(side, entry, 12);
      f.GainBit[f.Count] = entry + 21;
      ++f.Count;
    }
  }
  fields = f;
  return true;
}

bool HasMainData(const GainFields& fields) {
  for (std::int32_t i = 0; i < fields.Count; ++i)
    if (fields.PartBits[i] > 0) return true;
  return false;
}

std::int32_t ReadGain(const std::uint8_t* frame, const GainFields& fields, std::int32_t entry) {
  return ReadBits(frame + fields.SideInfoStart, fields.GainBit[entry], 8);
}

std::uint16_t FrameCrc(const std::uint8_t* frame, const GainFields& fields) {
  std::uint16_t crc = 0xFFFF;
  crc = CrcBits(crc, frame[2]);
  crc = CrcBits(crc, frame[3]);
  for (std::int32_t i = 0; i < fields.SideInfoBytes; ++i) crc = CrcBits(crc, frame[fields.SideInfoStart + i]);
  return crc;
}

std::int32_t ShiftGains(std::uint8_t* frame, const GainFields& fields, const std::int32_t steps[2]) {
  std::int32_t clamped = 0;
  const std::int32_t perGranule = fields.Count / fields.Granules;
  bool changed = false;
  for (std::int32_t i = 0; i < fields.Count; ++i) {
    const std::int32_t step = steps[i / perGranule];
    // A granule without main data decodes to silence whatever its gain says.
    if (step == 0 || fields.PartBits[i] == 0) continue;
    const std::int32_t gain = ReadGain(frame, fields, i);
    const std::int32_t wanted = gain + step;
    const std::int32_t put = std::clamp(wanted, 0, 255);
    if (put != wanted) ++clamped;
    if (put == gain) continue;
    WriteBits(frame + fields.SideInfoStart, fields.GainBit[i], 8, put);
    changed = true;
  }
  if (changed && fields.Protected) {
    const std::uint16_t crc = FrameCrc(frame, fields);
    frame[4] = static_cast<std::uint8_t>(crc >> 8);
    frame[5] = static_cast<std::uint8_t>(crc);
  }
  return clamped;
}
