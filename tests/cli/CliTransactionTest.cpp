// Every output is a transaction: a run that does not do all it was asked
// leaves the output's path as it was, links are followed by the kernel alone,
// tags go into the new file before it takes its name, and a split says which
// of its pieces exist.

#include <sys/resource.h>
#include <sys/stat.h>

#include "CliRunner.h"

namespace {

using namespace clitest;

class CliTransaction : public CliRun {
 protected:
  // The files of the test's folder whose names begin with a dot: what a
  // run would leave behind of a named temporary file.
  std::vector<std::string> Hidden() const {
    std::vector<std::string> found;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir_)) {
      const std::string name = e.path().filename().string();
      if (name.size() > 1 && name[0] == '.' && name != ".stdout" && name != ".stderr") found.push_back(name);
    }
    return found;
  }
};

TEST_F(CliTransaction, ARunThatFailsLeavesThePathAsItWas) {
  const std::string song = Data("cbr128.mp3");
  const std::string old = Slurp(Data("tagged.mp3"));
  struct Case {
    const char* name;
    bool exists;  // the output holds `old` before the run
    std::vector<std::string> args;  // after "cut"; OUT stands for the output
  } cases[] = {
      {"--overwrite with a missing input", true, {"--overwrite", "-o", "OUT", song, "/no/such.mp3"}},
      {"--overwrite with a range after the end", true, {"--overwrite", "-o", "OUT", song, song + "@9:00-9:01"}},
      {"--append with a missing input", true, {"--append", "-o", "OUT", song, "/no/such.mp3"}},
      {"a new output with a missing input", false, {"-o", "OUT", song, "/no/such.mp3"}},
      {"a new output in new folders", false, {"-o", "new dir/deeper/OUT", "/no/such.mp3"}},
      {"--each --overwrite with a range after the end", true,
       {"--each", "--overwrite", "-d", ".", song + "@9:00-9:01"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(Path("new dir"));
    const std::string out = Path("out.mp3");
    const std::string each = Path("cbr128.mp3");
    std::filesystem::remove(out);
    std::filesystem::remove(each);
    if (c.exists) {
      std::ofstream(out, std::ios::binary) << old;
      std::ofstream(each, std::ios::binary) << old;
    }
    std::vector<std::string> args{"cut"};
    for (std::string a : c.args) {
      if (const std::size_t at = a.find("OUT"); at != std::string::npos) a.replace(at, 3, "out.mp3");
      args.push_back(a);
    }
    ExecSettings in;
    in.Cwd = dir_;
    const Outcome r = Exec(args, in);
    EXPECT_EQ(r.Status, 1) << r.Err;
    if (c.exists) {
      EXPECT_TRUE(Slurp(out) == old) << "the old output is byte for byte what it was";
      EXPECT_TRUE(Slurp(each) == old);
    } else {
      EXPECT_FALSE(std::filesystem::exists(out));
      EXPECT_FALSE(std::filesystem::exists(Path("new dir"))) << "folders are made only for a committed output";
    }
    EXPECT_TRUE(Hidden().empty()) << Hidden().front();
  }
}

TEST_F(CliTransaction, OutputLinksAreFollowedByTheKernelOnly) {
  const std::string song = Data("cbr128.mp3");
  namespace fs = std::filesystem;
  // A chain of 41 links: one more than the kernel follows.
  for (int i = 0; i < 41; ++i) fs::create_symlink("chain" + std::to_string(i + 1), Path("chain" + std::to_string(i)));
  std::ofstream(Path("chain41"), std::ios::binary) << "old";
  fs::create_symlink("loop-b", Path("loop-a"));
  fs::create_symlink("loop-a", Path("loop-b"));
  fs::create_symlink("self", Path("self"));
  fs::create_symlink("missing dir/target.mp3", Path("dangling"));
  fs::create_symlink("target.mp3", Path("dangling-here"));
  struct Case {
    const char* output;
    const char* reason;  // the system's words, in the message
  } cases[] = {
      {"loop-a", "Too many levels of symbolic links"},
      {"self", "Too many levels of symbolic links"},
      {"chain0", "Too many levels of symbolic links"},
      {"dangling", "symbolic link to a missing file"},
      {"dangling-here", "symbolic link to a missing file"},
  };
  for (const Case& c : cases) {
    for (const char* mode : {"--append", "--overwrite", "--no-wait"}) {
      SCOPED_TRACE(std::string(c.output) + " " + mode);
      ExecSettings quick;
      quick.TimeoutSeconds = 10;
      const Outcome r = Exec({"cut", mode, "-o", Path(c.output), song}, quick);
      EXPECT_FALSE(r.TimedOut) << "a link loop must not spin";
      EXPECT_EQ(r.Status, 1) << r.Err;
      EXPECT_TRUE(Contains(r.Err, c.reason)) << r.Err;
    }
  }
  EXPECT_FALSE(fs::exists(Path("missing dir"))) << "no folder is made along a link's target";
  EXPECT_FALSE(fs::exists(Path("target.mp3")));
  EXPECT_EQ(Slurp(Path("chain41")), "old");

  // Forty links are followed: the overwrite replaces the file they lead to,
  // and every link stays a link.
  const Outcome r = Exec({"cut", "--overwrite", "-o", Path("chain1"), song});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(fs::is_symlink(Path("chain1")));
  EXPECT_TRUE(Slurp(Path("chain41")) == Slurp(song));
}

TEST_F(CliTransaction, ALinkInAStickyFolderOfAnotherUserIsNotFollowed) {
  // The kernel's protected_symlinks rule: only the kernel can apply it, so
  // the cutter must leave the following of links to it.
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a link to another user";
  if (Slurp("/proc/sys/fs/protected_symlinks") != "1\n") GTEST_SKIP() << "protected_symlinks is off here";
  const std::string sticky = Path("sticky");
  std::filesystem::create_directory(sticky);
  ::chmod(sticky.c_str(), 01777);
  const std::string target = Path("target.mp3");
  std::ofstream(target, std::ios::binary) << "old";
  const std::string link = sticky + "/out.mp3";
  std::filesystem::create_symlink(target, link);
  ASSERT_EQ(::lchown(link.c_str(), 65534, 65534), 0);
  const Outcome r = Exec({"cut", "--overwrite", "-o", link, Data("cbr128.mp3")});
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, "Permission denied")) << r.Err;
  EXPECT_EQ(Slurp(target), "old");
}

