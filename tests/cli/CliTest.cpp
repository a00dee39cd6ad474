// kerfwell-cut as scripts see it: its output, its messages and exit status.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Data(const std::string& name) { return std::string(KERFWELL_TEST_DATA) + "/" + name; }

struct Outcome {
  int Status = -1;
  std::string Out;
  std::string Err;
};

class Cli : public testing::Test {
 protected:
  void SetUp() override {
    const char* cut = std::getenv("KERFWELL_CUT");
    binary_ = cut ? cut : std::string(KERFWELL_BINARY_DIR) + "/cli/kerfwell-cut";
    std::string tmpl = (std::filesystem::temp_directory_path() / "kerfwell-cli-XXXXXX").string();
    dir_ = ::mkdtemp(tmpl.data());
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  Outcome Exec(const std::vector<std::string>& args) const {
    const std::string out = Path(".stdout"), err = Path(".stderr");
    const pid_t pid = ::fork();
    if (pid == 0) {
      const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(o, 1);
      ::dup2(e, 2);
      std::vector<char*> argv{const_cast<char*>(binary_.c_str())};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(binary_.c_str(), argv.data());
      ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    Outcome r;
    r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.Out = Slurp(out);
    r.Err = Slurp(err);
    return r;
  }

  std::string binary_;
  std::string dir_;
};

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(Cli, InfoPrintsTheStreamOfTheFirstValidHeader) {
  Outcome r = Exec({"info", Data("cbr128.mp3")});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out,
            "Version: MPEG 1\nLayer: III\nBitRate: 128 kbps\nSampleRate: 44100 Hz\nMode: Joint-Stereo\n"
            "Copyrighted: No\nOriginal: Yes\nFrames: 117\nDuration: 00:00.03\nFirstFrame: 0\n");
  EXPECT_EQ(r.Err, "");

  r = Exec({"info", Data("mpeg2-l2.mp2")});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out,
            "Version: MPEG 2\nLayer: II\nBitRate: 64 kbps\nSampleRate: 24000 Hz\nMode: Stereo\n"
            "Copyrighted: No\nOriginal: Yes\nFrames: 63\nDuration: 00:00.03\nFirstFrame: 0\n");

  r = Exec({"info", Data("tagged.mp3")});
  EXPECT_TRUE(Contains(r.Out, "\nFirstFrame: 148\n")) << r.Out;
  r = Exec({"info", Data("mpeg2-l3.mp3")});
  EXPECT_TRUE(Contains(r.Out, "Mode: Single Channel\n")) << r.Out;
}

TEST_F(Cli, CountPrintsTheNumberAlone) {
  const Outcome r = Exec({"count", Data("mpeg1-l2.mp2")});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out, "84\n");
}

TEST_F(Cli, RefusedAndMissingInputsSayWhichAndWhy) {
  std::ofstream(Path("notes.txt")) << "no frames in here";
  for (const char* command : {"info", "count"}) {
    SCOPED_TRACE(command);
    Outcome r = Exec({command, Path("notes.txt")});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Out, "");
    EXPECT_TRUE(Contains(r.Err, "Is Something Strange With This File !")) << r.Err;
    EXPECT_TRUE(Contains(r.Err, Path("notes.txt"))) << r.Err;

    r = Exec({command, Path("missing.mp3")});
    EXPECT_EQ(r.Status, 1);
    EXPECT_TRUE(Contains(r.Err, Path("missing.mp3") + ": No such file or directory")) << r.Err;
    EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << r.Err;
  }
}

TEST_F(Cli, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"split", "x.mp3"},
      {"info"},
      {"info", "a.mp3", "b.mp3"},
      {"count"},
      {"cut", Data("cbr128.mp3")},
      {"cut", "-o", Path("out.mp3")},
      {"cut", "-o"},
      {"cut", "-x", "-o", Path("out.mp3"), Data("cbr128.mp3")},
  };
  for (const auto& args : cases) {
    const Outcome r = Exec(args);
    EXPECT_EQ(r.Status, 2) << testing::PrintToString(args);
    EXPECT_TRUE(Contains(r.Err, "--help")) << r.Err;
  }
  EXPECT_FALSE(std::filesystem::exists(Path("out.mp3")));
}

TEST_F(Cli, HelpShowsTheWholeInterface) {
  const Outcome r = Exec({"--help"});
  EXPECT_EQ(r.Status, 0);
  for (const char* part : {"info PATH", "count PATH", "cut -o OUTPUT JOB...", "PATH@START-STOP",
                           "Is Something Strange With This File !", "Exit status", "2 for a usage error"})
    EXPECT_TRUE(Contains(r.Out, part)) << part;
}

