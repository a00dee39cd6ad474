// kerfwell-cut as scripts see it: its output, its messages and exit status.

#include <pty.h>
#include <sys/stat.h>

#include "CliRunner.h"

namespace {

using namespace clitest;

class Cli : public CliRun {};

TEST_F(Cli, InfoPrintsTheStreamOfTheFirstValidHeader) {
  Outcome r = Exec({"info", Data("cbr128.mp3")});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(
      r.Out,
      "Version: MPEG 1\nLayer: III\nBitRate: 128 kbps\nSampleRate: 44100 Hz\nMode: Joint-Stereo\n"
      "Copyrighted: No\nOriginal: Yes\nFrames: 117\nDuration: 00:00.03\nFirstFrame: 0\nCopyable: 117\n"
      "EncoderDelay: 576\nEndPadding: 756\nSamples: 132300\nExactDuration: 0:00:03.000000\n");
  EXPECT_EQ(r.Err, "");

  r = Exec({"info", Data("mpeg2-l2.mp2")});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out,
            "Version: MPEG 2\nLayer: II\nBitRate: 64 kbps\nSampleRate: 24000 Hz\nMode: Stereo\n"
            "Copyrighted: No\nOriginal: Yes\nFrames: 63\nDuration: 00:00.03\nFirstFrame: 0\nCopyable: 63\n"
            "Samples: 72576\nExactDuration: 0:00:03.024000\n");

  r = Exec({"info", Data("mpeg2-l3.mp3")});
  EXPECT_TRUE(Contains(r.Out, "Mode: Single Channel\n")) << r.Out;
  // Frames of other bit rates are counted, and only a cut with
  // --any-bitrate copies them.
  r = Exec({"info", Data("vbr.mp3")});
  EXPECT_TRUE(Contains(r.Out, "\nFrames: 117\n")) << r.Out;
  EXPECT_TRUE(Contains(r.Out, "\nCopyable: 2\n")) << r.Out;
  r = Exec({"info", "--any-bitrate", Data("vbr.mp3")});
  EXPECT_TRUE(Contains(r.Out, "\nCopyable: 117\n")) << r.Out;
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

TEST_F(Cli, UsageErrorsExitWithTwoAndWriteNothing) {
  const std::string in = Data("cbr128.mp3");
  const std::string out = Path("out.mp3");
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"split", "x.mp3"},
      {"info"},
      {"info", "a.mp3", "b.mp3"},
      {"count"},
      {"cut", in},
      {"cut", "-o", out},
      {"cut", "-o"},
      {"cut", "-x", "-o", out, in},
      {"frobnicate", in},
      // Malformed times, in a job and as split points.
      {"cut", "-o", out, in + "@1:75-2:00"},
      {"cut", "-o", out, in + "@0-1::2"},
      {"cut", "-o", out, in + "@1.5.2s-"},
      {"cut", "-o", out, in + "@0:30"},
      {"split", in, "1:75"},
      {"split", in, "--", "-3s"},
      {"split", "--every", "1::2", in},
      {"split", "--every", "-3s", in},
      // Every malformed time is one, whatever its form.
      {"cut", "-o", out, in + "@0.10-"},
      {"cut", "-o", out, in + "@1x-"},
      {"cut", "-o", out, in + "@0-.5s"},
      {"cut", "-o", out, in + "@0:10-end-5"},
      {"cut", "-o", out, in + "@0:10-end5s"},
      {"cut", "-o", out, in + "@end-5s-"},
      {"cut", "--each", "-d", Path("d"), in + "@0.10-"},
      // Albums, silences, tags and --each.
      {"split", "--cue", Path("a.cue"), in, "10"},
      {"split", "--cue", Path("a.cue"), "--silence", in},
      {"split", "--silence", "--every", "2s", in},
      {"split", "--silence", "--threshold", "5", in},
      {"split", "--silence", "--threshold", "-48 dB", in},
      {"split", "--silence", "--min-silence", "abc", in},
      {"split", "--silence", "--min-silence", "0", in},
      {"split", "--silence", "--min-length", "-1", in},
      {"split", "--threshold", "-40", in, "10"},
      {"split", "--dry-run", in, "10"},
      {"split", "--name", "{bogus}", in, "10"},
      {"split", "--tag", "composer=x", in, "10"},
      {"cut", "--tag", "title", "-o", out, in},
      {"cut", "--tag", "title=Caf\xE9", "-o", out, in},  // not UTF-8
      {"split", "--tag", "album=\xC0\xAF", in, "0:10"},     // an overlong '/'
      {"split", "--name", "../x_{n}", in, "0:10"},        // outside -d's folder
      {"cut", "--tag", "title=x", "-o", "-", in},
      {"cut", "--each", "--append", "-d", Path("d"), in},
      {"cut", "--each", in},
      {"cut", "--each", "-d", Path("d"), "-o", out, in},
      {"cut", "-o", out, "--dry-run", in},
      {"count", "--tag", "title=x", in},
      // Options of another command, or doubled.
      {"cut", "-o", out, "-d", Path("d"), in},
      {"split", "-o", out, in, "10"},
      {"count", "--tags", in},
      {"cut", "-o", out, "-o", Path("b.mp3"), in},
      {"split", "--every", "2s", in, "10"},
  };
  for (const auto& args : cases) {
    const Outcome r = Exec(args);
    EXPECT_EQ(r.Status, 2) << testing::PrintToString(args) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "--help")) << r.Err;
    EXPECT_EQ(r.Out, "");
  }
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_FALSE(std::filesystem::exists(Data("cbr128_01.mp3")));
}