TEST_F(CliTransaction, TagsGoIntoTheNewFileBeforeItTakesItsName) {
  const std::string song = Data("tagged.mp3");
  const std::string out = Path("out.mp3");
  // No ID3v1 tag at its end, which an append would refuse.
  Outcome r = Exec({"cut", "--no-tags", "-o", out, "--tag", "title=First", song + "@0:00-0:01"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  struct stat before {};
  ASSERT_EQ(::stat(out.c_str(), &before), 0);
  r = Exec({"cut", "--append", "-o", out, "--tag", "title=Second", song + "@0:01-0:02"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  struct stat after {};
  ASSERT_EQ(::stat(out.c_str(), &after), 0);
  EXPECT_NE(before.st_ino, after.st_ino) << "an append that changes tags is rewritten beside, then renamed";
  EXPECT_EQ(Shell("ffprobe -v error -show_entries format_tags=title -of csv=p=0 '" + out + "'"), "Second\n");
  int status = 0;
  const std::string errors = Shell("ffmpeg -v error -i '" + out + "' -f null - 2>&1", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(errors, "");
  EXPECT_TRUE(Hidden().empty());
}

TEST_F(CliTransaction, ASplitSaysWhichPiecesWereMade) {
  // Pieces 1 and 2 are a second each; piece 3, the rest, is larger than the
  // size limit, so its write fails.
  const std::string input = Path("in.mp3");
  Shell("ffmpeg -v error -f lavfi -i 'sine=frequency=440:duration=12' -ac 2 -ar 44100 -f wav - | "
        "lame --silent -b 128 - '" + input + "'");
  ExecSettings limited;
  limited.InChild = [] {
    struct rlimit limit {100000, 100000};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::signal(SIGXFSZ, SIG_IGN);
  };
  const Outcome r = Exec({"split", "-d", Path("pieces"), input, "0:01", "0:02", "0:10"}, limited);
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, "2 of 4 pieces were made; 3 and 4 were not")) << r.Err;
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(Path("pieces"))) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"in_01.mp3", "in_02.mp3"}));
}

