// kerfwell-cut against outputs that are its inputs, files that are not
// regular files, size limits and signals: nothing is lost, the output ends on
// a whole frame, and the user is told.

#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <set>

#include "CliRunner.h"
#include "stream/Scanner.h"
#include "stream/XingFrame.h"

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
      {"hard link", Path("a.mp3"), {Data("mpeg2-l3.mp3"), Path("hard.mp3") + "@0f-5f"}},
      {"symlink as output", Path("soft.mp3"), {Path("a.mp3")}},
      {"symlink as input", Path("a.mp3"), {Data("cbr128.mp3"), Path("soft.mp3")}},
      {"relative spelling", "sub/../a.mp3", {Path("a.mp3") + "@1f-2f"}},
      {"/proc/self/fd spelling", procFd, {Path("a.mp3")}},
      {"/proc/self/fd as input", Path("a.mp3"), {procFd + "@0f-3f"}},
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
  Outcome r = Exec({"cut", "-o", "new.mp3", in + "@0f-9f", "new.mp3"}, s);
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, "new.mp3: the output is also an input (new.mp3)")) << r.Err;
  EXPECT_FALSE(std::filesystem::exists(Path("new.mp3")));
  r = Exec({"cut", "-o", Path("./later/../new.mp3"), in, Path("new.mp3") + "@1f-2f"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_FALSE(std::filesystem::exists(Path("new.mp3")));

  // An input that has vanished since, named as the output.
  std::filesystem::copy_file(in, Path("gone.mp3"));
  std::filesystem::create_symlink(Path("gone.mp3"), Path("link.mp3"));
  std::filesystem::remove(Path("gone.mp3"));
  r = Exec({"cut", "-o", Path("gone.mp3"), in + "@1f-1f", Path("gone.mp3")});
  EXPECT_EQ(r.Status, 1);
  EXPECT_FALSE(std::filesystem::exists(Path("gone.mp3")));
  // ... or reached through a symlink left dangling.
  r = Exec({"cut", "-o", Path("link.mp3"), in + "@1f-1f", Path("gone.mp3")});
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
      {"/dev/zero as cut input", {"cut", "-o", Path("o2.mp3"), "/dev/zero@0f-5f"}, "character device"},
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
  const Outcome r = Exec({"cut", "--frames", "-o", Path("out.mp3"), in, in}, s);
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, "File too large")) << r.Err;
  // Job 1 put the frames that fit in before the limit, counted; nothing of
  // the run that failed takes the output's name.
  const std::vector<std::int64_t> edges = FrameEdges(in);
  const auto fit = std::upper_bound(edges.begin(), edges.end(), 50000) - edges.begin() - 1;
  EXPECT_TRUE(Contains(r.Err, "job 1 of 2: " + in + ": stopped after " + std::to_string(fit) +
                                  " of its frames reached " + Path("out.mp3")))
      << r.Err;
  EXPECT_TRUE(Contains(r.Err, "passed over job 2 of 2")) << r.Err;
  EXPECT_TRUE(Contains(r.Err, "the run did not do all it was asked: no output was made")) << r.Err;
  EXPECT_FALSE(std::filesystem::exists(Path("out.mp3")));
}

TEST_F(CliSafety, AnAppendOnlyOutputThatCannotBeCutBackSaysWhereItsPartialFrameIs) {
  // One frame of 576 bytes in it; 70 more fit under the limit, and a part of
  // the 71st.
  const std::string out = Path("append-only.mp3");
  std::ofstream(out, std::ios::binary) << Slurp(Data("mpeg1-l2.mp2")).substr(0, 576);
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
  const Outcome r = Exec({"cut", "--append", "-o", out, Data("mpeg1-l2.mp2")}, s);
  Shell("chattr -a '" + out + "'");
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, "the output ends with a partial frame at byte 40896")) << r.Err;
  EXPECT_TRUE(Contains(r.Err, ": stopped after 70 of its frames reached " + out)) << r.Err;
  EXPECT_TRUE(Contains(r.Err, out + " keeps the whole frames appended to it: they could not be taken back")) << r.Err;
  EXPECT_EQ(std::filesystem::file_size(out), 40960u);
}