TEST_F(Cli, HelpShowsTheWholeInterfaceInUnderAScreen) {
  const Outcome r = Exec({"--help"});
  EXPECT_EQ(r.Status, 0);
  for (const char* part : {"info PATH",
                           "count PATH",
                           "cut -o OUTPUT JOB...",
                           "split [-d DIR] PATH POINT...",
                           "--every LENGTH",
                           "PATH@START-STOP",
                           "[[H:]M:]S[.fff]",
                           "@1:30-2:00",
                           "@90.25s-",
                           "@-0:01:30.5",
                           "ADDED TO",
                           "--overwrite",
                           "--append",
                           "--no-wait",
                           "--any-bitrate",
                           "--tags",
                           "--tag KEY=VALUE",
                           "--each -d DIR",
                           "--cue SHEET",
                           "--silence",
                           "--threshold",
                           "--min-silence",
                           "--min-length",
                           "--dry-run",
                           "--name PATTERN",
                           "end-TIME",
                           "-o -",
                           "-q",
                           "--version",
                           "end of options",
                           "Is Something Strange With This File !",
                           "Exit status",
                           "2 for a usage error",
                           "kerfwell-cut(1)"})
    EXPECT_TRUE(Contains(r.Out, part)) << part;
  int lines = 0;
  std::istringstream text(r.Out);
  for (std::string line; std::getline(text, line); ++lines) EXPECT_LE(line.size(), 80u) << line;
  EXPECT_LE(lines, 40);
  // Help wins wherever it stands before "--".
  EXPECT_EQ(Exec({"cut", "-o", Path("x.mp3"), "--help"}).Out, r.Out);
  EXPECT_FALSE(std::filesystem::exists(Path("x.mp3")));
}

TEST_F(Cli, VersionIsOneLine) {
  const Outcome r = Exec({"--version"});
  EXPECT_EQ(r.Status, 0);
  ASSERT_EQ(r.Out.rfind("kerfwell-cut ", 0), 0u) << r.Out;
  EXPECT_GT(r.Out.size(), std::string("kerfwell-cut \n").size());
  EXPECT_EQ(std::count(r.Out.begin(), r.Out.end(), '\n'), 1);
  EXPECT_EQ(r.Out.find('"'), std::string::npos) << r.Out;
}

