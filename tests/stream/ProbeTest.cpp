#include <gtest/gtest.h>

#include "StreamFixtures.h"
#include "stream/Scanner.h"

namespace kerfwell_test {
namespace {

FrameHeader Sentinel() {
  FrameHeader h;
  h.FrameLength = 4242;
  h.Position = -7;
  return h;
}

TEST(ProbeFile, FindsTheFirstValidHeaderWithOneByteSteps) {
  ScratchDir dir;
  Bytes stream = Bytes("\x01\x02\x03", 3) + Frame128(false) + Frame128(true);
  WriteFile(dir / "a.mp3", stream);
  FrameHeader ref;
  ASSERT_TRUE(ProbeFile(dir / "a.mp3", ref));
  EXPECT_FALSE(ref.Invalid);
  EXPECT_EQ(ref.Position, 3);
  EXPECT_EQ(ref.FrameLength, 417);
  EXPECT_EQ(ref.FileSize, static_cast<std::int64_t>(stream.size()));
}

TEST(ProbeFile, InvalidCandidatesBeforeTheFirstValidHeaderDoNotMatter) {
  ScratchDir dir;
  HeaderFields mpeg25;
  mpeg25.VersionId = 0;
  Bytes stream =
      Bytes("\xFF\xFB\x90\x00", 4) + HeaderBytes(mpeg25) + Bytes("\xFF\xFE\x4B\x00", 4) + Frame128(true);
  WriteFile(dir / "a.mp3", stream);
  FrameHeader ref;
  ASSERT_TRUE(ProbeFile(dir / "a.mp3", ref));
  EXPECT_EQ(ref.Position, 12);
  EXPECT_EQ(ref.FrameLength, 418);
}

TEST(ProbeFile, WithoutAValidHeaderTheReferenceHoldsTheLastCandidate) {
  ScratchDir dir;
  WriteFile(dir / "a.mp3", Bytes("zz\xFF\xFB\x90\x00qq\xFF\xF3\x9C\x40rrrr", 16));
  FrameHeader ref = Sentinel();
  EXPECT_FALSE(ProbeFile(dir / "a.mp3", ref));
  EXPECT_TRUE(ref.Invalid);
  EXPECT_EQ(ref.Position, 8);
  EXPECT_EQ(ref.Byte2, 0x9C);
}

TEST(ProbeFile, FailuresLeaveTheReferenceAsItWas) {
  ScratchDir dir;
  WriteFile(dir / "empty.mp3", "");
  WriteFile(dir / "text.txt", "no sync here at all, just text");
  WriteFile(dir / "short.mp3", "\xFF\xFB\x90");  // fewer than four bytes: not examined
  std::filesystem::create_directory(dir / "folder.mp3");
  for (const char* name : {"missing.mp3", "empty.mp3", "text.txt", "short.mp3", "folder.mp3"}) {
    SCOPED_TRACE(name);
    FrameHeader ref = Sentinel();
    std::string error;
    EXPECT_FALSE(ProbeFile(dir / name, ref, error));
    EXPECT_EQ(ref.FrameLength, 4242);
    EXPECT_EQ(ref.Position, -7);
    const bool unreadable = std::string(name) == "missing.mp3" || std::string(name) == "folder.mp3";
    EXPECT_EQ(!error.empty(), unreadable) << error;
    if (unreadable) {
      EXPECT_NE(error.find(dir / name), std::string::npos) << error;
    }
  }
}

// Out of step a header is taken only when what follows its frame confirms
// it: a header of its stream there, or the end of the audio.
TEST(ProbeFile, AHeaderIsTakenOnlyWhereWhatFollowsItsFrameConfirmsIt) {
  HeaderFields k48;  // 48 kHz: another stream than the 44.1 kHz frames
  k48.SampleRateIndex = 1;
  HeaderFields layer2;
  layer2.Layer = 2;
  const Bytes id3v1 = "TAG" + Bytes(125, 'v');
  struct Row {
    const char* what;
    Bytes data;
    std::int64_t reference;  // -1: refused
  };
  const std::vector<Row> rows = {
      {"a header in the last four bytes", Bytes(10, 'x') + HeaderBytes({}), -1},
      {"a lone frame cut short", Bytes(10, 'x') + Frame128(false).substr(0, 300), -1},
      {"a lone frame ending at the end of the file", Bytes(10, 'x') + Frame128(false), 10},
      {"a lone frame ending where an ID3v1 tag begins", Bytes(10, 'x') + Frame128(false) + id3v1, 10},
      {"followed by a frame of its stream", Bytes(3, 'x') + Frame128(false) + Frame128(true) + "junk", 3},
      {"followed by junk, then two frames", Frame128(false) + "junk" + Frame128(true) + Frame128(false) + "j",
       417 + 4},
      {"followed by a frame of another sampling frequency", Frame128(false) + Frame(k48, 384) + "j", -1},
      {"followed by a frame of another layer", Frame128(false) + Frame(layer2, 417) + "j", -1},
  };
  ScratchDir dir;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    WriteFile(dir / "a.mp3", r.data);
    FrameHeader ref;
    std::string error;
    EXPECT_EQ(ProbeFile(dir / "a.mp3", ref, error), r.reference >= 0);
    EXPECT_EQ(error, "");
    if (r.reference >= 0) {
      EXPECT_EQ(ref.Position, r.reference);
    } else {
      EXPECT_TRUE(ref.Invalid) << "the last candidate, not taken";
    }
  }
}

TEST(ProbeFile, TheWindowEndsAfterPosition2097151) {
  ScratchDir dir;
  for (std::int64_t at : {2097148LL, 2097150LL, 2097151LL, 2097152LL, 2097153LL}) {
    SCOPED_TRACE(at);
    // Junk with 0xFF bytes that are no candidates, and a candidate that is
    // invalid, so every way of skipping ahead is exercised.
    Bytes junk(static_cast<std::size_t>(at), '\0');
    for (std::size_t i = 0; i + 1 < junk.size(); i += 997) junk[i] = static_cast<char>(0xFF);
    junk.replace(100000, 4, Bytes("\xFF\xFB\x90\x00", 4));
    WriteFile(dir / "a.mp3", junk + Frame128(false));
    FrameHeader ref;
    const bool found = ProbeFile(dir / "a.mp3", ref);
    EXPECT_EQ(found, at <= 2097151);
    // Found: the header; not found: the last candidate examined.
    EXPECT_EQ(ref.Position, found ? at : 100000);
  }
}

TEST(ProbeFile, RealFilesFromEncoders) {
  // lame puts an Info frame in front: it is frame 0, and the reference is the
  // first audio frame after it.
  const struct {
    const char* name;
    std::int64_t tagFrame;  // -1: none
    std::int64_t position;
    int frameLength;
    int version, layer;
  } kCases[] = {
      {"cbr128.mp3", 0, 417, 417, 3, 1},
      // ID3v2 with UTF-16 text in front: FF FE 4B 00 at 0x4E is no header.
      {"tagged.mp3", 148, 148 + 417, 417, 3, 1},
      {"mpeg2-l3.mp3", 0, 208, 208, 2, 1},
      {"mpeg1-l2.mp2", -1, 0, 576, 3, 2},
      {"mpeg2-l2.mp2", -1, 0, 384, 2, 2},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    FrameHeader ref;
    ASSERT_TRUE(ProbeFile(TestData(c.name), ref));
    EXPECT_EQ(ref.Position, c.position);
    EXPECT_EQ(ref.FrameLength, c.frameLength);
    EXPECT_EQ(ref.VersionId, c.version);
    EXPECT_EQ(ref.Layer, c.layer);
    StreamProbe probe;
    std::string error;
    ASSERT_TRUE(ProbeStream(TestData(c.name), probe, error));
    EXPECT_EQ(probe.Reference.Position, c.position);
    EXPECT_EQ(probe.TagFrame, c.tagFrame >= 0);
    if (c.tagFrame >= 0) {
      EXPECT_EQ(probe.TagHeader.Position, c.tagFrame);
    }
    EXPECT_EQ(probe.AudioStart, c.tagFrame > 0 ? c.tagFrame : 0);
    EXPECT_EQ(probe.Refusal, ProbeRefusal::None);
  }
}

}  // namespace
}  // namespace kerfwell_test
