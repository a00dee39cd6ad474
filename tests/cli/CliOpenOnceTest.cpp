// A job opens its input once: everything it learns and copies comes through
// that one descriptor, so a file put at the path meanwhile is never read.

#include <sys/file.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "CliRunner.h"

namespace clitest {
namespace {

class CliOpenOnce : public CliRun {
 protected:
  void Copy(const std::string& from, const std::string& to) const {
    std::ofstream(to, std::ios::binary) << Slurp(from);
  }

  // How often the run opened `input`, from an strace log of every process.
  static int OpensOf(const std::string& log, const std::string& input) {
    std::istringstream lines(Slurp(log));
    int opens = 0;
    for (std::string line; std::getline(lines, line);) {
      const bool open = Contains(line, "openat(") || Contains(line, " open(");
      if (open && Contains(line, "\"" + input + "\"")) ++opens;
    }
    return opens;
  }
};

TEST_F(CliOpenOnce, EachJobOpensItsInputOnce) {
  int status = 0;
  Shell("strace -V >/dev/null 2>&1", &status);
  if (status != 0) GTEST_SKIP() << "strace is not installed (scripts/install-deps installs it)";
  // Files with a Xing/LAME frame, with ID3v2 and ID3v1 tags, and plain.
  const std::string vbr = Path("vbr.mp3"), tagged = Path("tagged.mp3"), cbr = Path("cbr.mp3");
  Copy(Data("vbr.mp3"), vbr);
  Copy(Data("tagged.mp3"), tagged);
  Copy(Data("cbr128.mp3"), cbr);
  struct Case {
    std::vector<std::string> args;
    std::vector<std::pair<std::string, int>> opens;  // input, times opened
  };
  const std::string out = Path("out.mp3");
  const std::vector<Case> cases = {
      {{"count", vbr}, {{vbr, 1}}},
      {{"info", vbr}, {{vbr, 1}}},
      {{"info", tagged}, {{tagged, 1}}},
      {{"cut", "--any-bitrate", "-o", out, vbr + "@10f-100f"}, {{vbr, 1}}},
      {{"cut", "--any-bitrate", "-o", out, vbr + "@1s-3s"}, {{vbr, 1}}},
      {{"cut", "--any-bitrate", "-o", out, vbr + "@0:01-end-1s"}, {{vbr, 1}}},
      {{"cut", "--any-bitrate", "-o", out, vbr}, {{vbr, 1}}},
      {{"cut", "-o", out, cbr + "@10f-100f"}, {{cbr, 1}}},
      {{"cut", "-o", out, cbr + "@1s-3s"}, {{cbr, 1}}},
      {{"cut", "--tags", "-o", out, tagged + "@0:01-0:02"}, {{tagged, 1}}},
      {{"cut", "--frames", "-o", out, tagged + "@1s-"}, {{tagged, 1}}},
      // Two jobs, two inputs, one of them twice: once per job.
      {{"cut", "-o", out, cbr + "@0f-20f", tagged + "@5f-", cbr + "@30f-40f"}, {{cbr, 2}, {tagged, 1}}},
      {{"cut", "--each", "-d", Path("each"), cbr + "@0f-20f", tagged + "@1s-2s"}, {{cbr, 1}, {tagged, 1}}},
      {{"split", "--any-bitrate", "-d", Path("each"), vbr, "1s", "2s"}, {{vbr, 1}}},
      {{"split", "--frames", "--tags", "-d", Path("each"), tagged, "40f", "80f"}, {{tagged, 1}}},
      {{"split", "--every", "1s", "-d", Path("each"), cbr}, {{cbr, 1}}},
      {{"split", "--silence", "--dry-run", cbr}, {{cbr, 1}}},
  };
  for (const Case& c : cases) {
    // LeakSanitizer cannot work under ptrace: a sanitizer build is traced without it.
    std::string command = "ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0\" strace -f -qq -e trace=open,openat -o '" +
                          Path("trace") + "' '" + binary_ + "' -q";
    for (const std::string& a : c.args) command += " '" + a + "'";
    SCOPED_TRACE(command);
    std::remove(out.c_str());
    std::filesystem::remove_all(Path("each"));
    Shell(command + " >/dev/null 2>'" + Path("err") + "'", &status);
    // The search finds no silence in cbr128's tone: the dry run fails as the
    // split would, once it has read the file.
    const bool silence = std::find(c.args.begin(), c.args.end(), "--silence") != c.args.end();
    ASSERT_EQ(status, silence ? 1 : 0) << Slurp(Path("err"));
    for (const auto& [input, times] : c.opens) EXPECT_EQ(OpensOf(Path("trace"), input), times) << input;
  }
}

// A run opens its input before it waits for an output's lock; the file
// renamed over the input meanwhile must not be what is cut.
TEST_F(CliOpenOnce, AFileRenamedOverTheInputWhileTheRunWaitsIsNotCut) {
  const std::string in = Path("in.mp3"), other = Path("other.mp3");
  struct Case {
    const char* name;
    std::vector<std::string> args;  // of a run on `in` writing into `dir`
    std::string locked;             // the output the run waits for
    std::vector<std::string> outputs;
  };
  const std::string dir = Path("d");
  const std::vector<Case> cases = {
      {"cut", {"cut", "-q", "--append", "-o", dir + "/out.mp3", in + "@5f-14f"}, dir + "/out.mp3", {dir + "/out.mp3"}},
      {"cut --each", {"cut", "-q", "--each", "--overwrite", "-d", dir, in + "@5f-14f"}, dir + "/in.mp3", {dir + "/in.mp3"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // What the run gives on each file left alone.
    std::vector<std::string> first, second;
    for (const char* fixture : {"cbr128.mp3", "mpeg2-l3.mp3"}) {
      std::filesystem::remove_all(dir);
      std::filesystem::create_directories(dir);
      std::ofstream(c.locked, std::ios::binary).flush();
      Copy(Data(fixture), in);
      ASSERT_EQ(Exec(c.args).Status, 0) << Slurp(Path(".stderr"));
      for (const std::string& o : c.outputs) (first.size() < c.outputs.size() ? first : second).push_back(Slurp(o));
    }
    ASSERT_FALSE(first[0].empty());
    ASSERT_TRUE(first != second);

    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    Copy(Data("cbr128.mp3"), in);
    Copy(Data("mpeg2-l3.mp3"), other);
    std::ofstream(c.locked, std::ios::binary).flush();
    const int held = ::open(c.locked.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const pid_t run = Start(c.args);
    // Waiting for the lock says so; by then the input has been opened.
    for (int i = 0; i < 3000 && !Contains(Slurp(Path(".stderr")), "waiting for another run"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(Contains(Slurp(Path(".stderr")), "waiting for another run")) << Slurp(Path(".stderr"));
    ASSERT_EQ(std::rename(other.c_str(), in.c_str()), 0);
    ::close(held);
    const Outcome r = Finish(run);
    EXPECT_EQ(r.Status, 0) << r.Err;
    for (std::size_t k = 0; k < c.outputs.size(); ++k)
      EXPECT_TRUE(Slurp(c.outputs[k]) == first[k]) << c.outputs[k] << ": the run cut the file that took the input's place";
  }
}

// Every input of a run stays open until the run ends: more jobs than the
// soft limit of open files allows must still all be cut.
TEST_F(CliOpenOnce, MoreJobsThanTheSoftLimitOfOpenFilesAreAllCut) {
  const std::string in = Path("in.mp3"), out = Path("out.mp3");
  Copy(Data("cbr128.mp3"), in);
  ASSERT_EQ(Exec({"cut", "-q", "-o", Path("one.mp3"), in + "@3f-4f"}).Status, 0);
  const std::string one = Slurp(Path("one.mp3"));
  ASSERT_FALSE(one.empty());
  std::string command = "ulimit -Sn 128 && '" + binary_ + "' cut -q --frames -o '" + out + "'";
  for (int i = 0; i < 300; ++i) command += " '" + in + "@3f-4f'";
  int status = -1;
  Shell(command + " 2>'" + Path("err") + "'", &status);
  EXPECT_EQ(status, 0) << Slurp(Path("err"));
  // The Info frame aside (it is rewritten to count the output), 300 times
  // the same two frames.
  EXPECT_EQ(Slurp(out).size(), 300 * one.size()) << Slurp(Path("err"));
}

}  // namespace
}  // namespace clitest
