// The buffered engine against the plain position-by-position algorithm, on
// streams that put frames, false syncs and buffer boundaries everywhere; and
// cuts checked by rescanning them and by a real decoder.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>

#include "StreamFixtures.h"
#include "stream/ScanBuffer.h"
#include "stream/Scanner.h"

namespace kerfwell_test {
namespace {

// A stream of runs of frames of a few kinds, junk with sync-like bytes,
// invalid headers and frames with random bodies (which hold false syncs).
Bytes RandomStream(std::mt19937& rng, std::size_t approxSize) {
  const std::uint32_t kHeaders[] = {0xFFFB9064, 0xFFFB9264, 0xFFFBA064, 0xFFFF9004, 0xFFFF9204,
                                    0xFFF58404, 0xFFF58604, 0xFFF380C4, 0xFFFDEA04, 0xFFFB9000};
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  Bytes d;
  // Leading tags of any length, with and without a footer, sometimes two;
  // their bodies hold sync-like bytes that must not count.
  for (int tags = pick(3); tags > 0; --tags) {
    const int size = pick(3000);
    const bool footer = pick(2) == 0;
    d += "ID3";
    d += static_cast<char>(3 + pick(2));
    d += '\0';
    d += static_cast<char>(footer ? 0x10 : 0);
    for (int shift = 21; shift >= 0; shift -= 7) d += static_cast<char>((size >> shift) & 0x7F);
    for (int i = 0; i < size + (footer ? 10 : 0); ++i)
      d += static_cast<char>(pick(3) == 0 ? 0xFF : pick(256));
  }
  // Sometimes an encoder's tag frame in front, of any bit rate.
  if (pick(2) == 0) {
    const std::uint8_t rate = static_cast<std::uint8_t>(1 + pick(14));
    Bytes h("\xFF\xFB\x00\x64", 4);
    h[2] = static_cast<char>(rate << 4);
    Bytes frame = h;
    frame.resize(static_cast<std::size_t>(Decode(h).FrameLength), '\0');
    frame.replace(36, 4, pick(3) == 0 ? "VBRI" : pick(2) ? "Info" : "Xing");
    d += frame;
  }
  while (d.size() < approxSize) {
    const int what = pick(10);
    if (what < 2) {  // junk, sometimes with sync-like pairs, or zeros (a hole)
      const int n = 1 + pick(300);
      const bool hole = pick(3) == 0;
      for (int i = 0; i < n; ++i) d += static_cast<char>(hole ? 0 : pick(4) == 0 ? 0xFF : pick(256));
      continue;
    }
    const std::uint32_t hdr = kHeaders[what < 6 ? pick(2) : pick(10)];
    Bytes h(4, '\0');
    for (int i = 0; i < 4; ++i) h[static_cast<std::size_t>(i)] = static_cast<char>(hdr >> (24 - 8 * i));
    const FrameHeader fh = Decode(h);
    const int runs = 1 + pick(40);
    for (int r = 0; r < runs; ++r) {
      Bytes frame = h;
      const int length = fh.Invalid ? 100 + pick(400) : fh.FrameLength;
      const bool noisy = pick(3) == 0;
      while (frame.size() < static_cast<std::size_t>(length))
        frame += static_cast<char>(noisy ? pick(256) : 0x11 * (1 + pick(14)));
      d += frame;
    }
  }
  if (pick(2)) d.resize(d.size() - static_cast<std::size_t>(pick(600)));  // cut the last frame short
  // Tags appended at the end, their bodies full of sync-like bytes; now and
  // then one that is broken, and so junk to be scanned.
  auto body = [&](int n) {
    Bytes b;
    for (int i = 0; i < n; ++i) b += static_cast<char>(pick(3) == 0 ? 0xFF : pick(256));
    return b;
  };
  for (int tags = pick(4); tags > 0; --tags) {
    const int what = pick(4);
    if (what == 0) {
      const Bytes items = body(pick(2000));
      Bytes footer = "APETAGEX" + Bytes("\xD0\x07\0\0", 4);
      const std::size_t size = items.size() + 32 + (pick(8) == 0 ? 5000 : 0);
      for (int i = 0; i < 4; ++i) footer += static_cast<char>(size >> (8 * i));
      footer += Bytes(4, '\0') + Bytes(12, '\0');
      d += items + footer;
    } else if (what == 1) {
      const Bytes lyrics = "LYRICSBEGIN" + body(pick(900));
      char size[7];
      std::snprintf(size, sizeof size, "%06zu", lyrics.size() + (pick(8) == 0 ? 1 : 0));
      d += lyrics + size + "LYRICS200";
    } else if (what == 2) {
      const std::size_t n = static_cast<std::size_t>(pick(3000));
      Bytes size;
      for (int shift = 21; shift >= 0; shift -= 7) size += static_cast<char>((n >> shift) & 0x7F);
      d += "ID3\x04\0\x10" + size + body(static_cast<int>(n)) + "3DI\x04\0\x10" + size;
    } else {
      d += "TAG" + body(125);
    }
  }
  return d;
}

const std::size_t kBufferSizes[] = {kSmallestReadBuffer, 2049, 3001, 4096, 65536, kDefaultReadBuffer};

TEST(Oracle, BufferedScanEqualsThePlainAlgorithmCallForCall) {
  ScratchDir dir;
  std::mt19937 rng(20240611);
  int tagFrames = 0, trailingTags = 0;
  for (int round = 0; round < 32; ++round) {
    const Bytes d = RandomStream(rng, 20000 + rng() % 200000);
    WriteFile(dir / "in.mp3", d);
    FrameHeader plainRef;
    const std::int64_t first = PlainProbe(d, &plainRef);
    const std::int32_t start = static_cast<std::int32_t>(rng() % 50);
    const std::int32_t stop = start + static_cast<std::int32_t>(rng() % 400);
    const PlainScan plain = PlainScanFrames(d, start, stop, false, plainRef);
    ASSERT_GT(plain.Count, 0);
    tagFrames += plain.TagFrame;
    trailingTags += PlainAudioEnd(d, PlainTagsEnd(d)) < d.size();
    for (std::size_t buffer : kBufferSizes) {
      SCOPED_TRACE(testing::Message() << "round " << round << ", buffer " << buffer);
      FrameHeader ref;
      ASSERT_EQ(ProbeFileBuffered(dir / "in.mp3", ref, nullptr, buffer), first >= 0);
      EXPECT_EQ(ref.Position, plainRef.Position);
      EXPECT_EQ(ref.FrameLength, plainRef.FrameLength);

      const ScanResult counted = ScanFramesBuffered(dir / "in.mp3", "", 0, 100, true, ref, {}, buffer);
      EXPECT_EQ(counted.Count, plain.Count);

      std::vector<std::pair<std::int32_t, std::int32_t>> calls;
      const std::string out = dir / ("out" + std::to_string(buffer) + ".mp3");
      const ScanResult cut = ScanFramesBuffered(
          dir / "in.mp3", out, start, stop, false, ref,
          [&calls](std::int32_t done, std::int32_t total) { calls.emplace_back(done, total); }, buffer);
      EXPECT_TRUE(cut.Ok()) << cut.Message;
      EXPECT_EQ(cut.Count, plain.Count);
      EXPECT_EQ(cut.Written, static_cast<std::int32_t>(plain.Progress.size()));
      EXPECT_EQ(calls, plain.Progress);
      EXPECT_TRUE(ReadFile(out) == plain.Output) << "output differs";
      std::remove(out.c_str());

      EXPECT_EQ(cut.LeftOut, plain.LeftOut);
      EXPECT_EQ(cut.AudioWritten, plain.AudioWritten);
      EXPECT_EQ(counted.Copyable, plain.Copyable);

      // Ending after the range writes and reports the same.
      calls.clear();
      ScanOptions endAfter;
      endAfter.EndAfterRange = true;
      const ScanResult ended = ScanFramesBuffered(
          dir / "in.mp3", out, start, stop, false, ref,
          [&calls](std::int32_t done, std::int32_t total) { calls.emplace_back(done, total); }, buffer,
          endAfter);
      EXPECT_TRUE(ended.Ok()) << ended.Message;
      EXPECT_LE(ended.Count, plain.Count);
      // It stops short exactly when frames follow the range.
      EXPECT_EQ(ended.FramesAfterRange, stop < plain.Count - 1);
      EXPECT_EQ(ended.Count, std::min(plain.Count, stop + 1));
      EXPECT_EQ(calls, plain.Progress);
      EXPECT_TRUE(ReadFile(out) == plain.Output) << "output differs when ending after the range";
      std::remove(out.c_str());

      // Any bit rate: every frame of the reference's stream is copied.
      ScanOptions any;
      any.AnyBitRate = true;
      const PlainScan plainAny = PlainScanFrames(d, start, stop, false, plainRef, true);
      const ScanResult anyCut =
          ScanFramesBuffered(dir / "in.mp3", out, start, stop, false, ref, {}, buffer, any);
      EXPECT_EQ(anyCut.Count, plainAny.Count);
      EXPECT_EQ(anyCut.LeftOut, plainAny.LeftOut);
      EXPECT_TRUE(ReadFile(out) == plainAny.Output) << "output differs with any bit rate";
      std::remove(out.c_str());
    }
  }
  // The rounds met both a tag frame in front and tags at the end.
  EXPECT_GT(tagFrames, 4);
  EXPECT_GT(trailingTags, 4);
}

TEST(Oracle, ProbeAcrossBufferBoundariesNearTheWindowEnd) {
  ScratchDir dir;
  std::mt19937 rng(7);
  for (std::int64_t at : {2097147LL, 2097151LL, 2097152LL}) {
    Bytes d(static_cast<std::size_t>(at), '\0');
    for (auto& c : d)
      c = static_cast<char>(rng() % 4 == 0 ? 0xFF : rng() % 0xE0);  // never FF followed by E0+
    for (std::size_t i = 0; i + 1 < d.size(); ++i)
      if (static_cast<std::uint8_t>(d[i]) == 0xFF && static_cast<std::uint8_t>(d[i + 1]) >= 0xE0)
        d[i + 1] = 0;
    d += Frame128(false);
    WriteFile(dir / "in.mp3", d);
    for (std::size_t buffer : kBufferSizes) {
      FrameHeader ref;
      EXPECT_EQ(ProbeFileBuffered(dir / "in.mp3", ref, nullptr, buffer), at < 2097152) << at << " " << buffer;
    }
  }
}

std::int32_t CountFile(const std::string& path) {
  FrameHeader ref;
  if (!ProbeFile(path, ref)) return -1;
  return ScanFrames(path, "", 0, 100, true, ref).Count;
}

const char* const kRealFiles[] = {"cbr128.mp3",   "tagged.mp3",   "vbr.mp3",
                                  "mpeg2-l3.mp3", "mpeg1-l2.mp2", "mpeg2-l2.mp2"};

TEST(Oracle, RealFilesScanAsThePlainAlgorithmDoes) {
  for (const char* name : kRealFiles) {
    SCOPED_TRACE(name);
    const Bytes d = ReadFile(TestData(name));
    FrameHeader ref;
    ASSERT_GE(PlainProbe(d, &ref), 0);
    EXPECT_EQ(CountFile(TestData(name)), PlainScanFrames(d, 0, 100, true, ref).Count);
  }
}

TEST(Oracle, AdjacentRangesCutTogetherRebuildTheWholeCut) {
  ScratchDir dir;
  for (const char* name : kRealFiles) {
    SCOPED_TRACE(name);
    const std::string in = TestData(name);
    FrameHeader ref;
    ASSERT_TRUE(ProbeFile(in, ref));
    const std::int32_t count = ScanFrames(in, "", 0, 100, true, ref).Count;
    const std::string whole = dir / (std::string(name) + ".whole");
    ASSERT_TRUE(ScanFrames(in, whole, 0, count, false, ref).Ok());
    const std::vector<Bytes> accepted = AcceptedFrames(ReadFile(in), ref);

    for (std::int32_t k : {0, 1, count / 3, count - 2, count - 1}) {
      const std::string parts = dir / (std::string(name) + "." + std::to_string(k));
      const ScanResult a = ScanFrames(in, parts, 0, k, false, ref);
      const ScanResult b = ScanFrames(in, parts, k + 1, count, false, ref);
      EXPECT_EQ(a.Written + b.Written, static_cast<std::int32_t>(accepted.size()));
      EXPECT_TRUE(ReadFile(parts) == ReadFile(whole)) << "split at " << k;
    }
    // The cut is frames only: probing and counting it finds every one of them.
    StreamProbe outProbe;
    std::string error;
    ASSERT_TRUE(ProbeStream(whole, outProbe, error));
    EXPECT_EQ(outProbe.TagFrame ? outProbe.TagHeader.Position : outProbe.Reference.Position, 0);
    EXPECT_EQ(CountFile(whole), static_cast<std::int32_t>(accepted.size()));
    Bytes joined;
    for (const Bytes& f : accepted) joined += f;
    EXPECT_TRUE(ReadFile(whole) == joined);
  }
  // A stream without tags and of one bit rate comes out unchanged.
  EXPECT_TRUE(ReadFile(dir / "cbr128.mp3.whole") == ReadFile(TestData("cbr128.mp3")));
  EXPECT_TRUE(ReadFile(dir / "mpeg2-l2.mp2.whole") == ReadFile(TestData("mpeg2-l2.mp2")));
}

bool HaveFfmpeg() { return std::system("ffmpeg -version >/dev/null 2>&1") == 0; }

TEST(Oracle, WholeFileCutsDecodeWithoutErrors) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  ScratchDir dir;
  for (const char* name : {"cbr128.mp3", "tagged.mp3", "mpeg2-l3.mp3", "mpeg1-l2.mp2", "mpeg2-l2.mp2"}) {
    SCOPED_TRACE(name);
    const std::string in = TestData(name);
    const std::string out = dir / (std::string("cut-") + name);
    FrameHeader ref;
    ASSERT_TRUE(ProbeFile(in, ref));
    const ScanResult r = ScanFrames(in, out, 0, 0x7fffffff, false, ref);
    ASSERT_TRUE(r.Ok()) << r.Message;
    ASSERT_GT(r.Written, 50);
    const std::string log = dir / "ffmpeg.log";
    const std::string cmd = "ffmpeg -nostdin -v error -i '" + out + "' -f null - 2>'" + log + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(ReadFile(log), "");
  }
}

}  // namespace
}  // namespace kerfwell_test
