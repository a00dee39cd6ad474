// Outputs as transactions under the worst a user's machine does: a kill at any
// moment, a disk that fills up, a second run that waits for the first. After
// each, an output's path holds the old file byte for byte or the complete new
// output, and no temporary file is left.
//
// KERFWELL_CRASH_RUNS and KERFWELL_CRASH_MB make the kill test larger than
// the suite runs it (the figures of a longer run are printed the same way).

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "HostileSupport.h"
#include "tests/stream/StreamFixtures.h"

namespace kerfwell_test {
namespace {

namespace fs = std::filesystem;

int FromEnv(const char* name, int fallback) {
  const char* v = std::getenv(name);
  return v != nullptr && std::atoi(v) > 0 ? std::atoi(v) : fallback;
}

std::string Slurp(const std::string& path) {
  const Bytes b = ReadFile(path);
  return std::string(b.begin(), b.end());
}

void Put(const std::string& path, const std::string& bytes) { WriteFile(path, Bytes(bytes.begin(), bytes.end())); }

// Runs the cutter to its end; its exit status.
int RunCut(const std::vector<std::string>& args, const std::string& errPath) {
  std::vector<std::string> argv{CutterBinary()};
  argv.insert(argv.end(), args.begin(), args.end());
  const pid_t pid = Spawn(argv, errPath);
  int st = 0;
  ::waitpid(pid, &st, 0);
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// The names in `dir` (and below) that are not in `expected`: what a run left.
std::vector<std::string> Strays(const std::string& dir, const std::vector<std::string>& expected) {
  std::vector<std::string> found;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    const std::string rel = fs::relative(e.path(), dir).string();
    if (e.is_directory()) continue;
    if (std::find(expected.begin(), expected.end(), rel) == expected.end()) found.push_back(rel);
  }
  return found;
}

// A Layer III input of about `mb` megabytes: a real encoder's file (its Info
// frame and tags at both ends) with its frames repeated in the middle.
std::string MakeInput(const std::string& dir, int mb) {
  const std::string song = Slurp(std::string(KERFWELL_TEST_DATA) + "/tagged.mp3");
  const std::string v2 = song.substr(0, 10);
  const std::size_t tag = 10 + ((static_cast<std::size_t>(v2[6]) << 21) | (static_cast<std::size_t>(v2[7]) << 14) |
                                (static_cast<std::size_t>(v2[8]) << 7) | static_cast<std::size_t>(v2[9]));
  // The Info frame is 417 bytes long at 128 kbps; the frames follow it.
  const std::string frames = song.substr(tag + 417, song.size() - 128 - tag - 417);
  std::string input = song.substr(0, song.size() - 128);
  while (input.size() < static_cast<std::size_t>(mb) << 20) input += frames;
  input += song.substr(song.size() - 128);
  const std::string path = dir + "/input.mp3";
  Put(path, input);
  return path;
}

// Waits until process `pid` has written `bytes` (its write calls, as
// /proc/PID/io counts them), or has ended.
void WaitForWritten(pid_t pid, std::int64_t bytes) {
  const std::string io = "/proc/" + std::to_string(pid) + "/io";
  for (;;) {
    std::istringstream fields(Slurp(io));
    std::int64_t wchar = -1;
    for (std::string name; fields >> name;) {
      if (name == "wchar:") fields >> wchar;
    }
    siginfo_t ended {};
    if (wchar < 0 || wchar >= bytes) return;
    if (::waitid(P_PID, static_cast<id_t>(pid), &ended, WEXITED | WNOHANG | WNOWAIT) == 0 && ended.si_pid == pid)
      return;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
}

struct Mode {
  const char* name;
  bool old;                       // the output holds an old file before the run
  std::vector<std::string> args;  // OUT, IN, DIR and SHEET stand for the paths
  bool split;
  bool append;
};

const Mode kModes[] = {
    {"cut", false, {"cut", "-q", "-o", "OUT", "IN"}, false, false},
    {"cut --tag", false, {"cut", "-q", "--tag", "title=Killed", "-o", "OUT", "IN"}, false, false},
    {"cut --overwrite --tag", true, {"cut", "-q", "--overwrite", "--tag", "title=New", "-o", "OUT", "IN"}, false,
     false},
    {"split --cue", false, {"split", "-q", "--cue", "SHEET", "-d", "DIR", "IN"}, true, false},
    {"cut --append", true, {"cut", "-q", "--append", "-o", "OUT", "IN"}, false, true},
};

class Transactions : public testing::Test {
 protected:
  void SetUp() override {
    input_ = MakeInput(dir_.path(), FromEnv("KERFWELL_CRASH_MB", 12));
    old_ = Slurp(std::string(KERFWELL_TEST_DATA) + "/cbr128.mp3");
    Put(dir_ / "album.cue",
        "PERFORMER \"P\"\nTITLE \"Album\"\nFILE \"input.mp3\" MP3\n  TRACK 01 AUDIO\n    TITLE \"One\"\n"
        "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    TITLE \"Two\"\n    INDEX 01 00:20:00\n"
        "  TRACK 03 AUDIO\n    TITLE \"Three\"\n    INDEX 01 00:40:00\n");
  }

  std::vector<std::string> Args(const Mode& m, const std::string& work) const {
    std::vector<std::string> args;
    for (const std::string& a : m.args) {
      args.push_back(a == "OUT"     ? work + "/out.mp3"
                     : a == "IN"    ? input_
                     : a == "DIR"   ? work + "/pieces"
                     : a == "SHEET" ? dir_ / "album.cue"
                                    : a);
    }
    return args;
  }
  // The output files of a mode, relative to its folder.
  static std::vector<std::string> Outputs(const Mode& m) {
    if (m.split) return {"pieces/01 - One.mp3", "pieces/02 - Two.mp3", "pieces/03 - Three.mp3"};
    return {"out.mp3"};
  }
  void Prepare(const Mode& m, const std::string& work) const {
    fs::remove_all(work);
    fs::create_directories(work);
    if (m.old) Put(work + "/out.mp3", old_);
  }

  ScratchDir dir_;
  std::string input_;
  std::string old_;
};

TEST_F(Transactions, AKillAtAnyMomentLeavesTheOldOutputOrACompleteNewOne) {
  const int runs = FromEnv("KERFWELL_CRASH_RUNS", 40);
  // Each mode run whole first: the complete new outputs, and how long it takes.
  std::map<std::string, std::map<std::string, std::string>> complete;
  std::map<std::string, std::int64_t> written;  // what a whole run writes, about
  for (const Mode& m : kModes) {
    const std::string work = dir_ / "ref";
    Prepare(m, work);
    ASSERT_EQ(RunCut(Args(m, work), dir_ / "ref.err"), 0) << m.name << ": " << Slurp(dir_ / "ref.err");
    for (const std::string& o : Outputs(m)) {
      complete[m.name][o] = Slurp(work + "/" + o);
      written[m.name] += static_cast<std::int64_t>(complete[m.name][o].size() - (m.old ? old_.size() : 0));
    }
  }

  std::mt19937 random(20261208);
  int kills = 0, checked = 0, strays = 0;
  std::map<std::string, int> asBefore, asComplete, appendedInPart;
  for (int run = 0; run < runs; ++run) {
    const Mode& m = kModes[run % std::size(kModes)];
    SCOPED_TRACE(testing::Message() << "run " << run << ", " << m.name);
    const std::string work = dir_ / "work";
    Prepare(m, work);
    std::vector<std::string> argv{CutterBinary()};
    for (const std::string& a : Args(m, work)) argv.push_back(a);
    const pid_t pid = Spawn(argv, dir_ / "run.err");
    // Anywhere from the start to a little past the end, by the bytes the run
    // has written (and so whatever the machine's speed): in the frames, in
    // the tag write, in the commit.
    const double at = std::uniform_real_distribution<double>(0, 1.05)(random) * static_cast<double>(written[m.name]);
    WaitForWritten(pid, static_cast<std::int64_t>(at));
    ::kill(pid, SIGKILL);
    int st = 0;
    ::waitpid(pid, &st, 0);
    if (WIFSIGNALED(st)) ++kills;
    for (const std::string& o : Outputs(m)) {
      const std::string path = work + "/" + o;
      const std::string& done = complete[m.name][o];
      const bool exists = fs::exists(path);
      const std::string now = exists ? Slurp(path) : "";
      ++checked;
      if (exists && now == done) {
        ++asComplete[m.name];
      } else if (m.old ? exists && now == old_ : !exists) {
        ++asBefore[m.name];
      } else if (m.append && now.size() > old_.size() && now.compare(0, old_.size(), old_) == 0 &&
                 done.compare(old_.size(), now.size() - old_.size(), now, old_.size(), std::string::npos) == 0) {
        // Appended in place: whole frames and perhaps a part of one, which
        // the next append cuts off.
        ++appendedInPart[m.name];
      } else {
        ADD_FAILURE() << path << " is neither the old file nor the complete new one (" << now.size() << " bytes)";
      }
    }
    const std::vector<std::string> left = Strays(work, Outputs(m));
    strays += static_cast<int>(left.size());
    EXPECT_TRUE(left.empty()) << left.front();
  }
  std::printf("%d runs on %d MB, %d killed, %d outputs checked, %d temporaries found\n", runs,
              FromEnv("KERFWELL_CRASH_MB", 12), kills, checked, strays);
  for (const Mode& m : kModes)
    std::printf("  %-24s as before %3d, complete %3d, appended in part %3d\n", m.name, asBefore[m.name],
                asComplete[m.name], appendedInPart[m.name]);
  EXPECT_GT(kills, runs / 2) << "most kills must find the run under way";
}

TEST_F(Transactions, AFullDiskFailsTheRunAndLeavesTheOldOutput) {
  SmallDisk disk(dir_ / "disk", "4m");
  if (!disk.Mounted()) GTEST_SKIP() << "mounting a small tmpfs needs root";
  // Outputs of 16 to 50 KB, and the tag.
  const std::string small = std::string(KERFWELL_TEST_DATA) + "/cbr128.mp3";
  const std::string clip = small + "@0:00-0:01";
  struct Case {
    const char* name;
    std::vector<std::string> args;
    bool old;
    std::vector<std::string> outputs;
  } cases[] = {
      {"cut", {"cut", "-q", "-o", "OUT", clip}, false, {"out.mp3"}},
      {"--overwrite", {"cut", "-q", "--overwrite", "-o", "OUT", clip}, true, {"out.mp3"}},
      {"--append --tag", {"cut", "-q", "--append", "--tag", "title=Full", "-o", "OUT", clip}, true, {"out.mp3"}},
      {"split", {"split", "-q", "-d", "DIR", small, "0:00.4", "0:00.8", "0:01"}, false, {}},
      {"--each", {"cut", "-q", "--each", "-d", "DIR", clip}, false, {"cbr128.mp3"}},
  };
  const std::string work = dir_ / "disk/work";
  int failedRuns = 0, succeededRuns = 0;
  for (const Case& c : cases) {
    // The room the whole run takes, when there is room.
    fs::remove_all(work);
    fs::create_directories(work);
    if (c.old) Put(work + "/out.mp3", old_);
    const long long before = disk.FreeBytes();
    std::vector<std::string> args;
    for (const std::string& a : c.args) args.push_back(a == "OUT" ? work + "/out.mp3" : a == "DIR" ? work : a);
    ASSERT_EQ(RunCut(args, dir_ / "full.err"), 0) << c.name << ": " << Slurp(dir_ / "full.err");
    std::map<std::string, std::string> done;
    for (const auto& e : fs::directory_iterator(work)) done[e.path().filename()] = Slurp(e.path());
    const long long needed = before - disk.FreeBytes() + 64 * 1024;
    // Every amount of free room from none to enough, a page apart.
    for (long long room = 0; room <= needed; room += 4096) {
      SCOPED_TRACE(testing::Message() << c.name << ", " << room << " bytes free");
      fs::remove_all(work);
      fs::create_directories(work);
      if (c.old) Put(work + "/out.mp3", old_);
      const long long fill = disk.FreeBytes() - room;
      if (fill > 0) Put(dir_ / "disk/filler", std::string(static_cast<std::size_t>(fill), '\0'));
      const int status = RunCut(args, dir_ / "full.err");
      const std::string err = Slurp(dir_ / "full.err");
      fs::remove(dir_ / "disk/filler");
      std::map<std::string, std::string> now;
      for (const auto& e : fs::directory_iterator(work)) now[e.path().filename()] = Slurp(e.path());
      if (status == 0) {
        ++succeededRuns;
        EXPECT_TRUE(now == done) << "a run that says it succeeded made what a run with room makes";
        continue;
      }
      ++failedRuns;
      EXPECT_EQ(status, 1) << err;
      EXPECT_NE(err.find("No space left on device"), std::string::npos) << err;
      std::map<std::string, std::string> expected;
      if (c.old) expected["out.mp3"] = old_;
      if (c.outputs.empty()) {
        // A split keeps the pieces it made whole; the one that failed is not there.
        for (const auto& [name, bytes] : now) EXPECT_TRUE(done.count(name) && done[name] == bytes) << name;
        EXPECT_LT(now.size(), done.size());
      } else {
        EXPECT_TRUE(now == expected) << "the old output byte for byte, or nothing";
      }
    }
  }
  std::printf("full disk: %d runs failed with the old output kept, %d had room\n", failedRuns, succeededRuns);
  EXPECT_GT(failedRuns, 0);
}

// Whether process `pid` holds a flock() on the file of inode `inode` within a
// minute, as /proc/locks lists them ("1: FLOCK ADVISORY WRITE PID MAJ:MIN:INODE ...").
bool WaitForLock(pid_t pid, ino_t inode) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    std::istringstream locks(Slurp("/proc/locks"));
    for (std::string line; std::getline(locks, line);) {
      std::istringstream fields(line);
      std::string number, kind, advisory, mode, device;
      long owner = 0;
      fields >> number >> kind >> advisory >> mode >> owner >> device;
      const std::size_t colon = device.rfind(':');
      if (kind == "FLOCK" && owner == pid && colon != std::string::npos &&
          std::strtoull(device.c_str() + colon + 1, nullptr, 10) == inode)
        return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

TEST_F(Transactions, AnAppendThatWaitsForAnOverwriteWithTagsComesAfterIt) {
  const int trials = FromEnv("KERFWELL_RACE_TRIALS", 10);
  const std::string work = dir_ / "race";
  const std::string out = work + "/out.mp3";
  const std::vector<std::string> overwrite{"cut", "-q", "--overwrite", "--no-tags", "--tag", "title=First", "-o", out, input_};
  const std::vector<std::string> append{"cut", "-q", "--append", "-o", out, input_ + "@0:00-0:02"};
  // One after the other.
  fs::create_directories(work);
  Put(out, old_);
  ASSERT_EQ(RunCut(overwrite, dir_ / "a.err"), 0) << Slurp(dir_ / "a.err");
  ASSERT_EQ(RunCut(append, dir_ / "b.err"), 0) << Slurp(dir_ / "b.err");
  const std::string sequential = Slurp(out);
  for (int trial = 0; trial < trials; ++trial) {
    SCOPED_TRACE(trial);
    Put(out, old_);
    std::vector<std::string> a{CutterBinary()}, b{CutterBinary()};
    a.insert(a.end(), overwrite.begin(), overwrite.end());
    b.insert(b.end(), append.begin(), append.end());
    struct stat old {};
    ASSERT_EQ(::stat(out.c_str(), &old), 0);
    const pid_t first = Spawn(a, dir_ / "a.err");
    // The second starts once the first holds the lock, a little later each
    // trial: from then on it must wait, whatever the machine's speed.
    ASSERT_TRUE(WaitForLock(first, old.st_ino)) << "the first run never locked its output";
    std::this_thread::sleep_for(std::chrono::milliseconds(5 * trial));
    const pid_t second = Spawn(b, dir_ / "b.err");
    int sa = 0, sb = 0;
    ::waitpid(first, &sa, 0);
    ::waitpid(second, &sb, 0);
    EXPECT_EQ(WEXITSTATUS(sa), 0) << Slurp(dir_ / "a.err");
    EXPECT_EQ(WEXITSTATUS(sb), 0) << Slurp(dir_ / "b.err");
    EXPECT_TRUE(Slurp(out) == sequential) << "the result of the two runs one after the other";
    EXPECT_TRUE(Strays(work, {"out.mp3"}).empty());
  }
}

}  // namespace
}  // namespace kerfwell_test
