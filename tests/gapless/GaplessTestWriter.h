#pragma once

// Writes a planned sample-exact cut the plain way, in memory: the tag frame,
// then the frames of the plan, then the tag's counts. A yardstick for the
// planner, apart from the output writer of the programs.

#include <fstream>
#include <string>
#include <vector>

#include "gapless/GaplessPlan.h"
#include "gapless/LameTag.h"
#include "stream/Scanner.h"

namespace gapless_test {

inline bool WritePlannedCut(const std::string& input, const FrameHeader& reference, const GaplessStream& stream,
                            const GaplessPlan& plan, const std::string& output, std::string& error) {
  std::ifstream in(input, std::ios::binary);
  const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::uint8_t> audio;
  std::vector<std::uint64_t> starts;
  std::uint16_t rates = 0;
  if (!plan.Carrier.empty()) {
    starts.push_back(0);
    rates |= static_cast<std::uint16_t>(1u << (plan.Carrier[2] >> 4));
    audio = plan.Carrier;
  }
  ScanOptions options;
  options.AnyBitRate = true;
  if (!WalkFrames(
          input, reference, options,
          [&](const FrameVisit& f) {
            if (f.Index < plan.FirstFrame || !f.Whole) return true;
            if (f.Index > plan.LastFrame) return false;
            starts.push_back(audio.size());
            rates |= static_cast<std::uint16_t>(1u << (f.Header[2] >> 4));
            audio.insert(audio.end(), file.begin() + f.Position, file.begin() + f.Position + f.Length);
            return true;
          },
          error))
    return false;
  GaplessTagFrame tag;
  if (!MakeGaplessTagFrame(stream, (rates & (rates - 1)) != 0, plan.EncoderDelay, plan.EndPadding, tag)) {
    error = "no tag frame";
    return false;
  }
  XingCounts counts;
  counts.Frames = static_cast<std::uint32_t>(starts.size());
  counts.Bytes = static_cast<std::uint32_t>(tag.Bytes.size() + audio.size());
  counts.Toc = MakeXingToc(counts.Frames, audio.size(), [&](std::uint32_t k) { return starts[k]; });
  counts.MusicCrc = Crc16(audio.data(), audio.size());
  FillGaplessTag(tag, counts);
  std::ofstream out(output, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(tag.Bytes.data()), static_cast<std::streamsize>(tag.Bytes.size()));
  out.write(reinterpret_cast<const char*>(audio.data()), static_cast<std::streamsize>(audio.size()));
  return static_cast<bool>(out);
}

}  // namespace gapless_test
