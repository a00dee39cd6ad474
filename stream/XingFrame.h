#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "stream/Crc16.h"
#include "stream/FrameHeader.h"

// The Xing/Info tag that encoders put in a silent Layer III frame at the front
// of a stream, so that players know its length and can seek in it, and the
// LAME extension that may follow it. Players skip such a frame: it takes no
// time.
//
// Layout, from the frame's first byte (what lame and ffmpeg write, and what
// ffmpeg and mpg123 read):
//   0        frame header (4), then the side information, all zeros; a CRC,
//            when the header has one, takes the first two bytes of it and does
//            not move the tag
//   O        "Xing" (variable bit rate) or "Info" (constant); O = 4 + side
//            information: MPEG-1 stereo 32, mono 17; MPEG-2 stereo 17, mono 9
//   O+4      flags, big-endian: frames 0x1, bytes 0x2, TOC 0x4, quality 0x8
//            then the fields present, in that order:
//            frames (4): audio frames after the tag frame
//            bytes (4):  the tag frame and the audio frames after it (no
//                        ID3 tags)
//            TOC (100):  entry i = 256 × (audio bytes before the frame at i %
//                        of the frames) / (audio bytes)
//            quality (4)
//   L        LAME extension (36 bytes), when an encoder wrote one:
//            L+0 encoder (9, "LAME3.100", "Lavc59.37"), L+9 revision and VBR
//            method, L+10 lowpass, L+11 replay gain (8), L+19 encoding flags,
//            L+20 ABR bit rate, L+21 encoder delay (12 bits) and end padding
//            (12 bits), L+24 misc, L+25 mp3 gain, L+26 preset and surround
//            (2), L+28 music length (4: the same bytes as the bytes field),
//            L+32 music CRC (2: of the audio frames after the tag frame),
//            L+34 tag CRC (2: of the frame's bytes before it; 190 for MPEG-1
//            stereo)
// Multi-byte numbers are big-endian; CRCs are CRC-16 (polynomial 0x8005,
// reflected, starting at 0).

inline constexpr std::uint32_t kXingFramesFlag = 0x1;
inline constexpr std::uint32_t kXingBytesFlag = 0x2;
inline constexpr std::uint32_t kXingTocFlag = 0x4;
inline constexpr std::uint32_t kXingQualityFlag = 0x8;

using XingToc = std::array<std::uint8_t, 100>;

struct XingTag {
  std::size_t Offset = 0;  // of "Xing"/"Info" from the frame's first byte
  bool Info = false;       // "Info" rather than "Xing"
  std::uint32_t Flags = 0;
  std::uint32_t Frames = 0;  // fields hold 0 when their flag is absent
  std::uint32_t Bytes = 0;
  XingToc Toc{};
  std::uint32_t Quality = 0;
  bool BlankSideInfo = true;  // what encoders write, and what mpg123 asks of a tag frame

  bool HasLame = false;
  std::size_t LameOffset = 0;  // of the encoder string
  std::string Encoder;         // up to 9 characters, trailing NULs dropped
  std::uint16_t EncoderDelay = 0;
  std::uint16_t EndPadding = 0;
  std::uint32_t MusicLength = 0;
  std::uint16_t MusicCrc = 0;
  std::uint16_t TagCrc = 0;
  std::size_t TagCrcOffset() const { return LameOffset + 34; }
};

// Whether the `length` bytes at `frame` (a whole frame, header first) hold a
// Xing or Info tag whose declared fields fit in the frame; fills `tag` if so.
// The side information need not be blank (some taggers leave bytes there):
// the tag is read all the same, so that it can be made true.
bool ParseXingTag(const std::uint8_t* frame, std::size_t length, XingTag& tag);
// The same without the fields: the frame is a tag frame, not audio.
bool FrameHoldsXingTag(const std::uint8_t* frame, std::size_t length);

enum class TagFrameKind {
  None,  // an audio frame
  Xing,  // "Xing" or "Info" after the side information, readable or not
  Vbri,  // "VBRI" 32 bytes after the header (Fraunhofer's encoder)
};
// What an encoder's tag frame at the front of a stream is, if it is one: the
// id is enough, so that a tag whose fields cannot be read is still told from
// audio (and is never taken for the first audio frame).
TagFrameKind TagFrameKindOf(const std::uint8_t* frame, std::size_t length);

// What a tag frame should say about the frames that follow it.
struct XingCounts {
  std::uint32_t Frames = 0;    // audio frames after the tag frame
  std::uint32_t Bytes = 0;     // the tag frame and everything up to the end of the last frame
  XingToc Toc{};               // see MakeXingToc
  std::uint16_t MusicCrc = 0;  // of the bytes after the tag frame up to the end of the last frame
};

