// Work that a user's input can make arbitrarily long: a split into pieces
// shorter than a frame is refused before the file is read, every plan has at
// most as many pieces as the file has frames, and SIGINT/SIGTERM end a run
// wherever it is, also in a long stretch of a file without frames.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "CliRunner.h"
#include "cli/ExactCut.h"
#include "cli/Split.h"
#include "cli/TimePoint.h"

namespace {

using namespace clitest;

constexpr std::int64_t kMs = 1'000'000;
constexpr int kFrameLength = 417;  // FF FB 90 64: MPEG-1 Layer III, 128 kbps, 44.1 kHz, no padding

// `frames` frames of one header, then (when hole > 0) a hole of that many
// zero bytes that costs no disk.
void WriteFrames(const std::string& path, int frames, std::int64_t hole = 0) {
  std::string frame(kFrameLength, '\x55');
  frame[0] = '\xFF', frame[1] = '\xFB', frame[2] = '\x90', frame[3] = '\x64';
  {
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < frames; ++i) out.write(frame.data(), kFrameLength);
  }
  if (hole > 0) {
    ASSERT_EQ(::truncate(path.c_str(), std::int64_t{frames} * kFrameLength + hole), 0);
  }
}

std::size_t FilesIn(const std::string& dir) {
  std::size_t n = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) n += e.is_regular_file() ? 1 : 0;
  return n;
}

TEST(CliEveryLength, ShorterThanOneFrameIsRefusedNamingTheShortest) {
  struct Case {
    const char* name;
    FrameClock clock;
    std::int64_t shortest;  // ns: one frame, rounded up
    const char* shown;
  } cases[] = {
      {"MPEG-1 Layer III, 44.1 kHz", {1152, 44100, 0}, 26'122'449, "0.026122449s"},
      {"with an Info frame", {1152, 44100, 1}, 26'122'449, "0.026122449s"},
      {"MPEG-1 Layer III, 48 kHz", {1152, 48000, 0}, 24 * kMs, "0.024s"},
      {"MPEG-2 Layer III, 22.05 kHz", {576, 22050, 0}, 26'122'449, "0.026122449s"},
      {"MPEG-2.5-like 8 kHz", {576, 8000, 0}, 72 * kMs, "0.072s"},
      {"Layer I, 48 kHz", {384, 48000, 0}, 8 * kMs, "0.008s"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ShortestEveryTime(c.clock), c.shortest);
    std::vector<std::int32_t> starts;
    std::string error;
    // Below one frame, in each spelling: refused, and the shortest is named.
    for (const char* text : {"0", "0s", "0.000000001s", "0:00.001"}) {
      SCOPED_TRACE(text);
      StreamPoint length;
      ASSERT_TRUE(ParsePoint(text, length, error)) << error;
      error.clear();
      EXPECT_FALSE(EveryStarts(length, c.clock, 1000, starts, error));
      EXPECT_TRUE(Contains(error, std::string("the shortest length is ") + c.shown)) << error;
    }
    StreamPoint length{true, 0, c.shortest - 1};
    EXPECT_FALSE(CheckEveryLength(length, c.clock, error));
    // The length named is taken, and every piece is then one frame (the Info
    // frame goes with the first).
    StreamPoint named;
    ASSERT_TRUE(ParsePoint(c.shown, named, error)) << error;
    EXPECT_EQ(named.Nanoseconds, c.shortest);
    ASSERT_TRUE(EveryStarts(named, c.clock, 1000, starts, error)) << error;
    ASSERT_EQ(starts.size(), 1000u - c.clock.FirstAudioFrame);
    for (std::size_t i = 1; i < starts.size(); ++i)
      ASSERT_EQ(starts[i], static_cast<std::int32_t>(i) + c.clock.FirstAudioFrame);
    // One frame as a number.
    ASSERT_TRUE(ParsePoint("1f", named, error));
    ASSERT_TRUE(EveryStarts(named, c.clock, 1000, starts, error));
    EXPECT_EQ(starts.size(), 1000u);
  }
}

