#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gapless/Reservoir.h"
#include "stream/FrameHeader.h"

class SourceFile;

// The delay of the Layer III decoders that gapless players trim together
// with the encoder delay: ffmpeg and mpg123 both skip encoder delay + 529
// samples at the start, and let the stream end 529 samples after the end
// padding begins.
inline constexpr std::int32_t kDecoderDelay = 529;
// The LAME tag's delay and padding fields are 12 bits wide.
inline constexpr std::int32_t kLargestTagDelay = 4095;

// A Layer III stream as a gapless player plays it. The decoder turns audio
// frame k into decoder samples [k × SamplesPerFrame, (k + 1) ×
// SamplesPerFrame); the player's sample s is decoder sample s + EncoderDelay
// + kDecoderDelay. Without a tag that decoders honour (lame -t, ffmpeg
// -write_xing 0, sox, frames too small for the tag) ffmpeg and mpg123 play
// every decoded sample: the player's sample s is decoder sample s.
struct GaplessStream {
  std::int32_t SamplesPerFrame = 0;
  std::int32_t SampleRate = 0;
  std::int32_t Granules = 0;         // 2 in MPEG-1 frames, 1 in MPEG-2
  std::int32_t FirstAudioFrame = 0;  // frame index of audio frame 0: 1 after a tag frame
  std::int64_t AudioFrames = 0;      // whole audio frames of the stream
  bool SeveralBitRates = false;
  FrameHeader FirstAudio;  // header of audio frame 0

  // Declared: frame 0 is a Xing/Info frame whose LAME-style extension names
  // an encoder whose delay and padding ffmpeg applies ("LAME...", "Lavf...",
  // "Lavc..."; mpg123 applies any). TagFrame then holds that frame's bytes.
  bool Declared = false;
  std::int32_t EncoderDelay = 0;
  std::int32_t EndPadding = 0;
  std::string Encoder;
  std::vector<std::uint8_t> TagFrame;

  // Decoder sample of the player's sample 0.
  std::int64_t DecoderOffset() const { return Declared ? EncoderDelay + kDecoderDelay : 0; }
  // Samples a gapless player plays: the decoder's output stops at the end of
  // the last frame, or earlier at the end padding (+ the decoder delay).
  std::int64_t Samples() const;
  // Frames whose output overlaps the next frame's: the filter banks carry
  // one granule into the next, and the synthesis window reaches one more.
  std::int32_t OverlapFrames() const { return Granules == 2 ? 1 : 2; }
};

// Whether ffmpeg honours the delay and padding of a LAME extension written by
// this encoder (mpg123 honours every one).
bool DecodersHonourEncoder(const std::string& encoder);

// Reads what a gapless cut needs of the Layer III file at `path` (probed into
// `reference`): its timing, its tag, its frame count. False, with `error`
// naming the file and the reason, when it cannot be read or is not Layer III.
// Without `countFrames` it reads up to the first audio frame only:
// AudioFrames is then 1 and SeveralBitRates false. `cancel` (a signal handler
// may set it) is looked at between frames and between windows of the file:
// once set, the walk stops and the result is false with `error`
// "interrupted".
bool ReadGaplessStream(const std::string& path, const FrameHeader& reference, GaplessStream& stream,
                       std::string& error, bool countFrames = true, const std::atomic<bool>* cancel = nullptr);
// The same on an input already open.
bool ReadGaplessStream(SourceFile& source, const FrameHeader& reference, GaplessStream& stream,
                       std::string& error, bool countFrames = true, const std::atomic<bool>* cancel = nullptr);

// The `error` of a walk that a set cancel flag stopped.
inline constexpr const char* kWalkInterrupted = "interrupted";

// Where the walk met an audio frame: what a later scan needs to begin there
// (see ResumePoint).
struct FramePlace {
  std::int64_t Audio = 0;     // audio frame index
  std::int32_t Index = 0;     // frame index in the file
  std::int64_t Position = 0;  // of its header
  std::uint8_t Header[4] = {};
};

// What MeasureReservoir also learns on its way, when asked.
struct WalkAround {
  // The places of audio frames PlacesFrom to PlacesTo (both included) are kept.
  std::int64_t PlacesFrom = 0;
  std::int64_t PlacesTo = -1;
  // The walk goes on at least to this audio frame (or the stream's end).
  std::int64_t WalkTo = -1;
  // Further frames to measure, in increasing order and none before the last
  // of `frames`, asked for one at a time as the walk reaches the one before
  // (false: no more). Their reaches follow those of `frames` in `reach`; the
  // walk goes on while there are more, and the last one asked for may lie
  // after the stream's end (its reach then tells nothing).
  std::function<bool(std::int64_t& frame)> More;

  std::vector<FramePlace> Places;
  // The walk met the stream's last frame: AudioFrames is then the stream's
  // count, else the frames met before it stopped.
  bool ReachedEnd = false;
  std::int64_t AudioFrames = 0;
  // Every frame the walk counted (a leading tag frame, frames of other
  // streams and one the end cuts short too), as a count of the file does.
  std::int64_t Counted = 0;
};

// For each audio frame in `frames` (any order), what a copy starting there
// needs of the frames before it: one walk through the file, which ends soon
// after the last of them and reads the bytes of the frames near them only.
// False, with `error` set, when the file cannot be read, or "interrupted"
// (kWalkInterrupted) once `cancel` is set.
bool MeasureReservoir(const std::string& path, const FrameHeader& reference, const GaplessStream& stream,
                      const std::vector<std::int64_t>& frames, std::vector<ReservoirReach>& reach,
                      std::string& error, WalkAround* around = nullptr, const std::atomic<bool>* cancel = nullptr);
bool MeasureReservoir(SourceFile& source, const FrameHeader& reference, const GaplessStream& stream,
                      const std::vector<std::int64_t>& frames, std::vector<ReservoirReach>& reach,
                      std::string& error, WalkAround* around = nullptr, const std::atomic<bool>* cancel = nullptr);
