// kerfwell-cut against outputs that are its inputs, files that are not
// regular files, size limits and signals: nothing is lost, the output ends on
// a whole frame, and the user is told.

#include <sys/resource.h>
#include <sys/stat.h>

#include "CliRunner.h"
#include "stream/Scanner.h"

namespace {

using namespace clitest;

class CliSafety : public CliRun {};

TEST_F(CliSafety, AnOutputThatIsAnInputIsRefusedBeforeAnythingIsWritten) {
  const std::string original = Slurp(Data("cbr128.mp3"));
  std::filesystem::copy_file(Data("cbr128.mp3"), Path("a.mp3"));
  std::filesystem::create_hard_link(Path("a.mp3"), Path("hard.mp3"));
  std::filesystem::create_symlink(Path("a.mp3"), Path("soft.mp3"));
  std::filesystem::create_directory(Path("sub"));
  const int fd = ::open(Path("a.mp3").c_str(), O_RDONLY);  // inherited by the child
  ASSERT_GE(fd, 0);
  const std::string procFd = "/proc/self/fd/" + std::to_string(fd);
  struct Case {
    const char* name;
    std::string output;
    std::vector<std::string> jobs;
  } cases[] = {
      {"hard link", Path("a.mp3"), {Data("mpeg2-l3.mp3"), Path("hard.mp3") + "@0-5"}},
      {"symlink as output", Path("soft.mp3"), {Path("a.mp3")}},
      {"symlink as input", Path("a.mp3"), {Data("cbr128.mp3"), Path("soft.mp3")}},
      {"relative spelling", "sub/../a.mp3", {Path("a.mp3") + "@1-2"}},
      {"/proc/self/fd spelling", procFd, {Path("a.mp3")}},
      {"/proc/self/fd as input", Path("a.mp3"), {procFd + "@0-3"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args{"cut", "-o", c.output};
    args.insert(args.end(), c.jobs.begin(), c.jobs.end());
    ExecSettings s;
    s.Cwd = dir_;
    const Outcome r = Exec(args, s);
    EXPECT_EQ(r.Status, 1);
    EXPECT_TRUE(Contains(r.Err, c.output + ": the output is also an input")) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "nothing written")) << r.Err;
    EXPECT_TRUE(Slurp(Path("a.mp3")) == original);
  }
  ::close(fd);
  // --overwrite empties nothing that is an input.
  EXPECT_EQ(Exec({"cut", "--overwrite", "-o", Path("hard.mp3"), Path("a.mp3")}).Status, 1);
  EXPECT_TRUE(Slurp(Path("a.mp3")) == original);
}

TEST_F(CliSafety, AnOutputNamedByAnotherJobIsRefusedEvenBeforeItExists) {
  const std::string in = Data("cbr128.mp3");
  // The output would be made by job 1 and read back by job 2.
  ExecSettings s;
  s.Cwd = dir_;
  Outcome r = Exec({"cut", "-o", "new.mp3", in + "@0-9", "new.mp3"}, s);
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, "new.mp3: the output is also an input (new.mp3)")) << r.Err;
  EXPECT_FALSE(std::filesystem::exists(Path("new.mp3")));
  r = Exec({"cut", "-o", Path("./later/../new.mp3"), in, Path("new.mp3") + "@1-2"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_FALSE(std::filesystem::exists(Path("new.mp3")));

  // An input that has vanished since, named as the output.
  std::filesystem::copy_file(in, Path("gone.mp3"));
  std::filesystem::create_symlink(Path("gone.mp3"), Path("link.mp3"));
  std::filesystem::remove(Path("gone.mp3"));
  r = Exec({"cut", "-o", Path("gone.mp3"), in + "@1-1", Path("gone.mp3")});
  EXPECT_EQ(r.Status, 1);
  EXPECT_FALSE(std::filesystem::exists(Path("gone.mp3")));
  // ... or reached through a symlink left dangling.
  r = Exec({"cut", "-o", Path("link.mp3"), in + "@1-1", Path("gone.mp3")});
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, "the output is also an input")) << r.Err;
  EXPECT_FALSE(std::filesystem::exists(Path("gone.mp3")));
}

