// Streams as encoders and taggers leave them: tags in front, frames at any
// alignment, frames of other lengths in between, stereo headers without flags.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "StreamFixtures.h"
#include "stream/OutputFile.h"
#include "stream/Scanner.h"

namespace kerfwell_test {
namespace {

// An ID3v2 tag of `body` bytes (10 + body in all, 20 + body with a footer).
Bytes Tag(std::size_t body, bool footer = false, char fill = 'T') {
  Bytes t = "ID3";
  t += '\x04';
  t += '\0';
  t += static_cast<char>(footer ? 0x10 : 0);
  for (int shift = 21; shift >= 0; shift -= 7) t += static_cast<char>((body >> shift) & 0x7F);
  // A tag's body may hold anything, frame headers included.
  Bytes inside = Frame128(false);
  inside.resize(body, fill);
  t += inside;
  if (footer) t += "3DI\x04" + Bytes(6, '\0');
  return t;
}

Bytes Frames(int n, int padEvery = 3) {
  Bytes all;
  for (int i = 0; i < n; ++i) all += Frame128(i % padEvery == 1, static_cast<char>('a' + i % 26));
  return all;
}

struct Scanned {
  bool Probed = false;
  FrameHeader Ref;
  ScanResult Count;
  Bytes Whole;  // a cut of every frame
};

Scanned ScanBytes(const ScratchDir& dir, const Bytes& d) {
  WriteFile(dir / "in.mp3", d);
  std::remove((dir / "out.mp3").c_str());
  Scanned s;
  s.Probed = ProbeFile(dir / "in.mp3", s.Ref);
  if (!s.Probed) return s;
  s.Count = ScanFrames(dir / "in.mp3", "", 0, 100, true, s.Ref);
  EXPECT_TRUE(ScanFrames(dir / "in.mp3", dir / "out.mp3", 0, 0x7fffffff, false, s.Ref).Ok());
  s.Whole = ReadFile(dir / "out.mp3");
  return s;
}

TEST(RealStreams, LeadingTagsAreSteppedOverByTheirDeclaredSize) {
  const Bytes frames = Frames(12);
  struct Row {
    const char* what;
    Bytes front;
    std::int64_t firstFrame;  // -1: the tag is not a tag
  };
  const Bytes longTag = Tag(5000);
  const std::vector<Row> rows = {
      {"no tag", "", 0},
      {"tag", Tag(100), 110},
      {"tag with footer", Tag(100, true), 120},
      {"two tags back to back", Tag(33) + Tag(7, true), 43 + 27},
      {"tag claiming past the end of the file", Bytes("ID3\x04\x00\x00\x7f\x7f\x7f\x7f", 10), -1},
      {"size byte of 0x80 or more", Bytes("ID3\x04\x00\x00\x00\x00\x80\x10", 10) + Bytes(16, 'x'), -1},
      {"version byte 0xFF", Bytes("ID3\xff\x00\x00\x00\x00\x00\x10", 10) + Bytes(16, 'x'), -1},
  };
  ScratchDir dir;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    const Scanned s = ScanBytes(dir, r.front + frames);
    ASSERT_TRUE(s.Probed);
    if (r.firstFrame >= 0) {
      EXPECT_EQ(s.Ref.Position, r.firstFrame);
      EXPECT_EQ(s.Count.Count, 12);
      EXPECT_TRUE(s.Whole == frames);
    } else {
      // Not a tag: its bytes are junk in front, and the frames still count.
      EXPECT_EQ(s.Ref.Position, static_cast<std::int64_t>(r.front.size()));
      EXPECT_EQ(s.Count.Count, 12);
    }
  }
}

TEST(RealStreams, TheFirstFrameIsMetAtAnyAlignmentAfterATag) {
  ScratchDir dir;
  // 48 kHz at 128 kbps: 384-byte frames, a multiple of four, so four-byte
  // steps out of step would never meet one.
  HeaderFields k48;
  k48.SampleRateIndex = 1;
  Bytes frames48;
  for (int i = 0; i < 9; ++i) frames48 += Frame(k48, 384, static_cast<char>('a' + i));
  const Bytes frames44 = Frames(9);
  for (std::size_t body = 20; body < 24; ++body) {
    for (const Bytes* frames : std::vector<const Bytes*>{&frames48, &frames44}) {
      SCOPED_TRACE(testing::Message()
                   << "tag of " << body + 10 << " bytes, frames of " << Decode(*frames).FrameLength);
      const Scanned s = ScanBytes(dir, Tag(body) + *frames);
      ASSERT_TRUE(s.Probed);
      EXPECT_EQ(s.Count.Count, 9);
      EXPECT_EQ(s.Count.Copyable, 9);
      EXPECT_TRUE(s.Whole == *frames);
      // Junk instead of a tag: met all the same.
      const Scanned j = ScanBytes(dir, Bytes(body, '\x01') + *frames);
      EXPECT_EQ(j.Count.Count, 9);
      EXPECT_TRUE(j.Whole == *frames);
    }
  }
}

TEST(RealStreams, AFrameOfAnotherLengthIsCountedAndSteppedOver) {
  ScratchDir dir;
  HeaderFields kbps160;
  kbps160.BitRateIndex = 10;
  const Bytes before = Frames(5), after = Frames(6, 2);
  const Bytes odd = Frame(kbps160, 522, 'o');
  WriteFile(dir / "in.mp3", before + odd + after);
  FrameHeader ref;
  ASSERT_TRUE(ProbeFile(dir / "in.mp3", ref));
  std::vector<std::pair<std::int32_t, std::int32_t>> calls;
  const ScanResult r =
      ScanFrames(dir / "in.mp3", dir / "out.mp3", 3, 8, false, ref,
                 [&calls](std::int32_t done, std::int32_t total) { calls.emplace_back(done, total); });
  EXPECT_EQ(r.Count, 12);
  EXPECT_EQ(r.Copyable, 11);
  EXPECT_EQ(r.Written, 5);  // frames 3, 4, 6, 7, 8
  EXPECT_EQ(r.LeftOut, 1);  // frame 5
  // Frames 3 and 4 are 417 and 418 bytes; 6, 7 and 8 are 417, 418 and 417.
  EXPECT_TRUE(ReadFile(dir / "out.mp3") == before.substr(before.size() - 835) + after.substr(0, 1252));
  EXPECT_EQ(calls.size(), 5u);

  // With any bit rate the odd frame is copied too.
  ScanOptions any;
  any.AnyBitRate = true;
  std::remove((dir / "out.mp3").c_str());
  const ScanResult all = ScanFrames(dir / "in.mp3", dir / "out.mp3", 0, 100, false, ref, {}, any);
  EXPECT_EQ(all.Written, 12);
  EXPECT_EQ(all.LeftOut, 0);
  EXPECT_TRUE(ReadFile(dir / "out.mp3") == before + odd + after);
}

TEST(RealStreams, AZeroFourthByteIsTakenOnlyWhereANeighbourConfirmsIt) {
  const Bytes z = Bytes("\xFF\xFB\x90\x00", 4);
  auto zframe = [&](char fill) { return z + Bytes(413, fill); };
  Bytes zs;
  for (int i = 0; i < 5; ++i) zs += zframe(static_cast<char>('p' + i));
  const Bytes id3v1 = "TAG" + Bytes(125, 'v');
  struct Row {
    const char* what;
    Bytes data;
    std::int64_t firstFrame;  // -1: not probed
    std::int32_t count;
    Bytes copied;
  };
  const std::vector<Row> rows = {
      {"confirmed by the next header, the last by the end of the file", zs, 0, 5, zs},
      {"the last before an ID3v1 tag, confirmed by the frame before", zs + id3v1, 0, 5, zs},
      {"a lone frame ending at the end of the file", "junk" + zframe('q'), 4, 1, zframe('q')},
      {"confirmed by a flagged header of the same stream", zframe('a') + Frame128(false), 0, 2,
       zframe('a') + Frame128(false)},
      {"isolated UTF-16 text", Bytes("\xFF\xFE\x41\x00\x42\x00\x43\x00", 8) + Bytes(600, 'x'), -1, 0, ""},
      // No header with flags came before the zeros: four zero bytes in step
      // are still no frame (a walk once stood still there).
      {"zero bytes after two of them, then more", zframe('a') + zframe('b') + Bytes(4, '\0') + zs, 0, 7,
       zframe('a') + zframe('b') + zs},
      {"next header of another sampling frequency",
       zframe('a') + Bytes("\xFF\xFB\x94\x00", 4) + Bytes(300, 'c'), -1, 0, ""},
  };
  ScratchDir dir;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    const Scanned s = ScanBytes(dir, r.data);
    EXPECT_EQ(s.Probed, r.firstFrame >= 0);
    if (!s.Probed) continue;
    EXPECT_EQ(s.Ref.Position, r.firstFrame);
    EXPECT_FALSE(s.Ref.Invalid);
    EXPECT_EQ(s.Ref.Byte3, 0);
    EXPECT_EQ(s.Ref.FrameLength, 417);
    EXPECT_EQ(s.Count.Count, r.count);
    EXPECT_TRUE(s.Whole == r.copied);
  }
}