void Write(const std::string& path, const std::string& bytes);
void WaitForSize(const std::string& path, std::int64_t bytes);
void WaitForUnnamedFile(pid_t pid, std::int64_t bytes);

const char* SignalName(int signal) {
  return signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : signal == SIGHUP ? "SIGHUP" : "?";
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
    // VBR frames without a tag frame: a cut with --any-bitrate reserves one.
    bigVbr_ = bigDir_ + "/big-vbr.mp3";
    const std::string vbr = bigDir_ + "/vbr-60s.mp3";
    Shell("ffmpeg -v error -y -f lavfi -i 'sine=frequency=330:duration=60' -f lavfi "
          "-i 'anoisesrc=color=pink:amplitude=0.2:duration=60:seed=5' -filter_complex '[0][1]amix=inputs=2' "
          "-ac 2 -ar 44100 -f wav - | lame --silent -t -V 2 - '" +
          vbr + "'");
    const std::string vbrPiece = Slurp(vbr);
    std::ofstream v(bigVbr_, std::ios::binary);
    for (int i = 0; i < 100; ++i) v << vbrPiece;
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(bigDir_); }
  static std::string big_;
  static std::string bigVbr_;
  static std::string bigDir_;
};
std::string CliSignals::big_;
std::string CliSignals::bigVbr_;
std::string CliSignals::bigDir_;

TEST_F(CliSignals, SigintSigtermAndSighupLeaveThePathAsItWas) {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    for (const bool append : {false, true}) {
      SCOPED_TRACE(std::string(SignalName(signal)) + (append ? " --append" : ""));
      const std::string out = Path(std::string(SignalName(signal)) + (append ? "-append" : "") + ".mp3");
      const std::string old = Slurp(Stream(1, dir_));
      if (append) Write(out, old);
      const pid_t pid = Start({"cut", append ? "--append" : "-q", "-o", out, big_});
      // Signalled once the output has grown.
      if (append) {
        WaitForSize(out, 1000000);
      } else {
        WaitForUnnamedFile(pid, 1000000);
      }
      ::kill(pid, signal);
      const Outcome r = Finish(pid);
      ASSERT_FALSE(r.TimedOut);
      EXPECT_EQ(r.Status, 128 + signal) << r.Err;
      EXPECT_TRUE(Contains(r.Err, std::string("interrupted by ") + SignalName(signal) + " after ")) << r.Err;
      if (append) {
        EXPECT_TRUE(Contains(r.Err, out + " was left as it was")) << r.Err;
        EXPECT_TRUE(Slurp(out) == old);
      } else {
        EXPECT_TRUE(Contains(r.Err, "no output was made")) << r.Err;
        EXPECT_FALSE(std::filesystem::exists(out));
      }
    }
  }
}

// ---- what a kill, a retry or another writer may not cost -------------------