TEST_F(CliSafety, FilesThatAreNotRegularAreRefusedWithoutBlocking) {
  const std::string fifo = Path("pipe.mp3");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  struct Case {
    const char* name;
    std::vector<std::string> args;
    const char* says;
  } cases[] = {
      {"FIFO as input to info", {"info", fifo}, "FIFO"},
      {"FIFO as input to cut", {"cut", "-o", Path("o1.mp3"), fifo}, "FIFO"},
      {"FIFO as output", {"cut", "-o", fifo, Data("cbr128.mp3")}, "FIFO"},
      {"FIFO as output, afresh", {"cut", "--overwrite", "-o", fifo, Data("cbr128.mp3")}, "FIFO"},
      {"/dev/zero as input", {"count", "/dev/zero"}, "character device"},
      {"/dev/zero as cut input", {"cut", "-o", Path("o2.mp3"), "/dev/zero@0-5"}, "character device"},
      {"/dev/full as output",
       {"cut", "-o", "/dev/full", Data("cbr128.mp3")},
       "/dev/full: it is a character device"},
      {"a directory as output",
       {"cut", "-o", dir_, Data("cbr128.mp3")},
       "it is a directory, not a regular file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto begun = std::chrono::steady_clock::now();
    ExecSettings s;
    s.TimeoutSeconds = 20;
    const Outcome r = Exec(c.args, s);
    ASSERT_FALSE(r.TimedOut) << "blocked";
    EXPECT_LT(std::chrono::steady_clock::now() - begun, std::chrono::seconds(1));
    EXPECT_EQ(r.Status, 1);
    EXPECT_TRUE(Contains(r.Err, c.says)) << r.Err;
  }
  EXPECT_FALSE(std::filesystem::exists(Path("o1.mp3")));
  EXPECT_FALSE(std::filesystem::exists(Path("o2.mp3")));
}

TEST_F(CliSafety, AnOutputThatCannotBeCreatedSaysWhy) {
  std::ofstream(Path("plain")) << "x";
  const Outcome r = Exec({"cut", "-o", Path("plain/out.mp3"), Data("cbr128.mp3"), Data("mpeg2-l3.mp3")});
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, "cannot create " + Path("plain/out.mp3") + ": Not a directory")) << r.Err;
  EXPECT_FALSE(Contains(r.Err, "job 1 of 2")) << "refused before any job ran: " << r.Err;
}

// The frames of a pure frame stream (no tags, no Info frame) as the engine
// counts them: where each starts, and where the last ends.
std::vector<std::int64_t> FrameEdges(const std::string& path) {
  FrameHeader reference;
  std::vector<std::int64_t> edges;
  if (!ProbeFile(path, reference)) return edges;
  std::string error;
  WalkFrames(
      path, reference, ScanOptions{},
      [&](const FrameVisit& v) {
        edges.push_back(v.Position);
        edges.push_back(-(v.Position + v.Length));  // its end, marked
        return true;
      },
      error);
  std::vector<std::int64_t> out;
  for (std::int64_t e : edges)
    if (e >= 0) out.push_back(e);
  if (!edges.empty()) out.push_back(-edges.back());
  return out;
}

// A CBR stream of `seconds` without an Info frame, made in `dir`.
std::string Stream(int seconds, const std::string& dir) {
  const std::string path = dir + "/plain-" + std::to_string(seconds) + "s.mp3";
  Shell("ffmpeg -v error -y -f lavfi -i 'sine=frequency=330:duration=" + std::to_string(seconds) +
        "' -ac 2 -ar 44100 -f wav - | lame --silent -t -b 128 - '" + path + "'");
  return path;
}

// Whether `output` is the first frames of `input`, ending exactly at the end
// of one of them.
::testing::AssertionResult EndsOnAWholeFrame(const std::string& output, const std::string& input) {
  const std::uintmax_t size = std::filesystem::file_size(output);
  const std::vector<std::int64_t> edges = FrameEdges(input);
  if (!std::binary_search(edges.begin(), edges.end(), static_cast<std::int64_t>(size)))
    return ::testing::AssertionFailure() << output << " ends inside a frame, at " << size;
  std::ifstream a(output, std::ios::binary), b(input, std::ios::binary);
  std::vector<char> x(1 << 20), y(1 << 20);
  for (std::uintmax_t left = size; left > 0;) {
    const std::streamsize n = static_cast<std::streamsize>(std::min<std::uintmax_t>(left, x.size()));
    a.read(x.data(), n);
    b.read(y.data(), n);
    if (!std::equal(x.begin(), x.begin() + n, y.begin()))
      return ::testing::AssertionFailure() << output << " differs from the input's frames";
    left -= static_cast<std::uintmax_t>(n);
  }
  return ::testing::AssertionSuccess() << size << " bytes";
}

