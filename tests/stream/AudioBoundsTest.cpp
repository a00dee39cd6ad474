// What is audio and what is not: tags appended after the audio, stray
// patterns where the scan has lost step, an encoder's tag frame in front of
// the audio, and streams that are not cut.

#include <gtest/gtest.h>

#include <random>

#include "StreamFixtures.h"
#include "stream/Scanner.h"
#include "stream/TrailingTags.h"

namespace kerfwell_test {
namespace {

Bytes Frames(int n, char first = 'a') {
  Bytes all;
  for (int i = 0; i < n; ++i) all += Frame128(i % 3 == 1, static_cast<char>(first + i % 20));
  return all;
}

// Bytes that a scan would take for frames: whole frames of the stream.
Bytes LookAlike(int frames) { return Frames(frames, 'A'); }

Bytes Le32(std::uint32_t v) {
  Bytes b(4, '\0');
  for (int i = 0; i < 4; ++i) b[static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
  return b;
}

Bytes Syncsafe(std::size_t v) {
  Bytes b;
  for (int shift = 21; shift >= 0; shift -= 7) b += static_cast<char>((v >> shift) & 0x7F);
  return b;
}

// An APEv2 tag of one binary item holding `item`, with or without its header.
Bytes Ape(const Bytes& item, bool header) {
  const Bytes items =
      Le32(static_cast<std::uint32_t>(item.size())) + Le32(2) + "Cover Art (Front)" + Bytes(1, '\0') + item;
  const std::uint32_t size = static_cast<std::uint32_t>(items.size() + 32);
  // Flags: bit 31 the tag has a header, bit 29 this block is the header.
  const std::uint32_t flags = header ? 0x80000000u : 0;
  auto block = [&](std::uint32_t f) {
    return "APETAGEX" + Le32(2000) + Le32(size) + Le32(1) + Le32(f) + Bytes(8, '\0');
  };
  return (header ? block(flags | 0x20000000u) : "") + items + block(flags);
}

Bytes Lyrics3(const Bytes& text) {
  const Bytes body = "LYRICSBEGIN" + text;
  char size[7];
  std::snprintf(size, sizeof size, "%06zu", body.size());
  return body + size + "LYRICS200";
}

// An ID3v2.4 tag with a footer, as appended at the end of a file.
Bytes AppendedId3v2(const Bytes& body) {
  return "ID3\x04" + Bytes(1, '\0') + "\x10" + Syncsafe(body.size()) + body + "3DI\x04" + Bytes(1, '\0') +
         "\x10" + Syncsafe(body.size());
}

const Bytes kId3v1 = "TAG" + Bytes(125, 't');

TEST(TrailingTags, StacksAreFoundFromTheEndAndNeverScanned) {
  const Bytes audio = Frames(10);
  const Bytes art = LookAlike(4);  // cover art whose bytes pass for frames
  using K = TrailingTagKind;
  struct Row {
    const char* what;
    Bytes tail;
    std::vector<K> kinds;  // from the end backwards; empty: the tail is no tag
  };
  const std::vector<Row> rows = {
      {"ID3v1", kId3v1, {K::Id3v1}},
      {"APEv2 with a header and a binary item", Ape(art, true), {K::Ape}},
      {"APE footer only, then ID3v1", Ape(art, false) + kId3v1, {K::Id3v1, K::Ape}},
      {"Lyrics3v2 before ID3v1", Lyrics3(art) + kId3v1, {K::Id3v1, K::Lyrics3v2}},
      {"APE, Lyrics3v2, ID3v1", Ape(art, true) + Lyrics3("words") + kId3v1, {K::Id3v1, K::Lyrics3v2, K::Ape}},
      {"Lyrics3v2, APE, ID3v1", Lyrics3("words") + Ape(art, true) + kId3v1, {K::Id3v1, K::Ape, K::Lyrics3v2}},
      {"appended ID3v2 with cover art", AppendedId3v2(art), {K::Id3v2}},
      {"appended ID3v2, APE, ID3v1",
       AppendedId3v2(art) + Ape(art, true) + kId3v1,
       {K::Id3v1, K::Ape, K::Id3v2}},
      // Not tags: what their readers would refuse is audio (or junk) to us.
      {"APE footer whose header is missing", Ape(art, true).substr(32), {}},
      {"Lyrics3v2 size that is no number", Lyrics3("words").replace(16, 1, "x"), {}},
      {"ID3v2 footer whose header disagrees", AppendedId3v2("body").replace(7, 1, "\x01"), {}},
      // Its own header makes it ten bytes shorter: the "3DI" is junk after it.
      {"ID3v2 footer of a tag whose flags declare none",
       AppendedId3v2("body").replace(5, 1, Bytes(1, '\0')).replace(19, 1, Bytes(1, '\0')), {}},
      {"ID3v1 not at the very end", kId3v1 + "x", {}},
  };
  ScratchDir dir;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    const Bytes d = audio + r.tail;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(d.data());
    const TrailingTags tags = FindTrailingTags(bytes, static_cast<std::int64_t>(d.size()), 0);
    const std::size_t audioEnd = r.kinds.empty() ? d.size() : audio.size();
    EXPECT_EQ(tags.AudioEnd, static_cast<std::int64_t>(audioEnd));
    EXPECT_EQ(PlainAudioEnd(d, 0), audioEnd) << "the model disagrees";
    ASSERT_EQ(tags.Tags.size(), r.kinds.size());
    std::int64_t end = static_cast<std::int64_t>(d.size());
    for (std::size_t i = 0; i < r.kinds.size(); ++i) {
      EXPECT_EQ(tags.Tags[i].Kind, r.kinds[i]) << i;
      EXPECT_EQ(tags.Tags[i].Offset + tags.Tags[i].Length, end) << "tags lie back to back";
      end = tags.Tags[i].Offset;
    }

    WriteFile(dir / "in.mp3", d);
    TrailingTags onFile;
    std::string error;
    ASSERT_TRUE(FindTrailingTags(dir / "in.mp3", onFile, error)) << error;
    EXPECT_EQ(onFile.AudioEnd, tags.AudioEnd);
    if (r.kinds.empty()) continue;
    FrameHeader ref;
    ASSERT_TRUE(ProbeFile(dir / "in.mp3", ref));
    const ScanResult count = ScanFrames(dir / "in.mp3", "", 0, 100, true, ref);
    EXPECT_EQ(count.Count, 10);
    EXPECT_EQ(count.Copyable, 10);
    std::remove((dir / "out.mp3").c_str());
    const ScanResult cut = ScanFrames(dir / "in.mp3", dir / "out.mp3", 0, 100, false, ref);
    EXPECT_EQ(cut.Written, 10);
    EXPECT_TRUE(ReadFile(dir / "out.mp3") == audio) << "only the audio is copied";
  }
}

TEST(TrailingTags, NoneReachesIntoTheLeadingTags) {
  // A file that is only tags: the APE tag would claim the ID3v2 tag in front.
  const Bytes lead = "ID3\x04" + Bytes(2, '\0') + Syncsafe(40) + Bytes(40, 'i');
  Bytes ape = Ape("x", false);
  ape.replace(ape.size() - 20, 4, Le32(static_cast<std::uint32_t>(ape.size() + 30)));
  const Bytes d = lead + ape;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(d.data());
  EXPECT_EQ(FindTrailingTags(bytes, static_cast<std::int64_t>(d.size()), 50).AudioEnd,
            static_cast<std::int64_t>(d.size()));
  EXPECT_EQ(FindTrailingTags(bytes, static_cast<std::int64_t>(d.size()), 0).AudioEnd, 20);
}

// Out of step, only a confirmed header starts frames again; in step, frame
// after frame, every valid header counts.
TEST(Resync, StrayPatternsOutOfStepAreNotFrames) {
  const Bytes stray = Bytes("\xFF\xFB\x90\x64", 4) + Bytes(37, 'j');  // valid, but nothing at its frame's end
  HeaderFields mono;
  mono.Mode = 3;
  HeaderFields k48;
  k48.SampleRateIndex = 1;
  // An ID3v2.3 tag whose declared size is 300 bytes short: the tail of its
  // picture, stray headers included, comes before the audio.
  const Bytes picture = Bytes(200, 'p') + stray + Bytes(59, 'p');
  const Bytes shortTag = "ID3\x03" + Bytes(2, '\0') + Syncsafe(100) + picture;
  struct Row {
    const char* what;
    Bytes data;
    std::int32_t count;
    Bytes copied;
  };
  const Bytes a = Frames(5), b = Frames(6, 'k');
  const std::vector<Row> rows = {
      {"a stray header in junk between frames", a + "junk" + stray + b, 11, a + b},
      {"a stray header in junk in front", stray + stray + a, 5, a},
      {"the tail of a tag whose size is short", shortTag + a, 5, a},
      {"a frame of another stream in step is counted", a + Frame(k48, 384, 'z') + b, 12, a + b},
      {"a frame of another mode in step is copied", a + Frame(mono, 417, 'm') + b, 12,
       a + Frame(mono, 417, 'm') + b},
      {"a lone frame after junk, ending at the end", a + "junk" + Frame128(false, 'e'), 6,
       a + Frame128(false, 'e')},
      {"a lone frame after junk, cut short", a + "junk" + Frame128(false, 'e').substr(0, 300), 5, a},
  };
  ScratchDir dir;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    WriteFile(dir / "in.mp3", r.data);
    FrameHeader ref;
    ASSERT_TRUE(ProbeFile(dir / "in.mp3", ref));
    std::remove((dir / "out.mp3").c_str());
    const ScanResult cut = ScanFrames(dir / "in.mp3", dir / "out.mp3", 0, 100, false, ref);
    EXPECT_EQ(cut.Count, r.count);
    EXPECT_TRUE(ReadFile(dir / "out.mp3") == r.copied);
    const PlainScan plain = PlainScanFrames(r.data, 0, 100, false, ref);
    EXPECT_EQ(plain.Count, r.count) << "the model disagrees";
    EXPECT_TRUE(plain.Output == r.copied) << "the model disagrees";
  }
}

// An Info frame of another bit rate than the audio (ffmpeg's at 32 kbps needs
// a bigger frame; lame's in VBR files).
Bytes InfoFrame(int bitRateIndex, int length, const char* id = "Info", std::size_t at = 36) {
  HeaderFields f;
  f.BitRateIndex = bitRateIndex;
  Bytes frame = Frame(f, length, '\0');
  frame.replace(at, 4, id);
  return frame;
}

TEST(TagFrame, TheReferenceIsTheFirstAudioFrame) {
  struct Row {
    const char* what;
    Bytes tagFrame;
  };
  const std::vector<Row> rows = {
      {"Info frame at 64 kbps", InfoFrame(5, 208)},
      {"Xing frame at 320 kbps", InfoFrame(14, 1044, "Xing")},
      {"VBRI frame at 160 kbps", InfoFrame(10, 522, "VBRI", 36)},
      {"Info frame of the audio's rate", InfoFrame(9, 417)},
  };
  ScratchDir dir;
  const Bytes audio = Frames(8);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    const Bytes d = Bytes(7, 'x') + r.tagFrame + audio;
    WriteFile(dir / "in.mp3", d);
    StreamProbe probe;
    std::string error;
    ASSERT_TRUE(ProbeStream(dir / "in.mp3", probe, error));
    EXPECT_TRUE(probe.TagFrame);
    EXPECT_EQ(probe.TagHeader.Position, 7);
    EXPECT_EQ(probe.TagHeader.FrameLength, static_cast<std::int32_t>(r.tagFrame.size()));
    EXPECT_EQ(probe.Reference.Position, static_cast<std::int64_t>(7 + r.tagFrame.size()));
    EXPECT_EQ(probe.Reference.FrameLength, 417);
    FrameHeader ref;
    ASSERT_TRUE(ProbeFile(dir / "in.mp3", ref));
    EXPECT_EQ(ref.Position, probe.Reference.Position) << "the window's reference is the audio's";

    // Frame 0 is counted and copied with its range; only audio frames count
    // as audio written.
    std::remove((dir / "all.mp3").c_str());
    const ScanResult all = ScanFrames(dir / "in.mp3", dir / "all.mp3", 0, 100, false, ref);
    EXPECT_EQ(all.Count, 9);
    EXPECT_EQ(all.Copyable, 9);
    EXPECT_EQ(all.LeftOut, 0);
    EXPECT_EQ(all.Written, 9);
    EXPECT_EQ(all.AudioWritten, 8);
    EXPECT_TRUE(ReadFile(dir / "all.mp3") == r.tagFrame + audio);
    std::remove((dir / "tag.mp3").c_str());
    const ScanResult tagOnly = ScanFrames(dir / "in.mp3", dir / "tag.mp3", 0, 0, false, ref);
    EXPECT_EQ(tagOnly.Written, 1);
    EXPECT_EQ(tagOnly.AudioWritten, 0) << "a tag frame alone is nothing to hear";
    std::remove((dir / "rest.mp3").c_str());
    const ScanResult rest = ScanFrames(dir / "in.mp3", dir / "rest.mp3", 3, 5, false, ref);
    EXPECT_EQ(rest.AudioWritten, 3);
    const PlainScan plain = PlainScanFrames(d, 0, 100, false, ref);
    EXPECT_TRUE(plain.TagFrame);
    EXPECT_EQ(plain.AudioWritten, 8);
  }
}

