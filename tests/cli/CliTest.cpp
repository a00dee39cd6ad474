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
      "Copyrighted: No\nOriginal: Yes\nFrames: 117\nDuration: 0:00:03.000\nFirstFrame: 0\nCopyable: 117\n"
      "EncoderDelay: 576\nEndPadding: 756\nSamples: 132300\nExactDuration: 0:00:03.000000\n");
  EXPECT_EQ(r.Err, "");

  r = Exec({"info", Data("mpeg2-l2.mp2")});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out,
            "Version: MPEG 2\nLayer: II\nBitRate: 64 kbps\nSampleRate: 24000 Hz\nMode: Stereo\n"
            "Copyrighted: No\nOriginal: Yes\nFrames: 63\nDuration: 0:00:03.024\nFirstFrame: 0\nCopyable: 63\n"
            "Samples: 72576\nExactDuration: 0:00:03.024000\n");

  r = Exec({"info", Data("mpeg2-l3.mp3")});
  EXPECT_TRUE(Contains(r.Out, "Mode: Single Channel\n")) << r.Out;
  // Frames of other bit rates are counted; Copyable counts those the
  // window copies, of the first frame's bit rate, whatever the options.
  // A VBR file shows its average bit rate, as ffprobe measures it.
  for (const char* option : {"--any-bitrate", "--one-bitrate", "-q"}) {
    r = Exec({"info", option, Data("vbr.mp3")});
    EXPECT_TRUE(Contains(r.Out, "\nFrames: 117\n")) << r.Out;
    EXPECT_TRUE(Contains(r.Out, "\nCopyable: 2\n")) << r.Out;
    EXPECT_TRUE(Contains(r.Out, "\nBitRate: 102 kbps VBR\n")) << r.Out;
  }
  const int probed = std::atoi(
      Shell("ffprobe -v error -show_entries format=bit_rate -of csv=p=0 '" + Data("vbr.mp3") + "'").c_str());
  EXPECT_NEAR(probed / 1000.0, 102, 2);
  // --json: every field, the first frame's bit rate and the old form of
  // the duration too, as one object a JSON reader takes.
  r = Exec({"info", "--json", Data("vbr.mp3")});
  EXPECT_EQ(r.Status, 0);
  for (const char* field : {"\"bitRate\": \"102 kbps VBR\"", "\"vbr\": true", "\"firstFrameBitRate\": \"256 kbps\"",
                            "\"frames\": 117", "\"copyable\": 2", "\"duration\": \"0:00:03.000\"",
                            "\"specDuration\": \"00:00.01\"", "\"samples\": 132300", "\"encoderDelay\": 576",
                            "\"sampleRate\": 44100", "\"mode\": \"Joint-Stereo\""})
    EXPECT_TRUE(Contains(r.Out, field)) << field << "\n" << r.Out;
  int status = -1;
  EXPECT_EQ(Shell("'" + binary_ + "' info --json '" + Data("mpeg2-l2.mp2") +
                      "' | python3 -c 'import json,sys; print(json.load(sys.stdin)[\"duration\"])'",
                  &status),
            "0:00:03.024\n");
  EXPECT_EQ(status, 0);
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
      {"cut", "-o", out, in + "@0f-1::2"},
      {"cut", "-o", out, in + "@1.5.2s-"},
      {"cut", "-o", out, in + "@0:30"},
      {"split", in, "1:75"},
      {"split", in, "--", "-3s"},
      {"split", "--every", "1::2", in},
      {"split", "--every", "-3s", in},
      // Every malformed time is one, whatever its form.
      {"cut", "-o", out, in + "@0.10.5-"},
      {"cut", "-o", out, in + "@1x-"},
      {"cut", "-o", out, in + "@0f-.5s"},
      {"cut", "-o", out, in + "@0:10-end-5f"},
      {"cut", "-o", out, in + "@0:10-end5s"},
      {"cut", "-o", out, in + "@end-5s-"},
      {"cut", "--each", "-d", Path("d"), in + "@0.10.5-"},
      // Ranges that hold nothing, in every form; a range whose '@' was
      // forgotten; an argument that is neither a file nor a range.
      {"cut", "-o", out, in + "@-0:00"},
      {"cut", "-o", out, in + "@0:00-0:00"},
      {"cut", "-o", out, in + "@-0"},
      {"cut", "-o", out, in + "@2-1"},
      {"cut", "-o", out, in + "@9f-5f"},
      {"cut", "-o", out, in + "@100f-1"},        // frame 100 plays after 1 s
      {"cut", "-o", out, in + "@0:02-end-1.5"},  // 1.5 s before the end of 3 s
      {"cut", "-o", out, in + "@x-3"},
      {"cut", "-o", out, in, "0:10", "0:20"},
      {"cut", "-o", out, in, "0:10-0:20"},
      {"cut", "--each", "-d", Path("d"), in + "@-0"},
      {"cut", "--each", "-d", Path("d"), "--range", "1-1", in},
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
      {"info", "--no-tags", in},
      {"count", "--json", in},
      {"split", "--range", "0-1", in, "1"},
      {"cut", "--tags", "--no-tags", "-o", out, in},
      {"cut", "--overwrite=yes", "-o", out, in},
      {"help", "frobnicate"},
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
  // The general help, then each command's with every option it takes.
  const std::vector<std::pair<std::string, std::vector<std::string>>> helps = {
      {"", {"info [--json] PATH", "count PATH", "cut -o OUTPUT JOB...", "split [-d DIR] PATH POINT...",
            "--every LENGTH", "--cue SHEET", "--silence", "help COMMAND", "PATH@START-STOP", "[[H:]M:]S[.fff]",
            "@90-120", "@100f-499f", "@0:10-end-5", "--no-tags", "--append or --overwrite", "--no-wait",
            "Is Something Strange With This", "2 for a", "kerfwell-cut(1)"}},
      {"info", {"--json", "--one-bitrate", "--any-bitrate", "h:mm:ss.mmm"}},
      {"count", {"--one-bitrate"}},
      {"cut", {"-o, --output OUTPUT", "--each", "-d, --dir DIR", "--range START-STOP", "--append", "--overwrite",
               "--no-wait", "--no-tags", "--tag KEY=VALUE", "--one-bitrate", "--frames", "--tags",
               "--any-bitrate", "-q, --quiet", "end-TIME", "100f-499f", "--gain DB", "--fade-in DURATION",
               "--fade-out DURATION"}},
      {"split", {"-d, --dir DIR", "--every LENGTH", "--cue SHEET", "--name PATTERN", "--silence",
                 "--threshold DB", "--min-silence SECONDS", "--min-length SECONDS", "--dry-run", "--overwrite",
                 "--no-wait", "--no-tags", "--tag KEY=VALUE", "--one-bitrate", "--frames", "--tags",
                 "--any-bitrate", "-q, --quiet", "4000f"}},
  };
  for (const auto& [command, parts] : helps) {
    SCOPED_TRACE(command);
    const Outcome h = command.empty() ? r : Exec({command, "--help"});
    EXPECT_EQ(h.Status, 0);
    for (const std::string& part : parts) EXPECT_TRUE(Contains(h.Out, part)) << part << "\n" << h.Out;
    int lines = 0;
    std::istringstream text(h.Out);
    for (std::string line; std::getline(text, line); ++lines) EXPECT_LE(line.size(), 80u) << line;
    EXPECT_LE(lines, 40);
    if (!command.empty()) {
      EXPECT_EQ(Exec({"help", command}).Out, h.Out);
      EXPECT_EQ(Exec({"help", command, "--help"}).Out, h.Out);
      EXPECT_NE(h.Out, r.Out);
    }
  }
  EXPECT_EQ(Exec({"help"}).Out, r.Out);
  // Help wins wherever it stands before "--": the command's own.
  EXPECT_EQ(Exec({"cut", "-o", Path("x.mp3"), "--help"}).Out, Exec({"help", "cut"}).Out);
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
  // Byte copies: a join does no junction work with --frames.
  r = Exec({"cut", "--frames", "-o", Path("parts.mp3"), in + "@1f-9f", in + "@10f-20f"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  r = Exec({"cut", "--frames", "--append", "-o", Path("parts.mp3"), in + "@21f-116f"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(Slurp(Path("parts.mp3")) == whole.substr(417));

  // Frame 1 is 417 bytes; new directories are made for the output.
  r = Exec({"cut", "-o", Path("new/dir/first.mp3"), in + "@1f-1f"});
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
  ASSERT_EQ(Exec({"cut", "-o", Path("out.mp2"), in + "@0f-0f"}).Status, 0);
  Outcome r = Exec({"cut", "-o", Path("out.mp2"), in + "@1f-1f"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, Path("out.mp2") + " exists and is not empty; nothing written (--append adds to it, "
                                                 "--overwrite replaces it)"))
      << r.Err;
  EXPECT_TRUE(Slurp(Path("out.mp2")) == whole.substr(0, 576));
  ASSERT_EQ(Exec({"cut", "--append", "-o", Path("out.mp2"), in + "@1f-1f"}).Status, 0);
  EXPECT_TRUE(Slurp(Path("out.mp2")) == whole.substr(0, 2 * 576));
  EXPECT_EQ(Exec({"cut", "--append", "--overwrite", "-o", Path("out.mp2"), in}).Status, 2);
  // An empty file is no output to protect.
  std::ofstream(Path("empty.mp2")).close();
  EXPECT_EQ(Exec({"cut", "-o", Path("empty.mp2"), in + "@5f-5f"}).Status, 0);
  EXPECT_TRUE(Slurp(Path("empty.mp2")) == whole.substr(5 * 576, 576));
  r = Exec({"cut", "--overwrite", "-o", Path("out.mp2"), in + "@2f-3f"});
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
      {"@100f-", "@100f-116f"},
      {"@-1.28s", "@0f-50f"},              // 1.28 s is 57553 samples in: audio frame 49
      {"@0:00.5-1s", "@21f-40f"},          // 0.5 s plays in audio frame 20; 1 s in 39
      {"@1.28s-0:01.300", "@50f-51f"},     // audio frames 49 and 50
      {"@0s-", "@1f-116f"},                // the Info frame takes no time
      {"@2.5s-9:59:59.999", "@97f-116f"},  // a stop past the end runs to the end
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
  for (const char* range : {"@117f-", "@200f-300f", "@3.1s-", "@0:04-0:05"}) {
    SCOPED_TRACE(range);
    const Outcome r = Exec({"cut", "-o", Path("out.mp3"), in + range});
    EXPECT_EQ(r.Status, 1);
    EXPECT_TRUE(Contains(r.Err, "after the file's last frame 116")) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "passed over job 1 of 1: " + in + range)) << r.Err;
    EXPECT_FALSE(std::filesystem::exists(Path("out.mp3")));
  }
  // Frame 116 is the last one.
  EXPECT_EQ(Exec({"cut", "-o", Path("last.mp3"), in + "@116f-"}).Status, 0);
  EXPECT_GT(std::filesystem::file_size(Path("last.mp3")), 400u);
}

TEST_F(Cli, EveryBitRateIsCopiedUnlessOneBitRate) {
  const std::string in = Data("vbr.mp3");
  const std::string info = Exec({"info", in}).Out;
  ASSERT_TRUE(Contains(info, "Copyable: 2\n")) << info;
  Outcome r = Exec({"cut", "--one-bitrate", "-o", Path("a.mp3"), in});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err,
            "kerfwell-cut: " + in +
                ": 115 of 117 frames of the range were not copied: their bit rate differs from the first "
                "frame's\nkerfwell-cut: the run did not do all it was asked: no output was made\n");
  r = Exec({"cut", "--one-bitrate", "-o", Path("b.mp3"), in + "@10f-19f"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, ": 10 of 10 frames of the range were not copied")) << r.Err;
  // By default, and with --any-bitrate, as before: every frame, and a fresh
  // Xing frame in front of the ten.
  for (const char* option : {"-q", "--any-bitrate"}) {
    SCOPED_TRACE(option);
    std::filesystem::remove(Path("c.mp3"));
    r = Exec({"cut", option, "-o", Path("c.mp3"), in + "@10f-19f"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(Exec({"count", Path("c.mp3")}).Out, "11\n");
  }
  r = Exec({"cut", "-o", Path("d.mp3"), in});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(Slurp(Path("d.mp3")), Slurp(in));  // a whole VBR file is itself
}

TEST_F(Cli, CutPassesOverBadJobsAndGoesOn) {
  const std::string in = Data("cbr128.mp3");
  std::ofstream(Path("notes.txt")) << "no frames in here";
  const Outcome r = Exec({"cut", "-o", Path("out.mp3"), Path("missing.mp3"), in + "@0f-0f", Path("notes.txt"),
                          in + "@1f-1f"});
  EXPECT_EQ(r.Status, 1);
  // Only a run that did everything it was asked makes its output.
  EXPECT_FALSE(std::filesystem::exists(Path("out.mp3")));
  EXPECT_TRUE(Contains(r.Err, "the run did not do all it was asked: no output was made")) << r.Err;
  for (const std::string& passed : {"job 1 of 4: " + Path("missing.mp3"), "job 2 of 4: " + in + "@0f-0f",
                                    "job 3 of 4: " + Path("notes.txt")})
    EXPECT_TRUE(Contains(r.Err, "passed over " + passed)) << r.Err;
  EXPECT_TRUE(Contains(r.Err, in + "@0f-0f: no audio frame of the range reached " + Path("out.mp3") +
                                  ", only the Xing/Info frame, which was taken out again"))
      << r.Err;
  EXPECT_FALSE(Contains(r.Err, "job 4 of 4")) << r.Err;
  EXPECT_TRUE(Contains(r.Err, Path("missing.mp3") + ": No such file or directory")) << r.Err;
  EXPECT_TRUE(Contains(r.Err, "Is Something Strange With This File !")) << r.Err;
}

TEST_F(Cli, OptionsEndAtDoubleDashForNamesThatBeginWithADash) {
  std::filesystem::copy_file(Data("mpeg1-l2.mp2"), Path("-take.mp2"));
  Outcome r = Exec({"cut", "-o", "out.mp2", "--", "-take.mp2@0f-9f"}, {dir_});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(std::filesystem::file_size(Path("out.mp2")), 10u * 576);
  r = Exec({"count", "--", "-take.mp2"}, {dir_});
  EXPECT_EQ(r.Out, "84\n");
  EXPECT_EQ(Exec({"count", "-take.mp2"}, {dir_}).Status, 2);  // an unknown option without "--"
}

TEST_F(Cli, StandardOutputTakesTheCutAndMessagesStayOnStandardError) {
  const std::string in = Data("cbr128.mp3");
  ASSERT_EQ(Exec({"cut", "-o", Path("file.mp3"), in + "@5f-20f"}).Status, 0);
  Outcome r = Exec({"cut", "-o", "-", in + "@5f-20f"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(r.Out == Slurp(Path("file.mp3")));
  EXPECT_EQ(r.Out.size(), std::filesystem::file_size(Path("file.mp3")));
  // A run that fails delivers nothing.
  r = Exec({"cut", "-o", "-", in + "@5f-20f", Path("missing.mp3")});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Out, "");
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
                           "\\-\\-one\\-bitrate",
                           "\\-\\-no\\-tags",
                           "\\-\\-range",
                           "\\-\\-output",
                           "\\-\\-dir",
                           "\\-\\-json",
                           "help cut",
                           "100f\\-499f",
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
