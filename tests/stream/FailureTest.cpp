// Failures of the output and the input are reported with the file and the
// system's reason, and the output never keeps a partial frame.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "StreamFixtures.h"
#include "stream/Scanner.h"

namespace kerfwell_test {
namespace {

class ScanFailure : public testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 20; ++i) frames_.push_back(Frame128(i % 2 == 1, static_cast<char>('A' + i)));
    for (const Bytes& f : frames_) stream_ += f;
    WriteFile(dir_ / "in.mp3", stream_);
    ASSERT_TRUE(ProbeFile(dir_ / "in.mp3", ref_));
  }

  ScanResult Cut(const std::string& out, std::int32_t start = 0, std::int32_t stop = 19) {
    calls_.clear();
    return ScanFrames(dir_ / "in.mp3", out, start, stop, false, ref_,
                      [this](std::int32_t done, std::int32_t total) { calls_.emplace_back(done, total); });
  }

  static void ExpectMessage(const ScanResult& r, const std::string& path, int err) {
    EXPECT_NE(r.Message.find(path), std::string::npos) << r.Message;
    EXPECT_NE(r.Message.find(std::strerror(err)), std::string::npos) << r.Message;
  }

  ScratchDir dir_;
  std::vector<Bytes> frames_;
  Bytes stream_;
  FrameHeader ref_;
  std::vector<std::pair<std::int32_t, std::int32_t>> calls_;
};

TEST_F(ScanFailure, DevicesAndFifosAreRefusedWithoutBlocking) {
  ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  // Opening a FIFO without a writer or reader would block for ever.
  const ScanResult in = ScanFrames(dir_ / "fifo", "", 0, 10, true, ref_);
  EXPECT_EQ(in.Status, ScanStatus::InputUnreadable);
  EXPECT_NE(in.Message.find("a FIFO"), std::string::npos) << in.Message;
  const ScanResult out = Cut(dir_ / "fifo");
  EXPECT_EQ(out.Status, ScanStatus::OutputOpenFailed);
  EXPECT_NE(out.Message.find(dir_ / "fifo"), std::string::npos) << out.Message;
  const ScanResult full = Cut("/dev/full");
  EXPECT_EQ(full.Status, ScanStatus::OutputOpenFailed);
  EXPECT_NE(full.Message.find("a character device"), std::string::npos) << full.Message;
  EXPECT_TRUE(calls_.empty());
  FrameHeader probed;
  std::string error;
  EXPECT_FALSE(ProbeFile("/dev/zero", probed, error));
  EXPECT_NE(error.find("a character device"), std::string::npos) << error;
  EXPECT_FALSE(ProbeFile(dir_ / "fifo", probed, error));
  EXPECT_NE(error.find("a FIFO"), std::string::npos) << error;
}

TEST_F(ScanFailure, AFolderThatCannotBeMadeIsNamedWithMkdirsReason) {
  std::filesystem::create_directory(dir_ / "locked");
  std::filesystem::permissions(dir_ / "locked",
                               std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  const ScanResult r = Cut(dir_ / "locked/new/out.mp3");
  std::filesystem::permissions(dir_ / "locked", std::filesystem::perms::owner_all);
  if (::geteuid() == 0) GTEST_SKIP() << "root makes folders anywhere";
  EXPECT_EQ(r.Status, ScanStatus::OutputCreateFailed);
  EXPECT_NE(r.Message.find("cannot create folder " + (dir_ / "locked/new")), std::string::npos) << r.Message;
  ExpectMessage(r, dir_ / "locked/new", EACCES);
}

TEST_F(ScanFailure, AnOutputThatCannotBeCreatedIsReported) {
  WriteFile(dir_ / "plain-file", "x");
  const std::string out = dir_ / "plain-file/sub/out.mp3";  // its directory cannot exist
  const ScanResult r = Cut(out);
  EXPECT_EQ(r.Status, ScanStatus::OutputCreateFailed);
  ExpectMessage(r, out, ENOTDIR);
  // The folder that could not be made is the one to name, not the file.
  EXPECT_NE(r.Message.find("cannot create folder " + (dir_ / "plain-file/sub")), std::string::npos)
      << r.Message;
  EXPECT_EQ(r.Count, 0);
  EXPECT_EQ(ReadFile(dir_ / "plain-file"), "x");
}

TEST_F(ScanFailure, AnOutputThatExistsButCannotBeOpenedIsReported) {
  std::filesystem::create_directory(dir_ / "folder.mp3");
  const ScanResult r = Cut(dir_ / "folder.mp3");
  EXPECT_EQ(r.Status, ScanStatus::OutputOpenFailed);
  EXPECT_NE(r.Message.find(dir_ / "folder.mp3"), std::string::npos) << r.Message;
  EXPECT_NE(r.Message.find("a directory, not a regular file"), std::string::npos) << r.Message;
  EXPECT_EQ(r.Count, 0);
}

TEST_F(ScanFailure, AnInputThatCannotBeReadIsReported) {
  std::filesystem::create_directory(dir_ / "folder.mp3");
  const ScanResult r = ScanFrames(dir_ / "folder.mp3", "", 0, 10, true, ref_);
  EXPECT_EQ(r.Status, ScanStatus::InputUnreadable);
  EXPECT_NE(r.Message.find(dir_ / "folder.mp3"), std::string::npos) << r.Message;
  EXPECT_NE(r.Message.find("a directory"), std::string::npos) << r.Message;
}

// The file-size limit makes a write stop midway through a frame, as a full
// disk does.
TEST_F(ScanFailure, AWriteThatFailsMidwayLeavesWholeFramesOnly) {
  const Bytes earlier = "earlier content";
  WriteFile(dir_ / "out.mp3", earlier);
  const rlim_t limit = earlier.size() + frames_[0].size() + frames_[1].size() + frames_[2].size() + 200;

  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit lowered = saved;
  lowered.rlim_cur = limit;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &lowered), 0);
  const ScanResult r = Cut(dir_ / "out.mp3", 0, 19);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(r.Status, ScanStatus::WriteFailed);
  ExpectMessage(r, dir_ / "out.mp3", EFBIG);
  EXPECT_EQ(r.Written, 3);
  EXPECT_EQ(calls_, (std::vector<std::pair<std::int32_t, std::int32_t>>{{0, 19}, {1, 19}, {2, 19}}));
  EXPECT_TRUE(ReadFile(dir_ / "out.mp3") == earlier + frames_[0] + frames_[1] + frames_[2]);
}

}  // namespace
}  // namespace kerfwell_test