TEST_F(Cli, CutAppendsJobsInOrder) {
  const std::string in = Data("cbr128.mp3");
  const std::string whole = Slurp(in);
  Outcome r = Exec({"cut", "-o", Path("whole.mp3"), in});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Err, "");  // standard error is no terminal: no progress bar
  EXPECT_TRUE(Slurp(Path("whole.mp3")) == whole);

  // Frames 0-9 and 10-116 rebuild the file, appended after what is there.
  std::ofstream(Path("parts.mp3")) << "head";
  r = Exec({"cut", "-o", Path("parts.mp3"), in + "@0-9", in + "@10-116"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(Slurp(Path("parts.mp3")) == "head" + whole);

  // Frame 0 is 417 bytes; new directories are made for the output.
  r = Exec({"cut", "-o", Path("new/dir/first.mp3"), in + "@0-0"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(Slurp(Path("new/dir/first.mp3")) == whole.substr(0, 417));

  // A path with an '@' of its own and no range is taken whole.
  std::filesystem::copy_file(in, Path("live@club.mp3"));
  r = Exec({"cut", "-o", Path("at.mp3"), Path("live@club.mp3")});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(Slurp(Path("at.mp3")) == whole);
}

TEST_F(Cli, CutPassesOverBadJobsAndGoesOn) {
  const std::string in = Data("cbr128.mp3");
  std::ofstream(Path("notes.txt")) << "no frames in here";
  const Outcome r = Exec({"cut", "-o", Path("out.mp3"), in + "@9-5", Path("missing.mp3"), in + "@0-0",
                      Path("notes.txt"), in + "@x-3", in + "@1-1"});
  EXPECT_EQ(r.Status, 1);
  ASSERT_EQ(Exec({"cut", "-o", Path("expected.mp3"), in + "@0-1"}).Status, 0);
  EXPECT_TRUE(Slurp(Path("out.mp3")) == Slurp(Path("expected.mp3")));
  for (const std::string& passed : {"job 1 of 6: " + in + "@9-5", "job 2 of 6: " + Path("missing.mp3"),
                                    "job 4 of 6: " + Path("notes.txt"), "job 5 of 6: " + in + "@x-3"})
    EXPECT_TRUE(Contains(r.Err, "passed over " + passed)) << r.Err;
  EXPECT_FALSE(Contains(r.Err, "job 3 of 6")) << r.Err;
  EXPECT_FALSE(Contains(r.Err, "job 6 of 6")) << r.Err;
  EXPECT_TRUE(Contains(r.Err, Path("missing.mp3") + ": No such file or directory")) << r.Err;
  EXPECT_TRUE(Contains(r.Err, "Is Something Strange With This File !")) << r.Err;
}

TEST_F(Cli, AnOutputThatIsAnInputIsRefusedBeforeAnythingIsWritten) {
  std::filesystem::copy_file(Data("cbr128.mp3"), Path("a.mp3"));
  std::filesystem::create_hard_link(Path("a.mp3"), Path("b.mp3"));
  const Outcome r = Exec({"cut", "-o", Path("a.mp3"), Data("mpeg2-l3.mp3"), Path("b.mp3") + "@0-5"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, Path("a.mp3"))) << r.Err;
  EXPECT_TRUE(Slurp(Path("a.mp3")) == Slurp(Data("cbr128.mp3")));
}

TEST_F(Cli, OutputFailuresNameTheFileAndTheReason) {
  Outcome r = Exec({"cut", "-o", "/dev/full", Data("cbr128.mp3"), Data("mpeg2-l3.mp3")});
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, "/dev/full: No space left on device")) << r.Err;
  EXPECT_TRUE(Contains(r.Err, "passed over job 2 of 2")) << r.Err;  // no gap left in the output

  std::ofstream(Path("plain")) << "x";
  r = Exec({"cut", "-o", Path("plain/out.mp3"), Data("cbr128.mp3")});
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, "cannot create " + Path("plain/out.mp3") + ": Not a directory")) << r.Err;
}

TEST_F(Cli, ATerminalGetsAProgressBar) {
  int master = -1;
  const std::string out = Path("bar.mp3");
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const int devnull = ::open("/dev/null", O_WRONLY);
    ::dup2(devnull, 1);
    ::execl(binary_.c_str(), binary_.c_str(), "cut", "-o", out.c_str(), Data("cbr128.mp3").c_str(), nullptr);
    ::_exit(127);
  }
  std::string tty;
  char buf[4096];
  for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;) tty.append(buf, static_cast<std::size_t>(n));
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(master);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(Contains(tty, "100%")) << tty;
  EXPECT_TRUE(Contains(tty, "job 1 of 1")) << tty;
}

}  // namespace
