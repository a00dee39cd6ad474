// The point grammar of START, STOP and split POINTs, and how points become
// frame indexes in streams of different frame durations.

#include <gtest/gtest.h>

#include <string>

#include "cli/JobArgument.h"
#include "cli/Split.h"
#include "cli/TimePoint.h"

namespace {

constexpr std::int64_t kMs = 1'000'000;

// A bare number is seconds, as players read it; frames carry an 'f'.
TEST(CliPointGrammar, EachFormReadsAsFramesOrNanoseconds) {
  constexpr std::int64_t kS = 1000 * kMs;
  struct Case {
    const char* text;
    bool isTime;
    std::int64_t value;  // frame, or nanoseconds
  } cases[] = {
      {"0f", false, 0},
      {"123f", false, 123},
      {"2147483647f", false, 2147483647},
      {"0", true, 0},
      {"5", true, 5 * kS},
      {"90", true, 90 * kS},
      {"120", true, 120 * kS},
      {"90.25", true, 90'250 * kMs},
      {"4000", true, 4000 * kS},
      {"1:30", true, 90'000 * kMs},
      {"0:01:30.250", true, 90'250 * kMs},
      {"1:02:03.4", true, 3'723'400 * kMs},
      {"90:00", true, 5'400'000 * kMs},  // minutes lead freely
      {"0:7", true, 7'000 * kMs},
      {"90.25s", true, 90'250 * kMs},
      {"12s", true, 12'000 * kMs},
      {"0.000000001s", true, 1},
      {"1:00.5", true, 60'500 * kMs},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    StreamPoint p;
    std::string error;
    ASSERT_TRUE(ParsePoint(c.text, p, error)) << error;
    EXPECT_EQ(p.IsTime, c.isTime);
    EXPECT_EQ(c.isTime ? p.Nanoseconds : p.Frame, c.value);
  }
}

TEST(CliPointGrammar, MalformedPointsAreRefusedWithTheGrammar) {
  for (const char* text :
       {"1:75",    "-3s", "1::2", ":30",        "1:",     "1:30:",           "1:2:3:4", "1:60",
        "1:60:00", "s",   ".5s",  "5.s",        "1.2.3s", "1:30s",           "abc",     "1e3s",
        "",        "+5s", "5 s",  "2147483648f", "-1",    "1:30.1234567890", "1:0:100", "3m",
        "0x10",    "1:3a", "f",   "1.5f", "-1f",        "5 f",    "1:30f",           "5sf",     "99999999999"}) {
    SCOPED_TRACE(text);
    StreamPoint p;
    std::string error;
    EXPECT_FALSE(ParsePoint(text, p, error));
    EXPECT_NE(error.find("[[H:]M:]S[.fff]"), std::string::npos) << error;
  }
}

// Frame edges fall on whole milliseconds at 48 kHz (24 ms a frame, 8 ms for
// Layer I), and at 1.28 s for 44.1 kHz Layer III (frame 49) and 22.05 kHz
// MPEG-2 Layer III (the same duration). A start selects the frame playing at
// the instant; a stop the last frame starting before it.
TEST(CliFrameClock, StartAndStopTimesAtEdgesAndInsideFrames) {
  const FrameClock mpeg1At44{1152, 44100, 0};
  const FrameClock mpeg1At48{1152, 48000, 0};
  const FrameClock mpeg2At22{576, 22050, 0};
  const FrameClock layer1At44{384, 44100, 0};
  const FrameClock layer1At48{384, 48000, 0};
  const FrameClock withInfoFrame{1152, 44100, 1};
  struct Case {
    const char* name;
    FrameClock clock;
    const char* time;
    std::int64_t start, stop;
  } cases[] = {
      {"48k edge", mpeg1At48, "0:00.240", 10, 9},
      {"48k inside", mpeg1At48, "0.25s", 10, 10},
      {"48k minute", mpeg1At48, "1:00", 2500, 2499},
      {"48k ten hours", mpeg1At48, "10:00:00", 1'500'000, 1'499'999},
      {"44.1k edge", mpeg1At44, "1.28s", 49, 48},
      {"44.1k just before edge", mpeg1At44, "1.279999999s", 48, 48},
      {"44.1k inside", mpeg1At44, "1:00", 2296, 2296},
      {"44.1k zero", mpeg1At44, "0s", 0, -1},
      {"22.05k edge", mpeg2At22, "0:01.28", 49, 48},
      {"22.05k inside", mpeg2At22, "2s", 76, 76},
      {"Layer I 44.1k edge", layer1At44, "1.28s", 147, 146},
      {"Layer I 44.1k inside", layer1At44, "1:00", 6890, 6890},
      {"Layer I 48k edge", layer1At48, "0.008s", 1, 0},
      {"Layer I 48k inside", layer1At48, "0.004s", 0, 0},
      {"Info frame takes no time", withInfoFrame, "0s", 1, 0},
      {"Info frame shifts edges", withInfoFrame, "1.28s", 50, 49},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StreamPoint p;
    std::string error;
    ASSERT_TRUE(ParsePoint(c.time, p, error)) << error;
    EXPECT_EQ(StartFrameOf(c.clock, p), c.start);
    EXPECT_EQ(StopFrameOf(c.clock, p), c.stop);
  }
  // Frame indexes are taken as they are, Info frame or not.
  StreamPoint frame{false, 7, 0};
  EXPECT_EQ(StartFrameOf(withInfoFrame, frame), 7);
  EXPECT_EQ(StopFrameOf(withInfoFrame, frame), 7);
}

TEST(CliJobRange, OpenEndsAndMixedBounds) {
  const FrameClock clock{1152, 48000, 0};
  struct Case {
    const char* arg;
    std::int32_t start, stop;
  } cases[] = {
      {"a.mp3@100f-", 100, 2147483647}, {"a.mp3@-2:00", 0, 4999},   {"a.mp3@0:00.240-20f", 10, 20},
      {"a.mp3@5f-0.25s", 5, 10},        {"a.mp3@-", 0, 2147483647}, {"dir@x/a.mp3@1:00-1:00.024", 2500, 2500},
      {"a.mp3@90-120", 3750, 4999},      {"a.mp3@-0f", 0, 0},        {"a.mp3@100f-100f", 100, 100},
      {"a.mp3@0.24-1", 10, 41},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arg);
    JobArgument job;
    std::string error;
    ASSERT_TRUE(ParseJob(c.arg, job, error)) << error;
    std::int32_t start = -1, stop = -1;
    ASSERT_TRUE(ResolveRange(job, clock, start, stop, error)) << error;
    EXPECT_EQ(start, c.start);
    EXPECT_EQ(stop, c.stop);
  }
  // A range that resolves to nothing is refused, not cut empty.
  JobArgument job;
  std::string error;
  std::int32_t start = -1, stop = -1;
  ASSERT_TRUE(ParseJob("a.mp3@20f-0.25s", job, error)) << error;
  EXPECT_FALSE(ResolveRange(job, clock, start, stop, error));
  EXPECT_NE(error.find("holds no frame"), std::string::npos) << error;
  // Malformed ranges, ranges that hold nothing as written, and an argument
  // that is neither a file nor a range (the '@' forgotten) are each refused:
  // the run treats them as usage errors.
  for (const char* bad : {"a.mp3@9f-5f", "a.mp3@9-5", "a.mp3@2s-1s", "a.mp3@1:75-", "a.mp3@--3s", "a.mp3@1-2-3",
                          "@1-2", "a.mp3@0.10.5-", "a.mp3@1x-", "a.mp3@0-endless", "a.mp3@end-1s-",
                          "a.mp3@0-end-5f", "a.mp3@-0:00", "a.mp3@0:00-0:00", "a.mp3@-0", "a.mp3@5-5",
                          "a.mp3@1:00-59", "0:10", "90", "0:10-0:20", "100f-", ""}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(ParseJob(bad, job, error));
    EXPECT_FALSE(error.empty());
  }
  ASSERT_TRUE(ParseJob(std::string(KERFWELL_TEST_DATA) + "/cbr128.mp3", job, error)) << error;
  EXPECT_TRUE(job.WholeFile);
  ASSERT_TRUE(ParseJob("no-such.mp3", job, error)) << error;  // reported when the run reaches it
  ASSERT_TRUE(ParseJob("a.mp3@-end-5", job, error)) << error;  // seconds from the end
  EXPECT_TRUE(job.Stop.FromEnd);
  EXPECT_EQ(job.Stop.Nanoseconds, 5000 * kMs);
}

TEST(CliJobGrammar, StopsFromTheEndBecomeTimesOnceTheLengthIsKnown) {
  const FrameClock clock{1152, 48000, 1};  // an Info frame at 0; 24 ms a frame
  JobArgument job;
  std::string error;
  std::int32_t start = -1, stop = -1;
  ASSERT_TRUE(ParseJob("a.mp3@0:01-end-0.5s", job, error)) << error;
  ASSERT_TRUE(job.Stop.FromEnd);
  EXPECT_EQ(job.Stop.Nanoseconds, 500'000'000);
  EXPECT_FALSE(ResolveRange(job, clock, start, stop, error));  // not before the length is known
  // 101 frames: 100 of audio, 2.4 s; the stop is 1.9 s, in audio frame 79.
  ResolveFromEnd(job, FrameStart(clock, 101));
  ASSERT_TRUE(ResolveRange(job, clock, start, stop, error)) << error;
  EXPECT_EQ(start, 42);  // 1 s is in audio frame 41
  EXPECT_EQ(stop, 80);
  ASSERT_TRUE(ParseJob("a.mp3@-end", job, error)) << error;
  ResolveFromEnd(job, FrameStart(clock, 101));
  ASSERT_TRUE(ResolveRange(job, clock, start, stop, error)) << error;
  EXPECT_EQ(stop, 100);
  // Further back than the audio is long: nothing is left.
  ASSERT_TRUE(ParseJob("a.mp3@0:01-end-3s", job, error)) << error;
  ResolveFromEnd(job, FrameStart(clock, 101));
  EXPECT_FALSE(ResolveRange(job, clock, start, stop, error));
}

TEST(CliSplitPlan, PointsBecomePieceStartsAndNames) {
  const FrameClock clock{1152, 48000, 1};  // an Info frame at 0; 24 ms a frame
  std::vector<StreamPoint> points(3);
  std::string error;
  ASSERT_TRUE(ParsePoint("10f", points[0], error));
  ASSERT_TRUE(ParsePoint("0:00.480", points[1], error));  // audio frame 20: index 21
  ASSERT_TRUE(ParsePoint("1s", points[2], error));        // inside audio frame 41: index 42
  std::vector<std::int32_t> starts;
  ASSERT_TRUE(SplitStarts(points, clock, 100, starts, error)) << error;
  EXPECT_EQ(starts, (std::vector<std::int32_t>{0, 10, 21, 42}));
  const std::vector<SplitPiece> pieces = NamePieces("/music/live.set.mp3", "", starts, 100);
  ASSERT_EQ(pieces.size(), 4u);
  EXPECT_EQ(pieces[0].Path, "/music/live.set_01.mp3");
  EXPECT_EQ(pieces[3].Path, "/music/live.set_04.mp3");
  EXPECT_EQ(pieces[0].Stop, 9);
  EXPECT_EQ(pieces[2].Start, 21);
  EXPECT_EQ(pieces[2].Stop, 41);
  EXPECT_EQ(pieces[3].Stop, 99);
  EXPECT_EQ(NamePieces("take", "out/", {0, 5}, 9)[1].Path, "out/take_02");
  EXPECT_EQ(NamePieces("/take.mp2", "", {0}, 9)[0].Path, "/take_01.mp2");

  // Points out of order, at the first frame or past the last are refused.
  for (const char* bad : {"0f", "100f", "5s", "5"}) {
    SCOPED_TRACE(bad);
    std::vector<StreamPoint> one(1);
    ASSERT_TRUE(ParsePoint(bad, one[0], error));
    EXPECT_FALSE(SplitStarts(one, clock, 100, starts, error));
  }
  std::swap(points[0], points[1]);
  EXPECT_FALSE(SplitStarts(points, clock, 100, starts, error));
}

TEST(CliSplitPlan, EveryLengthLeavesTheRestToTheLastPiece) {
  const FrameClock clock{1152, 48000, 0};
  std::vector<std::int32_t> starts;
  std::string error;
  StreamPoint length;
  ASSERT_TRUE(ParsePoint("1s", length, error));  // 41.67 frames: pieces start at 0, 41, 83, 125
  ASSERT_TRUE(EveryStarts(length, clock, 130, starts, error));
  EXPECT_EQ(starts, (std::vector<std::int32_t>{0, 41, 83, 125}));
  ASSERT_TRUE(ParsePoint("40f", length, error));
  ASSERT_TRUE(EveryStarts(length, clock, 120, starts, error));
  EXPECT_EQ(starts, (std::vector<std::int32_t>{0, 40, 80}));
  EXPECT_EQ(NamePieces("a.mp3", "", std::vector<std::int32_t>(120, 0), 200)[119].Path, "./a_120.mp3");
  ASSERT_TRUE(ParsePoint("0s", length, error));
  EXPECT_FALSE(EveryStarts(length, clock, 120, starts, error));
}

}  // namespace
