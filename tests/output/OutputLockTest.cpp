// The lock that keeps two runs off one output, and what a run leaves when it
// ends without committing.

#include "OutputTestSupport.h"

namespace output_test {
namespace {

class OutputLockTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kerfwell-lock-XXXXXX").string();
    dir_ = ::mkdtemp(tmpl.data());
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string dir_;
};

TEST_F(OutputLockTest, ASecondWriterIsRefusedWithNoWaitUntilTheFirstIsDone) {
  // An existing output is locked itself; one that does not exist yet, to
  // which runs append, through its folder.
  for (const bool exists : {true, false}) {
    SCOPED_TRACE(exists ? "an existing output" : "a new output");
    const std::string out = dir_ + (exists ? "/old.mp3" : "/new/out.mp3");
    if (exists) std::ofstream(out) << "";
    std::filesystem::create_directories(dir_ + "/new");
    OutputWriter first;
    OutputOpened opened;
    std::string error;
    ASSERT_EQ(first.Open(out, {}, opened, error), OutputStatus::Ok) << error;
    EXPECT_TRUE(opened.New);
    OutputSettings noWait;
    noWait.NoWait = true;
    {
      OutputWriter second;
      EXPECT_EQ(second.Open(out, noWait, opened, error), OutputStatus::Busy);
      EXPECT_EQ(error, out + " is being written by another run; nothing written");
    }
    // A waiting writer gives up when told to.
    std::atomic<bool> cancel{true};
    OutputSettings waiting;
    waiting.Cancel = &cancel;
    std::string told;
    waiting.OnWait = [&told](const std::string& path) { told = path; };
    {
      OutputWriter third;
      EXPECT_EQ(third.Open(out, waiting, opened, error), OutputStatus::Interrupted);
      EXPECT_EQ(told, out);
    }
    // The first wrote no frame: no new file takes the name, and the lock goes.
    ASSERT_TRUE(first.Commit(error)) << error;
    EXPECT_EQ(std::filesystem::exists(out), exists);
    OutputWriter fourth;
    EXPECT_EQ(fourth.Open(out, noWait, opened, error), OutputStatus::Ok) << error;
    fourth.Discard();
    EXPECT_EQ(std::filesystem::exists(out), exists);
  }
}

TEST_F(OutputLockTest, WhatADiscardedRunLeaves) {
  const std::string in = std::string(KERFWELL_TEST_DATA) + "/mpeg1-l2.mp2";
  FrameHeader reference;
  ASSERT_TRUE(ProbeFile(in, reference));
  const std::string old = Slurp(in).substr(0, 576 * 3);
  struct Case {
    const char* name;
    ExistingOutput existing;
    bool exists;
    std::string left;  // what the output holds after the discard; "-" for no file
  } cases[] = {
      {"a new output", ExistingOutput::Refuse, false, "-"},
      {"an overwrite", ExistingOutput::Overwrite, true, old},
      {"an append", ExistingOutput::Append, true, old},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = dir_ + "/out.mp2";
    std::filesystem::remove(out);
    if (c.exists) std::ofstream(out, std::ios::binary) << old;
    OutputWriter writer;
    OutputSettings settings;
    settings.Existing = c.existing;
    OutputOpened opened;
    std::string error;
    ASSERT_EQ(writer.Open(out, settings, opened, error), OutputStatus::Ok) << error;
    ScanOptions options;
    options.Sink = &writer;
    writer.BeginJob();
    ASSERT_TRUE(ScanFrames(in, "", 5, 6, false, reference, {}, options).Ok());
    EXPECT_EQ(writer.AddedAudioFrames(), 2);
    writer.Discard();
    if (c.left == "-") {
      EXPECT_FALSE(std::filesystem::exists(out));
    } else {
      EXPECT_TRUE(Slurp(out) == c.left);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), std::filesystem::directory_iterator()),
              c.left == "-" ? 0 : 1);
  }
}

}  // namespace
}  // namespace output_test