TEST_F(CliTransaction, OverwriteNeverReplacesTheSheetItReads) {
  const std::string input = Path("album.mp3");
  std::filesystem::copy_file(Data("cbr128.mp3"), input);
  const std::string sheet = Path("01 - One.mp3");
  const std::string text =
      "FILE \"album.mp3\" MP3\n  TRACK 01 AUDIO\n    TITLE \"One\"\n    INDEX 01 00:00:00\n"
      "  TRACK 02 AUDIO\n    TITLE \"Two\"\n    INDEX 01 00:01:00\n";
  std::ofstream(sheet, std::ios::binary) << text;
  const Outcome r = Exec({"split", "--overwrite", "--cue", sheet, input});
  EXPECT_EQ(r.Status, 1);
  EXPECT_TRUE(Contains(r.Err, "would be the CUE sheet")) << r.Err;
  EXPECT_EQ(Slurp(sheet), text);
}

// A few hundred copies of a song, so that a run is still under way when the
// test reaches into its folder.
std::string BigInput(const std::string& path) {
  const std::string piece = Slurp(Data("cbr128.mp3"));
  std::ofstream big(path, std::ios::binary);
  for (int i = 0; i < 400; ++i) big << piece;
  return path;
}

TEST_F(CliTransaction, AnOutputRemovedDuringTheRunIsNotReportedAsWritten) {
  const std::string big = BigInput(Path("big.mp3"));
  // Appended in place, then removed: nothing of the run survives, and it says so.
  const std::string out = Path("out.mp3");
  std::filesystem::copy_file(Data("cbr128.mp3"), out);
  pid_t pid = Start({"cut", "-q", "--append", "-o", out, big});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::filesystem::file_size(out) < 1000000 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  std::filesystem::remove(out);
  Outcome r = Finish(pid);
  EXPECT_EQ(r.Status, 1) << r.Err;
  EXPECT_TRUE(Contains(r.Err, "it was removed while it was written")) << r.Err;
  // A new output whose folder goes meanwhile: the folder is made again when
  // the output is committed.
  const std::string folder = Path("gone");
  std::filesystem::create_directory(folder);
  pid = Start({"cut", "-q", "-o", folder + "/out.mp3", big});
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  std::filesystem::remove_all(folder);
  r = Finish(pid);
  EXPECT_EQ(r.Status, 0) << r.Err;
  ASSERT_EQ(Exec({"cut", "-q", "-o", Path("whole.mp3"), big}).Status, 0);
  EXPECT_TRUE(Slurp(folder + "/out.mp3") == Slurp(Path("whole.mp3")));
}

TEST_F(CliTransaction, ANamedTemporaryOfAKilledRunIsRemovedByTheNextRun) {
  // Where the file system makes no unnamed files, the new output is a hidden
  // named one, locked while its writer lives.
  const std::string piece = Slurp(Data("cbr128.mp3"));
  BigInput(Path("big.mp3"));
  ExecSettings named;
  named.InChild = [] { ::setenv("KERFWELL_NO_TMPFILE", "1", 1); };
  const pid_t pid = Start({"cut", "-q", "-o", Path("out/a.mp3"), Path("big.mp3")}, named);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (Hidden().empty() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  ::kill(pid, SIGKILL);
  Finish(pid);
  ASSERT_EQ(Hidden().size(), 1u) << "the killed run's file";
  EXPECT_FALSE(std::filesystem::exists(Path("out"))) << "a run that commits nothing makes no folder";
  // Younger than two seconds, a file may be one being made this moment.
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  const Outcome r = Exec({"cut", "-o", Path("b.mp3"), Data("cbr128.mp3")}, named);
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(Hidden().empty()) << Hidden().front();
  EXPECT_TRUE(Slurp(Path("b.mp3")) == piece);
}

}  // namespace
