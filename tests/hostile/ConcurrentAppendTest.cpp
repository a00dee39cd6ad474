// Two cutters appending to one output on a disk that fills up: the lock keeps
// their runs apart, neither may cut away the other's frames, and only a
// cutter all of whose frames are in the output may say it succeeded.

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "HostileSupport.h"
#include "stream/Scanner.h"
#include "tests/stream/StreamFixtures.h"

namespace kerfwell_test {
namespace {

constexpr int kFramesPerFile = 600;
constexpr int kJobsPerCutter = 3;

TEST(ConcurrentAppend, TwoCuttersOnAFillingDiskKeepWholeFramesAndHonestStatuses) {
  const std::string cut = CutterBinary();
  ASSERT_EQ(::access(cut.c_str(), X_OK), 0) << cut;
  ScratchDir dir;
  // Each cutter's frames carry its own fill byte, so the output tells whose
  // frames reached it.
  const std::map<char, std::string> inputs = {{'A', dir / "a.mp3"}, {'B', dir / "b.mp3"}};
  for (const auto& [fill, path] : inputs) {
    Bytes d;
    for (int i = 0; i < kFramesPerFile; ++i) d += Frame128(i % 3 == 1, fill);
    WriteFile(path, d);
  }
  SmallDisk disk(dir / "disk");
  if (!disk.Mounted()) GTEST_SKIP() << "mounting a small tmpfs needs root";

  int successes = 0;
  int failures = 0;
  for (int round = 0; round < 8; ++round) {
    SCOPED_TRACE(testing::Message() << "round " << round);
    const std::string out = dir / "disk/out.mp3";
    std::remove(out.c_str());
    std::map<char, pid_t> pids;
    for (const auto& [fill, path] : inputs) {
      std::vector<std::string> args = {cut, "cut", "--append", "-o", out};
      for (int j = 0; j < kJobsPerCutter; ++j) args.push_back(path);
      pids[fill] = Spawn(args, dir / std::string(1, fill) + ".err");
      ASSERT_GT(pids[fill], 0);
    }
    std::map<char, int> status;
    for (const auto& [fill, pid] : pids) {
      int st = 0;
      ASSERT_EQ(::waitpid(pid, &st, 0), pid);
      ASSERT_TRUE(WIFEXITED(st));
      status[fill] = WEXITSTATUS(st);
    }

    // The output holds whole frames only, back to back.
    const Bytes data = ReadFile(out);
    std::map<char, int> frames;
    std::string owners;  // whose frames, run by run
    std::size_t at = 0;
    while (at + 4 <= data.size()) {
      const FrameHeader h = Decode(data, at);
      ASSERT_FALSE(h.Invalid) << "no frame at byte " << at << " of " << data.size();
      ASSERT_LE(at + static_cast<std::size_t>(h.FrameLength), data.size()) << "partial frame at byte " << at;
      const char owner = static_cast<char>(data[at + 4]);
      ++frames[owner];
      if (owners.empty() || owners.back() != owner) owners += owner;
      at += static_cast<std::size_t>(h.FrameLength);
    }
    EXPECT_EQ(at, data.size());
    // One run after the other, never interleaved.
    EXPECT_LE(owners.size(), 2u) << owners;
    for (const auto& [fill, code] : status) {
      const Bytes err = ReadFile(dir / std::string(1, fill) + ".err");
      if (code == 0) {
        ++successes;
        EXPECT_EQ(frames[fill], kFramesPerFile * kJobsPerCutter) << fill << " said it succeeded";
      } else {
        ++failures;
        EXPECT_EQ(code, 1) << err;
        EXPECT_NE(err.find("No space left on device"), std::string::npos) << err;
      }
    }
  }
  // 1.5 MB of frames for 1 MB of disk: somebody must have run out of room.
  EXPECT_GT(failures, 0);
  std::printf("two cutters, 8 rounds: %d succeeded, %d ran out of room\n", successes, failures);
}

}  // namespace
}  // namespace kerfwell_test