// What of the source's LAME extension still holds for an output.
struct XingRewrite {
  // The output's first audio frame is the source's first: the encoder delay
  // still stands at its start.
  bool KeepEncoderDelay = true;
  // The output's last frame is the source's last: the end padding is still
  // at its end.
  bool KeepEndPadding = false;
};

// Writes `counts` into the fields that `tag` (parsed from `frame`) holds: the
// frame count, byte count and TOC where present; in a LAME extension the
// music length (= Bytes), music CRC, encoder delay and end padding (0 unless
// kept) and last the tag CRC. Nothing else in the frame changes.
void RewriteXingTag(std::uint8_t* frame, const XingTag& tag, const XingCounts& counts,
                    const XingRewrite& keep);
// The same, keeping the encoder delay.
void RewriteXingTag(std::uint8_t* frame, const XingTag& tag, const XingCounts& counts, bool keepEndPadding);
// Whether `tag` already says what `counts` say: frames, bytes, TOC, and in a
// LAME extension music length and CRC.
bool XingTagDescribes(const XingTag& tag, const XingCounts& counts);

// Table of contents from the offsets of the audio frames: `frameStart(k)`
// gives the offset of audio frame k (0 <= k < frames) from the first one,
// `audioBytes` their total length.
template <typename FrameStart>
XingToc MakeXingToc(std::uint32_t frames, std::uint64_t audioBytes, FrameStart frameStart);
// The frame whose start TOC entry i (0 to 99) gives.
inline std::uint32_t XingTocFrame(int i, std::uint32_t frames) {
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(i) * frames / 100);
}
std::uint8_t XingTocEntry(std::uint64_t bytesBefore, std::uint64_t audioBytes);

template <typename FrameStart>
XingToc MakeXingToc(std::uint32_t frames, std::uint64_t audioBytes, FrameStart frameStart) {
  XingToc toc{};
  for (int i = 0; i < 100 && frames > 0; ++i)
    toc[i] = XingTocEntry(frameStart(XingTocFrame(i, frames)), audioBytes);
  return toc;
}

// A silent Layer III frame of `first`'s version, sampling frequency and mode
// (no CRC) holding a "Xing" tag with frames, bytes and TOC, for `frames` audio
// frames of `audioBytes` bytes that will follow it. Its bit rate is the table
// rate nearest their average, raised until the tag fits. Its bytes field
// counts itself too. Empty when `first` is not a valid Layer III header.
std::vector<std::uint8_t> BuildXingFrame(const FrameHeader& first, std::uint32_t frames,
                                         std::uint64_t audioBytes, const XingToc& toc);

// ---- on files ---------------------------------------------------------------

enum class XingResult {
  NoTag,    // the first frame holds no Xing/Info tag: the file is left as it was
  Updated,  // its tag now describes the file
  Failed,   // `message` names the file and the reason; the file is left as it was
  // The first frame was a tag frame that cannot be made to describe the file
  // (a VBRI frame whose counts are not the file's, or a Xing/Info frame whose
  // fields do not fit it): it was taken out, and `message` says so.
  Dropped,
};

// After a cut: when the output's first frame (after any leading ID3v2 tags)
// holds a Xing/Info tag, most likely copied from the input's frame 0, rewrites
// its counts, TOC and LAME extension (see RewriteXingTag) to describe the
// output's frames. Only that frame's bytes change, in place. Pass
// keepEndPadding when the output ends where the input ended, so the encoder's
// padding is still at its end.
XingResult UpdateOutputXingFrame(const std::string& outputPath, bool keepEndPadding, std::string& message);
// The same, saying what of the LAME extension's delay and padding still holds.
XingResult UpdateOutputXingFrame(const std::string& outputPath, const XingRewrite& keep,
                                 std::string& message);

// For a variable bit rate output that holds only frames (optionally after
// leading ID3v2 tags) and no tag frame: puts a fresh Xing frame describing
// them in front of the first frame. Writes a file beside the output and
// renames it over the output; on false the output is as it was and `message`
// names it and the reason (also when it already starts with a tag frame or
// holds no frame).
bool PrependXingFrame(const std::string& outputPath, std::string& message);

// Whether the file's frames (a leading tag frame left aside) have more than
// one bit rate: the case for PrependXingFrame. False when it cannot be read.
bool HoldsSeveralBitRates(const std::string& path);

// Whether the file's first frame (after any leading ID3v2 tags) is a
// Xing/Info/VBRI frame (the walk's frame 0 that is no audio), so that its
// audio starts at frame 1.
bool StartsWithXingFrame(const std::string& path);
// The same on an input already open.
bool StartsWithXingFrame(class SourceFile& source);