TEST(RealStreams, TheProbeWindowCountsFromTheEndOfTheTags) {
  ScratchDir dir;
  const Bytes tag = Tag(1000);
  for (std::size_t junk : {std::size_t{2097151}, std::size_t{2097152}}) {
    Bytes d = tag + Bytes(junk, '\x01') + Frames(3);
    WriteFile(dir / "in.mp3", d);
    FrameHeader ref;
    EXPECT_EQ(ProbeFile(dir / "in.mp3", ref), junk < 2097152) << junk;
  }
}

TEST(RealStreams, AFrameRunningPastTheEndIsCountedNeverWritten) {
  ScratchDir dir;
  const Bytes frames = Frames(4);
  const Scanned s = ScanBytes(dir, frames + Frame128(false).substr(0, 200));
  EXPECT_EQ(s.Count.Count, 5);
  EXPECT_EQ(s.Count.Copyable, 4);
  EXPECT_TRUE(s.Whole == frames);
}

// A failed write is cut back only while its partial frame is still the end of
// the file: another writer's frames behind it are left alone.
TEST(RealStreams, CuttingBackNeverTakesAnotherWritersBytes) {
  ScratchDir dir;
  for (bool otherWriter : {false, true}) {
    SCOPED_TRACE(otherWriter ? "another writer appended" : "alone");
    const std::string path = dir / (otherWriter ? "b.mp3" : "a.mp3");
    WriteFile(path, "before");
    OutputFile out;
    std::string message;
    ASSERT_EQ(out.Open(path, message), ScanStatus::Ok);
    const Bytes partial = Frame128(false).substr(0, 100);
    std::size_t written = 0;
    ASSERT_TRUE(
        out.Write(reinterpret_cast<const std::uint8_t*>(partial.data()), partial.size(), written, message));
    if (otherWriter) {
      const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
      ASSERT_EQ(::write(fd, "theirs", 6), 6);
      ::close(fd);
    }
    message = "cannot write";
    out.CutBack(partial.size(), message);
    if (otherWriter) {
      EXPECT_TRUE(ReadFile(path) == "before" + partial + "theirs");
      EXPECT_NE(message.find("partial frame at byte 6"), std::string::npos) << message;
    } else {
      EXPECT_EQ(ReadFile(path), "before");
      EXPECT_EQ(message, "cannot write");
    }
  }
}

}  // namespace
}  // namespace kerfwell_test