TEST(TagFrame, OnlyFrameZeroIsATagFrame) {
  // Two files joined: the second one's Info frame, of another length, is a
  // frame in the middle like any other.
  const Bytes first = InfoFrame(5, 208) + Frames(4);
  const Bytes joined = first + InfoFrame(5, 208) + Frames(4);
  ScratchDir dir;
  WriteFile(dir / "in.mp3", joined);
  FrameHeader ref;
  ASSERT_TRUE(ProbeFile(dir / "in.mp3", ref));
  const ScanResult r = ScanFrames(dir / "in.mp3", dir / "out.mp3", 0, 100, false, ref);
  EXPECT_EQ(r.Count, 10);
  EXPECT_EQ(r.Written, 9);
  EXPECT_EQ(r.LeftOut, 1);
  EXPECT_EQ(r.AudioWritten, 8);

  // A tag frame and nothing after it: it is the reference, for want of audio.
  WriteFile(dir / "lone.mp3", InfoFrame(5, 208));
  StreamProbe probe;
  std::string error;
  ASSERT_TRUE(ProbeStream(dir / "lone.mp3", probe, error));
  EXPECT_TRUE(probe.TagFrame);
  EXPECT_EQ(probe.Reference.FrameLength, 208);
  const ScanResult lone = ScanFrames(dir / "lone.mp3", dir / "lone-out.mp3", 0, 100, false, probe.Reference);
  EXPECT_EQ(lone.Written, 1);
  EXPECT_EQ(lone.AudioWritten, 0);
}