TEST_F(Cli, CutAppendsJobsInOrder) {
  const std::string in = Data("cbr128.mp3");
  const std::string whole = Slurp(in);
  Outcome r = Exec({"cut", "-o", Path("whole.mp3"), in});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Err, "");  // standard error is no terminal: no progress bar
  EXPECT_TRUE(Slurp(Path("whole.mp3")) == whole);

  // Frames 1-9 and 10-116 (all but the Info frame), the second run appending
  // after what the first left.
  r = Exec({"cut", "-o", Path("parts.mp3"), in + "@1-9", in + "@10-20"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  r = Exec({"cut", "--append", "-o", Path("parts.mp3"), in + "@21-116"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(Slurp(Path("parts.mp3")) == whole.substr(417));

  // Frame 1 is 417 bytes; new directories are made for the output.
  r = Exec({"cut", "-o", Path("new/dir/first.mp3"), in + "@1-1"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(Slurp(Path("new/dir/first.mp3")) == whole.substr(417, 417));

  // A path with an '@' of its own and no range is taken whole.
  std::filesystem::copy_file(in, Path("live@club.mp3"));
  r = Exec({"cut", "-o", Path("at.mp3"), Path("live@club.mp3")});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(Slurp(Path("at.mp3")) == whole);
}

TEST_F(Cli, AnExistingOutputIsRefusedUnlessAppendedToOrOverwritten) {
  const std::string in = Data("mpeg1-l2.mp2");  // 84 frames of 576 bytes
  const std::string whole = Slurp(in);
  ASSERT_EQ(Exec({"cut", "-o", Path("out.mp2"), in + "@0-0"}).Status, 0);
  Outcome r = Exec({"cut", "-o", Path("out.mp2"), in + "@1-1"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, Path("out.mp2") + " exists and is not empty; nothing written (--append adds to it, "
                                                 "--overwrite replaces it)"))
      << r.Err;
  EXPECT_TRUE(Slurp(Path("out.mp2")) == whole.substr(0, 576));
  ASSERT_EQ(Exec({"cut", "--append", "-o", Path("out.mp2"), in + "@1-1"}).Status, 0);
  EXPECT_TRUE(Slurp(Path("out.mp2")) == whole.substr(0, 2 * 576));
  EXPECT_EQ(Exec({"cut", "--append", "--overwrite", "-o", Path("out.mp2"), in}).Status, 2);
  // An empty file is no output to protect.
  std::ofstream(Path("empty.mp2")).close();
  EXPECT_EQ(Exec({"cut", "-o", Path("empty.mp2"), in + "@5-5"}).Status, 0);
  EXPECT_TRUE(Slurp(Path("empty.mp2")) == whole.substr(5 * 576, 576));
  r = Exec({"cut", "--overwrite", "-o", Path("out.mp2"), in + "@2-3"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(Slurp(Path("out.mp2")) == whole.substr(2 * 576, 2 * 576));
  // A refused run overwrites nothing.
  EXPECT_EQ(Exec({"cut", "--overwrite", "-o", Path("out.mp2"), Path("out.mp2")}).Status, 1);
  EXPECT_TRUE(Slurp(Path("out.mp2")) == whole.substr(2 * 576, 2 * 576));
}

TEST_F(Cli, TimesAndOpenEndsCutTheFramesTheyName) {
  // cbr128.mp3: an Info frame, then 116 frames of 1152 samples at 44.1 kHz
  // (26.12 ms each). The player's clock starts 576 + 529 samples into audio
  // frame 0 (the encoder delay its LAME tag declares and the decoder's). With
  // --frames each time range is the frame range worked out by hand.
  const std::string in = Data("cbr128.mp3");
  const std::vector<std::pair<std::string, std::string>> same = {
      {"@100-", "@100-116"},
      {"@-1.28s", "@0-50"},              // 1.28 s is 57553 samples in: audio frame 49
      {"@0:00.5-1s", "@21-40"},          // 0.5 s plays in audio frame 20; 1 s in 39
      {"@1.28s-0:01.300", "@50-51"},     // audio frames 49 and 50
      {"@0s-", "@1-116"},                // the Info frame takes no time
      {"@2.5s-9:59:59.999", "@97-116"},  // a stop past the end runs to the end
  };
  for (const auto& [time, frames] : same) {
    SCOPED_TRACE(time);
    std::filesystem::remove(Path("t.mp3"));
    std::filesystem::remove(Path("f.mp3"));
    const Outcome r = Exec({"cut", "--frames", "-o", Path("t.mp3"), in + time});
    EXPECT_EQ(r.Status, 0) << r.Err;
    ASSERT_EQ(Exec({"cut", "-o", Path("f.mp3"), in + frames}).Status, 0);
    EXPECT_TRUE(Slurp(Path("t.mp3")) == Slurp(Path("f.mp3")));
    EXPECT_FALSE(Slurp(Path("t.mp3")).empty());
  }
}

TEST_F(Cli, AStartAfterTheLastFrameIsABadJobNotAnEmptyOutput) {
  const std::string in = Data("cbr128.mp3");
  for (const char* range : {"@117-", "@200-300", "@3.1s-", "@0:04-0:05"}) {
    SCOPED_TRACE(range);
    const Outcome r = Exec({"cut", "-o", Path("out.mp3"), in + range});
    EXPECT_EQ(r.Status, 1);
    EXPECT_TRUE(Contains(r.Err, "after the file's last frame 116")) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "passed over job 1 of 1: " + in + range)) << r.Err;
    EXPECT_FALSE(std::filesystem::exists(Path("out.mp3")));
  }
  // Frame 116 is the last one.
  EXPECT_EQ(Exec({"cut", "-o", Path("last.mp3"), in + "@116-"}).Status, 0);
  EXPECT_GT(std::filesystem::file_size(Path("last.mp3")), 400u);
}

TEST_F(Cli, FramesOfAnotherBitRateAreReportedUnlessAnyBitRate) {
  const std::string in = Data("vbr.mp3");
  const std::string info = Exec({"info", in}).Out;
  ASSERT_TRUE(Contains(info, "Copyable: 2\n")) << info;
  Outcome r = Exec({"cut", "-o", Path("a.mp3"), in});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err,
            "kerfwell-cut: " + in +
                ": 115 of 117 frames of the range were not copied: their bit rate differs from the first "
                "frame's\n");
  r = Exec({"cut", "-o", Path("b.mp3"), in + "@10-19"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, ": 10 of 10 frames of the range were not copied")) << r.Err;
  r = Exec({"cut", "--any-bitrate", "-o", Path("c.mp3"), in + "@10-19"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(Exec({"count", Path("c.mp3")}).Out, "11\n");  // a fresh Xing frame and the ten
}

TEST_F(Cli, CutPassesOverBadJobsAndGoesOn) {
  const std::string in = Data("cbr128.mp3");
  std::ofstream(Path("notes.txt")) << "no frames in here";
  const Outcome r = Exec({"cut", "-o", Path("out.mp3"), in + "@9-5", Path("missing.mp3"), in + "@0-0",
                          Path("notes.txt"), in + "@x-3", in + "@1-1"});
  EXPECT_EQ(r.Status, 1);
  // Job 3 holds only the Info frame: no audio, so it is taken out again.
  EXPECT_TRUE(Slurp(Path("out.mp3")) == Slurp(in).substr(417, 417));
  for (const std::string& passed : {"job 1 of 6: " + in + "@9-5", "job 2 of 6: " + Path("missing.mp3"),
                                    "job 3 of 6: " + in + "@0-0", "job 4 of 6: " + Path("notes.txt"),
                                    "job 5 of 6: " + in + "@x-3"})
    EXPECT_TRUE(Contains(r.Err, "passed over " + passed)) << r.Err;
  EXPECT_TRUE(Contains(r.Err, in + "@0-0: no audio frame of the range reached " + Path("out.mp3") +
                                  ", only the Xing/Info frame, which was taken out again"))
      << r.Err;
  EXPECT_FALSE(Contains(r.Err, "job 6 of 6")) << r.Err;
  EXPECT_TRUE(Contains(r.Err, Path("missing.mp3") + ": No such file or directory")) << r.Err;
  EXPECT_TRUE(Contains(r.Err, "Is Something Strange With This File !")) << r.Err;
}

TEST_F(Cli, OptionsEndAtDoubleDashForNamesThatBeginWithADash) {
  std::filesystem::copy_file(Data("mpeg1-l2.mp2"), Path("-take.mp2"));
  Outcome r = Exec({"cut", "-o", "out.mp2", "--", "-take.mp2@0-9"}, {dir_});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(std::filesystem::file_size(Path("out.mp2")), 10u * 576);
  r = Exec({"count", "--", "-take.mp2"}, {dir_});
  EXPECT_EQ(r.Out, "84\n");
  EXPECT_EQ(Exec({"count", "-take.mp2"}, {dir_}).Status, 2);  // an unknown option without "--"
}

TEST_F(Cli, StandardOutputTakesTheCutAndMessagesStayOnStandardError) {
  const std::string in = Data("cbr128.mp3");
  ASSERT_EQ(Exec({"cut", "-o", Path("file.mp3"), in + "@5-20", Path("missing.mp3")}).Status, 1);
  const Outcome r = Exec({"cut", "-o", "-", in + "@5-20", Path("missing.mp3")});
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(r.Out == Slurp(Path("file.mp3")));
  EXPECT_EQ(r.Out.size(), std::filesystem::file_size(Path("file.mp3")));
  EXPECT_TRUE(Contains(r.Err, "passed over job 2 of 2")) << r.Err;
  // Nothing is left in the temporary folder.
  const std::string tmp = Path("tmp");
  std::filesystem::create_directory(tmp);
  ExecSettings s;
  s.InChild = [tmp] { ::setenv("TMPDIR", tmp.c_str(), 1); };
  EXPECT_EQ(Exec({"cut", "-o", "-", in}, s).Out, Slurp(in));
  EXPECT_TRUE(std::filesystem::is_empty(tmp));
}

// A pseudo-terminal as standard error (and, when asked, standard output).
std::string OnTerminal(const std::string& binary, const std::vector<std::string>& args, bool stdoutToo,
                       int& status) {
  int master = -1;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    if (!stdoutToo) {
      const int devnull = ::open("/dev/null", O_WRONLY);
      ::dup2(devnull, 1);
    }
    std::vector<char*> argv{const_cast<char*>(binary.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(binary.c_str(), argv.data());
    ::_exit(127);
  }
  std::string tty;
  char buf[4096];
  for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;) tty.append(buf, static_cast<std::size_t>(n));
  ::waitpid(pid, &status, 0);
  ::close(master);
  status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return tty;
}

TEST_F(Cli, ATerminalGetsAProgressBarUnlessQuiet) {
  int status = -1;
  std::string tty = OnTerminal(binary_, {"cut", "-o", Path("bar.mp3"), Data("cbr128.mp3")}, false, status);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(Contains(tty, "100%")) << tty;
  EXPECT_TRUE(Contains(tty, "job 1 of 1")) << tty;

  tty = OnTerminal(binary_, {"cut", "-q", "-o", Path("quiet.mp3"), Data("cbr128.mp3")}, false, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(tty, "");
  EXPECT_TRUE(Slurp(Path("quiet.mp3")) == Slurp(Data("cbr128.mp3")));

  // The search for silences shows one too (the tone holds none: the dry run
  // then fails as the split would).
  tty = OnTerminal(binary_, {"split", "--silence", "--dry-run", Data("cbr128.mp3")}, false, status);
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(Contains(tty, "100%")) << tty;
  EXPECT_TRUE(Contains(tty, "finding silences in " + Data("cbr128.mp3"))) << tty;
  tty = OnTerminal(binary_, {"split", "-q", "--silence", "--dry-run", Data("cbr128.mp3")}, false, status);
  EXPECT_FALSE(Contains(tty, "finding silences")) << tty;
  EXPECT_TRUE(Contains(tty, "no silence of at least")) << tty;

  // Frames are never written to a terminal.
  tty = OnTerminal(binary_, {"cut", "-q", "-o", "-", Data("cbr128.mp3")}, true, status);
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(Contains(tty, "standard output is a terminal")) << tty;
  EXPECT_LT(tty.size(), 200u);
}

}  // namespace

namespace {

using namespace clitest;

TEST(CliManual, CoversEveryOptionAndRendersCleanly) {
  const std::string page = std::string(KERFWELL_SOURCE_DIR) + "/cli/kerfwell-cut.1";
  const std::string text = Slurp(page);
  ASSERT_FALSE(text.empty()) << page;
  // troff spells a dash \-.
  for (const char* part : {"\\-\\-any\\-bitrate",
                           "\\-\\-tags",
                           "\\-\\-overwrite",
                           "\\-\\-append",
                           "\\-\\-no\\-wait",
                           "SIGHUP",
                           "\\-\\-every",
                           "\\-\\-version",
                           "\\-\\-help",
                           ".BR \\-q",
                           "\\-o",
                           "\\-d",
                           "split",
                           "count",
                           "info",
                           "EXIT STATUS",
                           "SIGXFSZ",
                           "/proc/self/fd",
                           "TMPDIR",
                           "Copyable",
                           "\\-\\-cue",
                           "\\-\\-silence",
                           "\\-\\-threshold",
                           "\\-\\-min\\-silence",
                           "\\-\\-min\\-length",
                           "\\-\\-dry\\-run",
                           "\\-\\-name",
                           "\\-\\-tag",
                           "\\-\\-each",
                           "end\\-",
                           "576",
                           "384",
                           "Is Something Strange With This File !"})
    EXPECT_TRUE(Contains(text, part)) << part;
  int status = -1;
  const std::string warnings = Shell("groff -man -Tutf8 -ww -z '" + page + "' 2>&1", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(warnings, "");
}

}  // namespace
