#include "cli/BitRateMix.h"

#include <cstdint>
#include <vector>

#include "stream/FrameHeader.h"
#include "stream/ReadAt.h"
#include "stream/Scanner.h"
#include "stream/SourceFile.h"
#include "stream/XingFrame.h"

namespace {

// Encoders vary the bit rate from the first second on: this many frames
// tell a VBR stream without reading a long (or damaged) file through.
constexpr int kFramesLookedAt = 256;

}  // namespace

bool MixesBitRates(SourceFile& source) {
  StreamProbe probe;
  std::string error;
  if (!source.IsOpen() || !ProbeStream(source, probe, error)) return false;
  // The encoder's own word first: a "Xing" tag (not "Info") marks a stream
  // of several bit rates, however late they change.
  if (probe.TagFrame && probe.TagHeader.FrameLength > 0) {
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(probe.TagHeader.FrameLength));
    XingTag tag;
    if (ReadAt(source.Descriptor(), frame.data(), frame.size(), probe.TagHeader.Position) ==
            static_cast<ssize_t>(frame.size()) &&
        ParseXingTag(frame.data(), frame.size(), tag) && !tag.Info)
      return true;
  }
  // Header to header from the first audio frame, as long as they follow one
  // another; a gap ends the look, it does not resync.
  const FrameHeader& first = probe.Reference;
  std::int64_t at = first.Position;
  for (int n = 0; n < kFramesLookedAt; ++n) {
    std::uint8_t b[4];
    if (ReadAt(source.Descriptor(), b, 4, at) != 4) return false;
    FrameHeader h;
    DecodeFrameHeader(b[0], b[1], b[2], b[3], at, source.Size(), h);
    if (h.Invalid || h.FrameLength <= 0 || h.Layer != first.Layer || h.SampleRateIndex != first.SampleRateIndex)
      return false;
    if (h.BitRateIndex != first.BitRateIndex) return true;
    at += h.FrameLength;
  }
  return false;
}