// MPEG 2.5 header fields: the MPEG-2 tables at a quarter of MPEG-1's rates.
Bytes Mpeg25Frames(int n) {
  HeaderFields f;
  f.VersionId = 0;
  f.BitRateIndex = 8;     // 64 kbps
  f.SampleRateIndex = 0;  // 11025 Hz: 72000 * 64 / 11025 = 417 bytes
  Bytes all;
  for (int i = 0; i < n; ++i) all += Frame(f, 417, static_cast<char>('a' + i));
  return all;
}

Bytes FreeFormatFrames(int n) {
  HeaderFields f;
  f.BitRateIndex = 0;
  Bytes all;
  for (int i = 0; i < n; ++i) all += Frame(f, 700, static_cast<char>('a' + i));
  return all;
}

TEST(Refusal, StreamsThatAreNotCutAndFilesThatAreNoAudioAreRefused) {
  std::mt19937 rng(19);
  // Each holds valid headers here and there, as such files do by chance:
  // taken for frames before headers had to be confirmed.
  auto sprinkle = [](Bytes& d, std::size_t from) {
    for (std::size_t i = from; i + 4 <= d.size(); i += 9973) d.replace(i, 4, "\xFF\xFB\x90\x64");
  };
  Bytes random(2u << 20, '\0');
  for (auto& c : random) c = static_cast<char>(rng());
  sprinkle(random, 0);
  Bytes wav = "RIFF" + Le32(36 + 518400) + "WAVEfmt " + Le32(16) + Bytes("\x01\x00\x02\x00", 4) +
              Le32(44100) + Le32(176400) + Bytes("\x04\x00\x10\x00", 4) + "data" + Le32(518400);
  for (int i = 0; i < 518400 / 2; ++i) wav += (rng() % 2) ? Bytes("\xFF\xFB", 2) : Bytes("\xFF\xFF", 2);
  sprinkle(wav, 44);
  Bytes png = "\x89PNG\r\n\x1a\n" + Bytes(100000, '\0');
  for (std::size_t i = 8; i < png.size(); ++i) png[i] = static_cast<char>(rng());  // deflated: near random
  sprinkle(png, 8);
  struct Row {
    const char* what;
    Bytes data;
    ProbeRefusal refusal;
  };
  const std::vector<Row> rows = {
      {"MPEG 2.5", Mpeg25Frames(20), ProbeRefusal::Mpeg25},
      {"free format", FreeFormatFrames(20), ProbeRefusal::FreeFormat},
      {"random bytes", random, ProbeRefusal::NoFrame},
      {"a WAV file", wav, ProbeRefusal::NoFrame},
      {"a PNG picture", png, ProbeRefusal::NoFrame},
  };
  ScratchDir dir;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    WriteFile(dir / "in.mp3", r.data);
    StreamProbe probe;
    std::string error;
    EXPECT_FALSE(ProbeStream(dir / "in.mp3", probe, error));
    EXPECT_EQ(error, "");
    EXPECT_EQ(probe.Refusal, r.refusal);
    EXPECT_TRUE(probe.Reference.Invalid);
    EXPECT_EQ(PlainProbe(r.data), -1) << "the model disagrees";
  }
  EXPECT_NE(ProbeRefusalDetail(ProbeRefusal::Mpeg25).find("MPEG 2.5"), std::string::npos);
  EXPECT_NE(ProbeRefusalDetail(ProbeRefusal::FreeFormat).find("free format"), std::string::npos);
}

}  // namespace
}  // namespace kerfwell_test