TEST_F(CliSafety, ASizeLimitLeavesWholeFramesAndAMessage) {
  const std::string in = Stream(4, dir_);
  ASSERT_TRUE(std::filesystem::exists(in));
  ExecSettings s;
  s.InChild = [] {
    struct rlimit limit {
      50000, 50000
    };
    ::setrlimit(RLIMIT_FSIZE, &limit);
  };
  const Outcome r = Exec({"cut", "-o", Path("out.mp3"), in, in}, s);
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, "File too large")) << r.Err;
  // Job 1 put the frames that fit in before the limit: not passed over, counted.
  const std::vector<std::int64_t> edges = FrameEdges(in);
  const auto fit = std::upper_bound(edges.begin(), edges.end(), 50000) - edges.begin() - 1;
  EXPECT_TRUE(Contains(r.Err, "job 1 of 2: " + in + ": stopped after " + std::to_string(fit) +
                                  " of its frames reached " + Path("out.mp3")))
      << r.Err;
  EXPECT_TRUE(Contains(r.Err, "passed over job 2 of 2")) << r.Err;
  EXPECT_FALSE(Contains(r.Err, "passed over job 1 of 2")) << r.Err;
  EXPECT_TRUE(EndsOnAWholeFrame(Path("out.mp3"), in));
  EXPECT_LE(std::filesystem::file_size(Path("out.mp3")), 50000u);
}

TEST_F(CliSafety, AnAppendOnlyOutputThatCannotBeCutBackSaysWhereItsPartialFrameIs) {
  const std::string out = Path("append-only.mp3");
  std::ofstream(out).close();
  int status = -1;
  Shell("chattr +a '" + out + "' 2>/dev/null", &status);
  if (status != 0) GTEST_SKIP() << "chattr +a is not allowed here";
  ExecSettings s;
  s.InChild = [] {
    struct rlimit limit {
      40960, 40960
    };
    ::setrlimit(RLIMIT_FSIZE, &limit);
  };
  const Outcome r = Exec({"cut", "-o", out, Data("mpeg1-l2.mp2")}, s);  // frames of 576 bytes
  Shell("chattr -a '" + out + "'");
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, "the output ends with a partial frame at byte 40896")) << r.Err;
  EXPECT_TRUE(Contains(r.Err, ": stopped after 71 of its frames reached " + out)) << r.Err;
  EXPECT_EQ(std::filesystem::file_size(out), 40960u);
}

// A few hundred MB of frames, so that a signal finds the cut under way.
class CliSignals : public CliSafety {
 protected:
  static void SetUpTestSuite() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kerfwell-cli-big-XXXXXX").string();
    bigDir_ = ::mkdtemp(tmpl.data());
    big_ = bigDir_ + "/big.mp3";
    const std::string piece = Slurp(Stream(60, bigDir_));  // about 1 MB
    std::ofstream out(big_, std::ios::binary);
    for (int i = 0; i < 300; ++i) out << piece;
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(bigDir_); }
  static std::string big_;
  static std::string bigDir_;
};
std::string CliSignals::big_;
std::string CliSignals::bigDir_;

TEST_F(CliSignals, SigintAndSigtermStopOnAWholeFrame) {
  for (int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal == SIGINT ? "SIGINT" : "SIGTERM");
    const std::string out = Path(signal == SIGINT ? "int.mp3" : "term.mp3");
    const pid_t pid = Start({"cut", "-o", out, big_});
    // Signal once the output has grown.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    struct stat st {};
    while ((::stat(out.c_str(), &st) != 0 || st.st_size == 0) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    ::kill(pid, signal);
    const Outcome r = Finish(pid);
    ASSERT_FALSE(r.TimedOut);
    EXPECT_EQ(r.Status, 128 + signal) << r.Err;
    EXPECT_TRUE(Contains(r.Err, std::string("interrupted by ") + (signal == SIGINT ? "SIGINT" : "SIGTERM") +
                                    ": " + out + " ends on a whole frame, after "))
        << r.Err;
    EXPECT_LT(std::filesystem::file_size(out), std::filesystem::file_size(big_));
    EXPECT_TRUE(EndsOnAWholeFrame(out, big_));
  }
}

}  // namespace
