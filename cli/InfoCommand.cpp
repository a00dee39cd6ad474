// kerfwell-cut info: the stream as a music user reads it (the length as
// h:mm:ss.mmm from the samples, the average bit rate of a VBR file), with
// every field also as JSON for scripts.

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>

#include "cli/Commands.h"
#include "cli/ExactCut.h"
#include "cli/Messages.h"
#include "cli/TimePoint.h"
#include "gapless/GaplessStream.h"
#include "stream/Scanner.h"
#include "stream/SourceFile.h"

namespace {

// The audio frames' bit rates: how many there are, and their average over
// the frames' own duration.
struct BitRates {
  std::set<std::int32_t> Seen;  // kbps
  std::int64_t Bytes = 0;
  std::int64_t Frames = 0;
};

bool MeasureBitRates(SourceFile& source, const FrameHeader& reference, BitRates& rates, std::string& error) {
  ScanOptions options;
  options.AnyBitRate = true;
  return WalkFrames(
      source, reference, options,
      [&](const FrameVisit& v) {
        if (v.TagFrame || !v.Fits) return true;
        FrameHeader h;
        DecodeFrameHeader(v.Header[0], v.Header[1], v.Header[2], v.Header[3], v.Position, 0, h);
        if (h.Invalid) return true;
        rates.Seen.insert(HeaderBitRate(h));
        rates.Bytes += v.Length;
        ++rates.Frames;
        return true;
      },
      error);
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace

int RunInfo(const std::string& path, bool anyBitRate, bool json) {
  SourceFile source(path);
  StreamProbe probe;
  if (!ProbeInput(source, probe)) return kExitFailed;
  const FrameHeader& reference = probe.Reference;
  // Frame 0, a leading tag frame when there is one; the stream is the audio's.
  const std::int64_t firstFrame = probe.TagFrame ? probe.TagHeader.Position : reference.Position;
  std::int32_t frames = 0, copyable = 0;
  if (!CountFrames(source, reference, anyBitRate, frames, copyable)) return kExitFailed;
  const StreamInfoTexts t = DescribeHeader(reference);
  const std::int32_t sampleRate = HeaderSampleRate(reference);
  // The length as a gapless player plays it, to the sample: Layer III after
  // the delay and padding that the tag declares (and the decoder's own
  // delay); Layers I and II every frame's samples.
  std::int64_t samples = static_cast<std::int64_t>(frames) * SamplesPerFrame(reference);
  GaplessStream stream;
  std::string error;
  if (reference.Layer == 1) {
    if (!ReadGaplessStream(source, reference, stream, error)) {
      Complain(error);
      return kExitFailed;
    }
    samples = stream.Samples();
  }
  BitRates rates;
  if (!MeasureBitRates(source, reference, rates, error)) {
    Complain(error);
    return kExitFailed;
  }
  const bool variable = rates.Seen.size() > 1;
  const std::int64_t frameSamples = rates.Frames * SamplesPerFrame(reference);
  // kbps over the frames' own duration, rounded.
  const std::int64_t average =
      frameSamples > 0 ? (rates.Bytes * 8 * sampleRate + frameSamples * 500) / (frameSamples * 1000)
                       : HeaderBitRate(reference);
  const std::string bitRate = variable ? std::to_string(average) + " kbps VBR" : t.BitRate;
  const std::string duration = FormatTime(SamplesTime(sampleRate, samples));
  const std::string specDuration = FormatDuration(reference.FileSize, HeaderBitRate(reference));
  const std::string exact = FormatSamples(samples, sampleRate);

  if (json) {
    std::printf(
        "{\"version\": %s, \"layer\": %s, \"bitRate\": %s, \"averageKbps\": %lld, \"vbr\": %s, "
        "\"firstFrameBitRate\": %s, \"firstFrameKbps\": %d, \"sampleRate\": %d, \"mode\": %s, "
        "\"copyrighted\": %s, \"original\": %s, \"frames\": %d, \"firstFrame\": %lld, \"copyable\": %d, ",
        Quoted(t.Version).c_str(), Quoted(t.Layer).c_str(), Quoted(bitRate).c_str(),
        static_cast<long long>(variable ? average : HeaderBitRate(reference)), variable ? "true" : "false",
        Quoted(t.BitRate).c_str(), HeaderBitRate(reference), sampleRate, Quoted(t.Mode).c_str(),
        t.Copyright == "Yes" ? "true" : "false", t.Original == "Yes" ? "true" : "false", frames,
        static_cast<long long>(firstFrame), copyable);
    if (stream.Declared) std::printf("\"encoderDelay\": %d, \"endPadding\": %d, ", stream.EncoderDelay, stream.EndPadding);
    std::printf(
        "\"samples\": %lld, \"duration\": %s, \"seconds\": %.6f, \"exactDuration\": %s, \"specDuration\": %s}\n",
        static_cast<long long>(samples), Quoted(duration).c_str(),
        static_cast<double>(samples) / sampleRate, Quoted(exact).c_str(), Quoted(specDuration).c_str());
    return kExitOk;
  }
  std::printf(
      "Version: %s\nLayer: %s\nBitRate: %s\nSampleRate: %s\nMode: %s\nCopyrighted: %s\nOriginal: %s\n",
      t.Version.c_str(), t.Layer.c_str(), bitRate.c_str(), t.SampleRate.c_str(), t.Mode.c_str(),
      t.Copyright.c_str(), t.Original.c_str());
  std::printf("Frames: %d\nDuration: %s\nFirstFrame: %lld\nCopyable: %d\n", frames, duration.c_str(),
              static_cast<long long>(firstFrame), copyable);
  if (stream.Declared) std::printf("EncoderDelay: %d\nEndPadding: %d\n", stream.EncoderDelay, stream.EndPadding);
  std::printf("Samples: %lld\nExactDuration: %s\n", static_cast<long long>(samples), exact.c_str());
  return kExitOk;
}