TEST(CliEveryLength, APlanSeesTheCancelFlag) {
  const FrameClock clock{1152, 44100, 0};
  StreamPoint oneFrame{false, 1, 0};
  std::atomic<bool> cancel{true};
  std::vector<std::int32_t> starts;
  std::string error;
  EXPECT_FALSE(EveryStarts(oneFrame, clock, 1'000'000, starts, error, &cancel));
  EXPECT_EQ(error, "interrupted");
  EXPECT_LT(starts.size(), 10'000u);
  cancel = false;
  ASSERT_TRUE(EveryStarts(oneFrame, clock, 1'000'000, starts, error, &cancel));
  EXPECT_EQ(starts.size(), 1'000'000u);
}

// Sample-exact pieces of Layer III streams are planned on the player's clock:
// the same lengths are refused there, and a length of one frame makes at most
// a piece a frame.
TEST(CliEveryLength, SampleExactPlansTakeTheSameLengths) {
  GaplessStream stream;
  stream.SamplesPerFrame = 1152;
  stream.SampleRate = 44100;
  stream.Granules = 2;
  stream.FirstAudioFrame = 1;
  stream.AudioFrames = 2000;
  stream.Declared = true;
  stream.EncoderDelay = 576;
  stream.EndPadding = 1000;
  std::vector<std::int64_t> boundaries;
  std::string error;
  for (const char* text : {"0", "0s", "0.000000001s", "0:00.001", "0.026122448s"}) {
    SCOPED_TRACE(text);
    StreamPoint length;
    ASSERT_TRUE(ParsePoint(text, length, error)) << error;
    error.clear();
    EXPECT_FALSE(SplitBoundaries(stream, {}, &length, boundaries, error));
    EXPECT_TRUE(Contains(error, "the shortest length is 0.026122449s")) << error;
  }
  for (const char* text : {"0.026122449s", "1f"}) {
    SCOPED_TRACE(text);
    StreamPoint length;
    ASSERT_TRUE(ParsePoint(text, length, error));
    ASSERT_TRUE(SplitBoundaries(stream, {}, &length, boundaries, error)) << error;
    EXPECT_LE(boundaries.size(), 2000u);
    EXPECT_GE(boundaries.size(), 1990u);
    for (std::size_t i = 1; i < boundaries.size(); ++i) ASSERT_GT(boundaries[i], boundaries[i - 1]);
    EXPECT_LT(boundaries.back(), stream.Samples());
  }
}

class CliBounds : public CliRun {};

// Before, 0.000000001s planned (frames × 26 ms ÷ 1 ns) points and spun: no
// deadline was ever met, and signals went unheard.
TEST_F(CliBounds, ATinyEveryIsAUsageErrorBeforeTheFileIsRead) {
  const std::string big = Path("big.mp3");
  WriteFrames(big, 24'000);  // 10 MB, 10 minutes
  std::filesystem::create_directory(Path("pieces"));
  for (const char* length : {"0.000000001s", "0:00.001", "0.026s", "0.026122448s", "0s", "0"}) {
    SCOPED_TRACE(length);
    ExecSettings s;
    s.TimeoutSeconds = 30;
    const Outcome r = Exec({"split", "-d", Path("pieces"), "--every", length, big}, s);
    ASSERT_FALSE(r.TimedOut);
    EXPECT_EQ(r.Status, 2);
    EXPECT_TRUE(Contains(r.Err, std::string("--every ") + length +
                                    ": a length below one frame: the shortest length is 0.026122449s"))
        << r.Err;
    EXPECT_TRUE(Contains(r.Err, "Try 'kerfwell-cut --help'")) << r.Err;
    EXPECT_EQ(FilesIn(Path("pieces")), 0u);
  }
}

TEST_F(CliBounds, TheShortestLengthNamedSplitsIntoOneFramePieces) {
  const std::string in = Path("ten.mp3");
  WriteFrames(in, 10);
  std::filesystem::create_directory(Path("pieces"));
  const Outcome r = Exec({"split", "-q", "--frames", "-d", Path("pieces"), "--every", "0.026122449s", in});
  ASSERT_EQ(r.Status, 0) << r.Err;
  ASSERT_EQ(FilesIn(Path("pieces")), 10u);
  for (int i = 1; i <= 10; ++i) {
    const std::string piece = Path("pieces/ten_" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".mp3");
    EXPECT_EQ(std::filesystem::file_size(piece), static_cast<std::uintmax_t>(kFrameLength)) << piece;
  }
}

// How far the run has read its input: once it has read this much, it is past
// its start-up (and its signal handlers) and inside the long stretch.
// How far into `path` the run has read: through read calls, or through a
// mapping of the file, whose offset tells where the window stands.
std::int64_t BytesRead(pid_t pid, const std::string& path) {
  std::int64_t furthest = 0;
  std::ifstream io("/proc/" + std::to_string(pid) + "/io");
  std::string key;
  std::int64_t value = 0;
  while (io >> key >> value)
    if (key == "rchar:") furthest = value;
  std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
  const std::string canonical = std::filesystem::weakly_canonical(path).string();
  for (std::string line; std::getline(maps, line);) {
    if (line.size() < canonical.size() || line.compare(line.size() - canonical.size(), canonical.size(), canonical) != 0)
      continue;
    unsigned long long begin = 0, end = 0, offset = 0;
    if (std::sscanf(line.c_str(), "%llx-%llx %*s %llx", &begin, &end, &offset) == 3)
      furthest = std::max<std::int64_t>(furthest, static_cast<std::int64_t>(offset + (end - begin)));
  }
  return furthest;
}

// A few frames, then a hole of 1 TiB: reading it through takes minutes, with
// no frame in which a signal used to be looked at. The run must end within a
// deadline after the signal, on a whole frame.
TEST_F(CliBounds, SignalsEndALongScanOrPlanWhereverItIs) {
  const std::string big = Path("hole.mp3");
  WriteFrames(big, 50, std::int64_t{1} << 40);
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int signal;
    const char* said;
  } cases[] = {
      {"split counting, SIGTERM", {"split", "-q", "-d", Path("pieces"), "--every", "1f", big}, SIGTERM,
       "interrupted by SIGTERM"},
      {"split counting, SIGINT", {"split", "-q", "-d", Path("pieces"), "--every", "10s", big}, SIGINT,
       "interrupted by SIGINT"},
      // The plan walks on until the stream holds the last point, which the
      // frames before the hole do not.
      {"sample-exact split planning, SIGTERM", {"split", "-q", "-d", Path("pieces"), big, "0.5s", "2s"}, SIGTERM,
       "interrupted by SIGTERM while planning the pieces; nothing written"},
      {"frame split planning, SIGINT", {"split", "-q", "--frames", "-d", Path("pieces"), big, "0.5s", "2s"},
       SIGINT, "interrupted by SIGINT while planning the pieces; nothing written"},
      {"cut, SIGTERM", {"cut", "-q", "-o", Path("out.mp3"), big}, SIGTERM, "interrupted by SIGTERM"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(Path("pieces"));
    std::filesystem::create_directory(Path("pieces"));
    std::filesystem::remove(Path("out.mp3"));
    const pid_t pid = Start(c.args);
    // Deep in the hole: 64 MiB read. The furthest seen counts: between two
    // windows no part of the file is mapped, and a look then sees none.
    std::int64_t furthest = 0;
    for (int i = 0; i < 30'000 && furthest < (std::int64_t{64} << 20); ++i) {
      furthest = std::max(furthest, BytesRead(pid, big));
      if (furthest < (std::int64_t{64} << 20)) ::usleep(1000);
    }
    if (furthest < (std::int64_t{64} << 20)) {
      // A run that stands still must not outlive the test.
      ::kill(pid, SIGKILL);
      Finish(pid, 20);
      FAIL() << "the run never got into the hole";
    }
    ::kill(pid, c.signal);
    const Outcome r = Finish(pid, 20);
    ASSERT_FALSE(r.TimedOut) << "still running 20 s after the signal";
    EXPECT_EQ(r.Status, 128 + c.signal) << r.Err;
    EXPECT_TRUE(Contains(r.Err, c.said)) << r.Err;
    EXPECT_EQ(FilesIn(Path("pieces")), 0u);  // the signal came before any piece
    if (std::filesystem::exists(Path("out.mp3"))) {
      // The cut ends on a whole frame: those before the hole, or none.
      EXPECT_EQ(std::filesystem::file_size(Path("out.mp3")) % kFrameLength, 0u);
    }
  }
}

// Points that all lie before the hole: the plan of a sample-exact split needs
// nothing after the last of them, so the first piece is made while the walk
// that writes the pieces is still far from the end of the file. A count of the
// whole file first would stay in the hole for minutes with no piece made.
TEST_F(CliBounds, ASampleExactSplitMakesItsFirstPieceBeforeTheFileIsReadThrough) {
  const std::string big = Path("hole.mp3"), small = Path("frames.mp3");
  WriteFrames(big, 50, std::int64_t{1} << 40);
  WriteFrames(small, 50);
  std::filesystem::create_directory(Path("pieces"));
  std::filesystem::create_directory(Path("whole"));
  // The same plan on the frames alone: the pieces the split is to make.
  const Outcome alone = Exec({"split", "-q", "-d", Path("whole"), small, "0.5s"});
  ASSERT_EQ(alone.Status, 0) << alone.Err;
  const pid_t pid = Start({"split", "-q", "-d", Path("pieces"), big, "0.5s"});
  const std::string first = Path("pieces/hole_01.mp3");
  for (int i = 0; i < 60'000 && !std::filesystem::exists(first); ++i) ::usleep(1000);
  const bool made = std::filesystem::exists(first);
  ::kill(pid, SIGTERM);
  const Outcome r = Finish(pid, 20);
  ASSERT_FALSE(r.TimedOut) << "still running 20 s after the signal";
  ASSERT_TRUE(made) << "no piece within a minute: the run read the hole before writing";
  EXPECT_EQ(r.Status, 128 + SIGTERM) << r.Err;
  // The second piece was open, in the hole: it never takes its name.
  EXPECT_TRUE(Contains(r.Err, "interrupted by SIGTERM after 1 of 2 pieces were made; the piece being written was not kept"))
      << r.Err;
  EXPECT_FALSE(std::filesystem::exists(Path("pieces/hole_02.mp3")));
  EXPECT_EQ(Slurp(first), Slurp(Path("whole/frames_01.mp3")));
}

}  // namespace
