// Failures of the output and the input are reported with the file and the
// system's reason, and the output never keeps a partial frame.

#include <gtest/gtest.h>
#include <sys/resource.h>

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

TEST_F(ScanFailure, AFullDeviceIsReportedNotIgnored) {
  const ScanResult r = Cut("/dev/full");
  EXPECT_EQ(r.Status, ScanStatus::WriteFailed);
  ExpectMessage(r, "/dev/full", ENOSPC);
  EXPECT_EQ(r.Written, 0);
  EXPECT_EQ(r.Count, 1);  // stopped at the first frame, which failed
  EXPECT_TRUE(calls_.empty());
}

TEST_F(ScanFailure, AnOutputThatCannotBeCreatedIsReported) {
  WriteFile(dir_ / "plain-file", "x");
  const std::string out = dir_ / "plain-file/sub/out.mp3";  // its directory cannot exist
  const ScanResult r = Cut(out);
  EXPECT_EQ(r.Status, ScanStatus::OutputCreateFailed);
  ExpectMessage(r, out, ENOTDIR);
  EXPECT_EQ(r.Count, 0);
  EXPECT_EQ(ReadFile(dir_ / "plain-file"), "x");
}

TEST_F(ScanFailure, AnOutputThatExistsButCannotBeOpenedIsReported) {
  std::filesystem::create_directory(dir_ / "folder.mp3");
  const ScanResult r = Cut(dir_ / "folder.mp3");
  EXPECT_EQ(r.Status, ScanStatus::OutputOpenFailed);
  ExpectMessage(r, dir_ / "folder.mp3", EISDIR);
  EXPECT_EQ(r.Count, 0);
}

TEST_F(ScanFailure, AnInputThatCannotBeReadIsReported) {
  std::filesystem::create_directory(dir_ / "folder.mp3");
  const ScanResult r = ScanFrames(dir_ / "folder.mp3", "", 0, 10, true, ref_);
  EXPECT_EQ(r.Status, ScanStatus::InputUnreadable);
  ExpectMessage(r, dir_ / "folder.mp3", EISDIR);
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
  EXPECT_EQ(r.Count, 4);
  EXPECT_EQ(calls_, (std::vector<std::pair<std::int32_t, std::int32_t>>{{0, 19}, {1, 19}, {2, 19}}));
  EXPECT_TRUE(ReadFile(dir_ / "out.mp3") == earlier + frames_[0] + frames_[1] + frames_[2]);
}

}  // namespace
}  // namespace kerfwell_test