// The bytes of frames [from, to] of a frames-only stream.
std::string FramesOf(const std::string& path, std::size_t from, std::size_t to) {
  const std::vector<std::int64_t> edges = FrameEdges(path);
  if (to + 1 >= edges.size()) return {};
  return Slurp(path).substr(static_cast<std::size_t>(edges[from]),
                            static_cast<std::size_t>(edges[to + 1] - edges[from]));
}

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The names in a folder.
std::set<std::string> Names(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

std::string Padded(std::string s, std::size_t n) {
  s.resize(n, ' ');
  return s;
}

TEST_F(CliSafety, AppendingLooksAtHowTheOutputEndsFirst) {
  const std::string in = Stream(4, dir_);
  const std::string base = FramesOf(in, 0, 9);
  const std::string added = FramesOf(in, 20, 24);
  ASSERT_FALSE(base.empty());
  const std::string id3v1 = Padded("TAGKerf Title", 128);
  // An APEv2 footer without items: version 2000, size 32, no header.
  const std::string ape = std::string("APETAGEX") + std::string("\xD0\x07\0\0", 4) + std::string("\x20\0\0\0", 4) +
                          std::string(16, '\0');
  const std::string lyrics = "LYRICSBEGININDTitle" + std::string("000019") + "LYRICS200";
  std::string id3v2 = "3DI\x04" + std::string(1, '\0') + std::string(1, '\x10') + std::string(4, '\0');
  id3v2 = "ID3\x04" + std::string(1, '\0') + std::string(1, '\x10') + std::string(4, '\0') + id3v2;
  struct Case {
    const char* name;
    std::string content;
    int status;
    const char* says;
  } cases[] = {
      {"a partial frame after the frames (a killed run)", base + added.substr(0, 200), 0,
       "ended in a partial frame: its last 200 bytes, after its last whole frame, were cut off"},
      {"two bytes of a header after the frames", base + "\xFF\xFB", 0, "its last 2 bytes"},
      {"text after the frames", base + "some words of text", 1,
       "does not end on a whole frame: the 18 bytes after its last frame"},
      {"no frames at all", "just text, no audio", 1, "holds no MPEG audio frame to append to"},
      {"an ID3v1 tag", base + id3v1, 1, "ends with an ID3v1 tag"},
      {"an APEv2 tag", base + ape, 1, "ends with an APEv2 tag"},
      {"an APEv2 tag before an ID3v1 tag", base + ape + id3v1, 1, "ends with an APEv2 tag"},
      {"a Lyrics3 block", base + lyrics, 1, "ends with a Lyrics3 tag"},
      {"an appended ID3v2 tag", base + id3v2, 1, "ends with an ID3v2 tag"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = Path("out.mp3");
    Write(out, c.content);
    // Byte copies: a joined append also changes free bytes of the last frames.
    const Outcome r = Exec({"cut", "--frames", "--append", "-o", out, in + "@20f-24f"});
    EXPECT_EQ(r.Status, c.status) << r.Err;
    EXPECT_TRUE(Contains(r.Err, c.says)) << r.Err;
    EXPECT_TRUE(Slurp(out) == (c.status == 0 ? base + added : c.content));
    if (c.status != 0) {
      EXPECT_TRUE(Contains(r.Err, "nothing appended")) << r.Err;
    }
  }

  // A tagged output made by --tags, then appended to.
  ASSERT_EQ(Exec({"cut", "--tags", "-o", Path("tagged.mp3"), Data("tagged.mp3") + "@1f-5f"}).Status, 0);
  const std::string tagged = Slurp(Path("tagged.mp3"));
  ASSERT_EQ(tagged.substr(tagged.size() - 128, 3), "TAG");
  const Outcome r = Exec({"cut", "--append", "-o", Path("tagged.mp3"), Data("tagged.mp3") + "@6f-9f"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, "ends with an ID3v1 tag: frames appended to it would follow the tag")) << r.Err;
  EXPECT_TRUE(Slurp(Path("tagged.mp3")) == tagged);
}

TEST_F(CliSafety, OverwriteKeepsTheOldOutputUntilTheRunHasSucceeded) {
  const std::string in = Stream(4, dir_);
  const std::string old = FramesOf(in, 0, 9);
  // A file whose first frame is 128 kbps and the rest 192 kbps: with
  // --one-bitrate every frame after the first is left out.
  Shell("ffmpeg -v error -y -f lavfi -i 'sine=frequency=550:duration=2' -ac 2 -ar 44100 -f wav - | "
        "lame --silent -t -b 192 - '" + Path("192.mp3") + "'");
  Write(Path("mixed.mp3"), FramesOf(in, 0, 0) + Slurp(Path("192.mp3")));
  struct Case {
    const char* name;
    std::string job;
    const char* says;
  } cases[] = {
      {"a missing input", Path("missing.mp3"), "No such file or directory"},
      {"a range after the last frame", in + "@500f-600f", "after the file's last frame"},
      {"every frame of the range left out", Path("mixed.mp3") + "@1f-10f", "were not copied"},
      {"only an Info frame", Data("cbr128.mp3") + "@0f-0f", "only the Xing/Info frame"},
      {"a file of no frames", Path("notes.txt"), "Is Something Strange With This File !"},
  };
  Write(Path("notes.txt"), "no frames in here");
  std::filesystem::create_directory(Path("o"));
  const std::string out = Path("o/out.mp3");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Write(out, old);
    ::chmod(out.c_str(), 0640);
    const Outcome r = Exec({"cut", "--one-bitrate", "--overwrite", "-o", out, c.job});
    EXPECT_EQ(r.Status, 1);
    EXPECT_TRUE(Contains(r.Err, c.says)) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "no audio frame reached " + out + "; " + out + " was left as it was")) << r.Err;
    EXPECT_TRUE(Slurp(out) == old);
    EXPECT_EQ(Names(Path("o")), std::set<std::string>{"out.mp3"});
  }
  // A run that succeeds replaces it, keeping its permissions.
  EXPECT_EQ(Exec({"cut", "--overwrite", "-o", out, in + "@3f-4f"}).Status, 0);
  EXPECT_TRUE(Slurp(out) == FramesOf(in, 3, 4));
  struct stat st {};
  ASSERT_EQ(::stat(out.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(Names(Path("o")), std::set<std::string>{"out.mp3"});
}

TEST_F(CliSafety, StandardOutputIntoAnInputIsRefused) {
  const std::string original = Slurp(Data("cbr128.mp3"));
  std::filesystem::copy_file(Data("cbr128.mp3"), Path("in.mp3"));
  std::filesystem::create_hard_link(Path("in.mp3"), Path("hard.mp3"));
  std::filesystem::create_symlink(Path("in.mp3"), Path("soft.mp3"));
  struct Case {
    const char* name;
    std::string target;
    int flags;
  } cases[] = {
      {">> in.mp3", Path("in.mp3"), O_WRONLY | O_APPEND},
      {"1<> in.mp3", Path("in.mp3"), O_RDWR},
      {">> a hard link of it", Path("hard.mp3"), O_WRONLY | O_APPEND},
      {">> a symlink to it", Path("soft.mp3"), O_WRONLY | O_APPEND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExecSettings s;
    const std::string target = c.target;
    const int flags = c.flags;
    s.InChild = [target, flags] {
      const int fd = ::open(target.c_str(), flags);
      ::dup2(fd, 1);
    };
    const Outcome r = Exec({"cut", "-o", "-", Path("in.mp3") + "@0f-9f"}, s);
    EXPECT_EQ(r.Status, 1);
    EXPECT_TRUE(Contains(r.Err, "standard output: the output is also an input (" + Path("in.mp3") + "@0f-9f)"))
        << r.Err;
    EXPECT_TRUE(Slurp(Path("in.mp3")) == original);
  }
  // Another file is fine.
  ExecSettings s;
  const std::string other = Path("other.mp3");
  s.InChild = [other] { ::dup2(::open(other.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644), 1); };
  EXPECT_EQ(Exec({"cut", "-o", "-", Path("in.mp3") + "@1f-9f"}, s).Status, 0);
  ASSERT_EQ(Exec({"cut", "-o", Path("expected.mp3"), Path("in.mp3") + "@1f-9f"}).Status, 0);
  EXPECT_TRUE(Slurp(other) == Slurp(Path("expected.mp3")));
}

// Whether `path` is a stream of whole frames back to back, and how many.
::testing::AssertionResult WholeFrames(const std::string& data, std::size_t& frames) {
  std::size_t at = 0;
  frames = 0;
  while (at + 4 <= data.size()) {
    FrameHeader h;
    const auto* b = reinterpret_cast<const std::uint8_t*>(data.data() + at);
    DecodeFrameHeader(b[0], b[1], b[2], b[3] == 0 ? 1 : b[3], 0, 0, h);
    if (h.Invalid) return ::testing::AssertionFailure() << "no frame at byte " << at;
    if (at + static_cast<std::size_t>(h.FrameLength) > data.size())
      return ::testing::AssertionFailure() << "partial frame at byte " << at;
    at += static_cast<std::size_t>(h.FrameLength);
    ++frames;
  }
  if (at != data.size()) return ::testing::AssertionFailure() << data.size() - at << " stray bytes at the end";
  return ::testing::AssertionSuccess();
}

// Waits until the file at `path` holds at least `bytes`.
void WaitForSize(const std::string& path, std::int64_t bytes) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  struct stat st {};
  while ((::stat(path.c_str(), &st) != 0 || st.st_size < bytes) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::microseconds(200));
}

// Waits until process `pid` has a file open that has no name (or whose name
// is gone) and holds at least `bytes`: a run writing where no path shows it.
void WaitForUnnamedFile(pid_t pid, std::int64_t bytes) {
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(fds, ec)) {
      const std::string target = std::filesystem::read_symlink(e.path(), ec).string();
      struct stat st {};
      if (Contains(target, "(deleted)") && ::stat(e.path().c_str(), &st) == 0 && st.st_size >= bytes) return;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

TEST_F(CliSignals, AKilledRunLeavesWholeFramesForTheNextAppend) {
  const std::string small = Stream(2, dir_);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    // Only an append writes in place: what a kill leaves of it is mended
    // by the next.
    const std::string out = Path("killed-" + std::to_string(round) + ".mp3");
    Write(out, FramesOf(small, 0, 4));
    const pid_t pid = Start({"cut", "--append", "-o", out, big_});
    WaitForSize(out, 1000000 + round * 3000000);
    ::kill(pid, SIGKILL);
    Finish(pid);
    const std::string killed = Slurp(out);
    const Outcome r = Exec({"cut", "--append", "-o", out, small + "@0f-9f"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::string mended = Slurp(out);
    const std::string tail = FramesOf(small, 0, 9);
    ASSERT_GT(mended.size(), tail.size());
    EXPECT_TRUE(mended.substr(mended.size() - tail.size()) == tail);
    const std::size_t kept = mended.size() - tail.size();
    EXPECT_TRUE(killed.compare(0, kept, mended, 0, kept) == 0);
    std::size_t frames = 0;
    EXPECT_TRUE(WholeFrames(mended, frames));
    // Either it ended on a whole frame, or the fragment was cut off and said so.
    if (kept < killed.size()) {
      EXPECT_TRUE(Contains(r.Err, "ended in a partial frame: its last " + std::to_string(killed.size() - kept)))
          << r.Err;
    } else {
      EXPECT_EQ(r.Err, "");
    }
  }
}

TEST_F(CliSignals, ASignalAfterTheLastFrameStillEndsTheRunWithItsStatus) {
  const std::string in = Stream(60, dir_);  // about 1 MB, more than a pipe holds
  const std::string whole = Slurp(in);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(SignalName(signal));
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ExecSettings s;
    s.InChild = [fds] {
      ::dup2(fds[1], 1);
      ::close(fds[0]);
    };
    const pid_t pid = Start({"cut", "-o", "-", in}, s);
    ::close(fds[1]);
    // Delivery begins only after the last frame is written: once the pipe
    // is full, the run waits in it.
    const int capacity = ::fcntl(fds[0], F_GETPIPE_SZ);
    int queued = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while ((::ioctl(fds[0], FIONREAD, &queued) != 0 || queued < capacity) &&
           std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(queued, capacity);
    ::kill(pid, signal);
    std::string delivered;
    char buffer[65536];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) delivered.append(buffer, static_cast<std::size_t>(n));
    ::close(fds[0]);
    const Outcome r = Finish(pid);
    EXPECT_EQ(r.Status, 128 + signal) << r.Err;
    EXPECT_TRUE(Contains(r.Err, std::string("interrupted by ") + SignalName(signal) +
                                    " after the last frame: standard output is complete"))
        << r.Err;
    EXPECT_TRUE(delivered == whole) << delivered.size() << " of " << whole.size() << " bytes";
  }
}

TEST_F(CliSignals, AKilledRunLeavesNoTemporaryFileAndAPlayableOutput) {
  std::filesystem::create_directory(Path("tmp"));
  std::filesystem::create_directory(Path("o"));
  ExecSettings s;
  const std::string tmp = Path("tmp");
  s.InChild = [tmp] { ::setenv("TMPDIR", tmp.c_str(), 1); };
  // Standard output: the frames go to a file of $TMPDIR first.
  pid_t pid = Start({"cut", "-o", "-", big_}, s);
  WaitForUnnamedFile(pid, 2000000);
  ::kill(pid, SIGKILL);
  Finish(pid);
  EXPECT_EQ(Names(tmp), std::set<std::string>{});

  // A new VBR output, killed or stopped by SIGTERM: nothing takes its name,
  // nothing is left anywhere.
  for (int signal : {SIGKILL, SIGTERM}) {
    SCOPED_TRACE(signal == SIGKILL ? "SIGKILL" : "SIGTERM");
    const std::string out = Path(std::string("o/vbr-") + (signal == SIGKILL ? "kill" : "term") + ".mp3");
    pid = Start({"cut", "--any-bitrate", "-o", out, bigVbr_}, s);
    WaitForUnnamedFile(pid, 2000000);
    ::kill(pid, signal);
    const Outcome r = Finish(pid);
    if (signal == SIGTERM) {
      EXPECT_EQ(r.Status, 143) << r.Err;
    }
    EXPECT_EQ(Names(tmp), std::set<std::string>{});
  }
  EXPECT_EQ(Names(Path("o")), std::set<std::string>{});
}

TEST_F(CliSignals, AnInterruptedOverwriteKeepsTheOldOutput) {
  std::filesystem::create_directory(Path("o"));
  const std::string out = Path("o/out.mp3");
  const std::string old = FramesOf(Stream(2, dir_), 0, 9);
  Write(out, old);
  const pid_t pid = Start({"cut", "--overwrite", "-o", out, big_});
  WaitForUnnamedFile(pid, 2000000);
  ::kill(pid, SIGTERM);
  const Outcome r = Finish(pid);
  EXPECT_EQ(r.Status, 143) << r.Err;
  EXPECT_TRUE(Contains(r.Err, "interrupted by SIGTERM after ")) << r.Err;
  EXPECT_TRUE(Contains(r.Err, out + " was left as it was")) << r.Err;
  EXPECT_TRUE(Slurp(out) == old);
  EXPECT_EQ(Names(Path("o")), std::set<std::string>{"out.mp3"});
}

TEST_F(CliSignals, ASecondRunOnALockedOutputWaitsForTheFirstOrIsRefused) {
  const std::string small = Stream(2, dir_);
  const std::string tail = FramesOf(small, 0, 9);
  const std::string big = Slurp(big_);
  // Each run's messages in a file of its own.
  auto errorsTo = [](const std::string& file) {
    return [file] { ::dup2(::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2); };
  };
  struct Case {
    const char* name;
    std::vector<std::string> first;  // the options of the first run
    std::string before;              // the output before it
  } cases[] = {
      {"appending", {"--append"}, ""},
      // The first run puts a new file in the old one's place: the second must
      // append to the new one.
      {"overwriting", {"--overwrite"}, FramesOf(small, 20, 29)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = Path(std::string(c.name) + ".mp3");
    if (!c.before.empty()) Write(out, c.before);
    ExecSettings a, b;
    a.InChild = errorsTo(Path("a.err"));
    b.InChild = errorsTo(Path("b.err"));
    std::vector<std::string> args{"cut"};
    args.insert(args.end(), c.first.begin(), c.first.end());
    args.insert(args.end(), {"-o", out, big_});
    const pid_t first = Start(args, a);
    WaitForUnnamedFile(first, 1000000);
    // Refused at once with --no-wait.
    ExecSettings n;
    n.InChild = errorsTo(Path("n.err"));
    const auto asked = std::chrono::steady_clock::now();
    const Outcome refused = Exec({"cut", "--append", "--no-wait", "-o", out, small + "@0f-9f"}, n);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(5));
    EXPECT_EQ(refused.Status, 1);
    EXPECT_TRUE(Contains(Slurp(Path("n.err")), out + " is being written by another run; nothing written"))
        << Slurp(Path("n.err"));
    // Waits, and appends once the first has finished.
    const pid_t second = Start({"cut", "--append", "-o", out, small + "@0f-9f"}, b);
    const Outcome one = Finish(first, 120);
    const Outcome two = Finish(second, 120);
    EXPECT_EQ(one.Status, 0) << Slurp(Path("a.err"));
    EXPECT_EQ(two.Status, 0) << Slurp(Path("b.err"));
    EXPECT_TRUE(Contains(Slurp(Path("b.err")), "waiting for another run to finish writing " + out))
        << Slurp(Path("b.err"));
    const std::string result = Slurp(out);
    const std::string expected = (c.first[0] == std::string("--append") ? c.before : "") + big + tail;
    EXPECT_EQ(result.size(), expected.size());
    EXPECT_TRUE(result == expected) << "frames were lost or interleaved";
  }
}

}  // namespace
