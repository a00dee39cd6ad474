// An input opened once: everything a job learns and copies comes from the
// file that was opened, whatever happens at its path meanwhile, and the
// readers that share its descriptor do not disturb one another.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "StreamFixtures.h"
#include "stream/Id3Tag.h"
#include "stream/Scanner.h"
#include "stream/SourceFile.h"
#include "stream/TrailingTags.h"

namespace kerfwell_test {
namespace {

// An ID3v2 tag of `body` bytes (no footer).
Bytes Id3Tag(int body) {
  Bytes t = "ID3";
  t += static_cast<char>(4);
  t += '\0';
  t += '\0';
  for (int shift = 21; shift >= 0; shift -= 7) t += static_cast<char>((body >> shift) & 0x7F);
  t.append(static_cast<std::size_t>(body), 'x');
  return t;
}

Bytes Id3v1Tag() {
  Bytes t = "TAG";
  t.resize(128, 'y');
  return t;
}

class SourceFileTest : public testing::Test {
 protected:
  void SetUp() override {
    // The first file: 30 frames of 128 kbps, each filled with its own byte.
    for (int i = 0; i < 30; ++i) first_ += Frame128(i % 3 == 0, static_cast<char>('A' + i % 20));
    // Another at its path later: tags around 12 frames of 64 kbps.
    HeaderFields f64;
    f64.BitRateIndex = 5;
    Bytes frames;
    for (int i = 0; i < 12; ++i) frames += Frame(f64, 208, 'z');
    second_ = Id3Tag(300) + frames + Id3v1Tag();
    WriteFile(dir_ / "in.mp3", first_);
    WriteFile(dir_ / "other.mp3", second_);
  }

  void ReplaceInput() {
    ASSERT_EQ(std::rename((dir_ / "other.mp3").c_str(), (dir_ / "in.mp3").c_str()), 0) << std::strerror(errno);
  }

  ScratchDir dir_;
  Bytes first_;
  Bytes second_;
};

TEST_F(SourceFileTest, AFileRenamedOverThePathAfterOpeningIsNeverRead) {
  struct stat opened {};
  ASSERT_EQ(::stat((dir_ / "in.mp3").c_str(), &opened), 0);
  SourceFile source(dir_ / "in.mp3");
  ASSERT_TRUE(source.IsOpen()) << source.Error();

  // Replaced before anything was read: the probe, the tag extents, the count
  // and the cut are all of the file that was opened.
  ReplaceInput();
  struct stat now {};
  ASSERT_EQ(::stat((dir_ / "in.mp3").c_str(), &now), 0);
  ASSERT_NE(now.st_ino, opened.st_ino);
  EXPECT_EQ(source.Device(), opened.st_dev);
  EXPECT_EQ(source.Inode(), opened.st_ino);
  EXPECT_EQ(source.Size(), static_cast<std::int64_t>(first_.size()));

  StreamProbe probe;
  std::string error;
  ASSERT_TRUE(ProbeStream(source, probe, error)) << error;
  EXPECT_EQ(probe.AudioStart, 0);
  EXPECT_EQ(probe.AudioEnd, static_cast<std::int64_t>(first_.size()));
  EXPECT_EQ(probe.Reference.FrameLength, 418);  // frame 0 is padded
  std::int64_t leading = -1;
  ASSERT_TRUE(LeadingTagsLength(source, leading, error)) << error;
  EXPECT_EQ(leading, 0);
  EXPECT_FALSE(HasId3v1Tag(source));

  const ScanResult count = ScanFrames(source, "", 0, 100, true, probe.Reference, {}, ScanOptions{});
  ASSERT_TRUE(count.Ok()) << count.Message;
  EXPECT_EQ(count.Count, 30);
  const ScanResult cut =
      ScanFrames(source, dir_ / "out.mp3", 4, 9, false, probe.Reference, {}, ScanOptions{});
  ASSERT_TRUE(cut.Ok()) << cut.Message;
  EXPECT_EQ(cut.Written, 6);
  Bytes expected;
  for (int i = 0; i < 30; ++i) {
    if (i >= 4 && i <= 9) expected += first_.substr(static_cast<std::size_t>(417 * i + (i + 2) / 3), i % 3 == 0 ? 418 : 417);
  }
  EXPECT_EQ(ReadFile(dir_ / "out.mp3"), expected);

  // The path itself now names the other file, which is what a fresh look sees.
  StreamProbe fresh;
  ASSERT_TRUE(ProbeStream(dir_ / "in.mp3", fresh, error)) << error;
  EXPECT_EQ(fresh.AudioStart, 310);
  EXPECT_EQ(fresh.Reference.FrameLength, 208);
  EXPECT_TRUE(HasId3v1Tag(dir_ / "in.mp3"));
}

TEST_F(SourceFileTest, WhatIsLearntOnceIsNotReadAgain) {
  SourceFile source(dir_ / "other.mp3");
  ASSERT_TRUE(source.IsOpen()) << source.Error();
  FrameHeader reference;
  std::string error;
  ASSERT_TRUE(ProbeFile(source, reference, error)) << error;
  TrailingTags tags;
  ASSERT_TRUE(FindTrailingTags(source, tags, error)) << error;
  EXPECT_EQ(tags.AudioEnd, static_cast<std::int64_t>(second_.size() - 128));

  // The file changes in place after the first look (same inode): the job
  // keeps the stream it probed, and copies whole frames of its audio only.
  WriteFile(dir_ / "other.mp3", Bytes(second_.size(), '\0'));
  FrameHeader again;
  ASSERT_TRUE(ProbeFile(source, again, error)) << error;
  EXPECT_EQ(again.FrameLength, reference.FrameLength);
  EXPECT_EQ(again.Position, 310);
  ASSERT_TRUE(FindTrailingTags(source, tags, error)) << error;
  EXPECT_EQ(tags.AudioEnd, static_cast<std::int64_t>(second_.size() - 128));
}

TEST_F(SourceFileTest, ReadersSharingTheDescriptorKeepTheirOwnPlace) {
  SourceFile source(dir_ / "in.mp3");
  ASSERT_TRUE(source.IsOpen()) << source.Error();
  FrameHeader reference;
  ASSERT_TRUE(ProbeFile(source, reference));
  // A walk that cuts a frame range of the same source at every frame it
  // meets: the cut reads through the same descriptor in the middle of the
  // walk, which must go on where it was.
  std::vector<std::int64_t> positions;
  std::string error;
  int cuts = 0;
  ASSERT_TRUE(WalkFrames(
      source, reference, ScanOptions{},
      [&](const FrameVisit& f) {
        positions.push_back(f.Position);
        if (f.Index % 7 == 0) {
          const ScanResult r = ScanFrames(source, dir_ / "out.mp3", 20, 29, false, reference, {}, ScanOptions{});
          cuts += r.Ok() && r.Written == 10;
        }
        return true;
      },
      error))
      << error;
  ASSERT_EQ(positions.size(), 30u);
  for (int i = 0; i < 30; ++i) EXPECT_EQ(positions[static_cast<std::size_t>(i)], 417 * i + (i + 2) / 3);
  EXPECT_EQ(cuts, 5);
  Bytes tail = first_.substr(static_cast<std::size_t>(positions[20]));
  Bytes fiveTails;
  for (int i = 0; i < 5; ++i) fiveTails += tail;
  EXPECT_EQ(ReadFile(dir_ / "out.mp3"), fiveTails);
}

// What a source that did not open says is what the path-taking functions said
// of the same path: the probe, the scan and the walk keep their words.
TEST_F(SourceFileTest, AFailedOpenIsReportedInTheWordsOfEachReader) {
  ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  ASSERT_EQ(::mkdir((dir_ / "folder").c_str(), 0700), 0);
  struct Case {
    std::string path;
    bool missing;
    ScanStatus scan;
    std::string probeText;  // a part of what the probe says
  };
  const std::vector<Case> cases = {
      {dir_ / "absent.mp3", true, ScanStatus::InputMissing, dir_ / "absent.mp3: " + std::strerror(ENOENT)},
      {dir_ / "in.mp3/below", true, ScanStatus::InputMissing, std::strerror(ENOTDIR)},
      {dir_ / "fifo", false, ScanStatus::InputUnreadable, "it is a FIFO, not a regular file"},
      {dir_ / "folder", false, ScanStatus::InputUnreadable, "it is a directory, not a regular file"},
  };
  FrameHeader reference;
  ASSERT_TRUE(ProbeFile(dir_ / "in.mp3", reference));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    SourceFile source(c.path);
    EXPECT_FALSE(source.IsOpen());
    EXPECT_EQ(source.Missing(), c.missing);
    StreamProbe byPath, bySource;
    std::string pathError, sourceError;
    EXPECT_FALSE(ProbeStream(c.path, byPath, pathError));
    EXPECT_FALSE(ProbeStream(source, bySource, sourceError));
    EXPECT_EQ(sourceError, pathError);
    EXPECT_NE(pathError.find(c.probeText), std::string::npos) << pathError;
    const ScanResult scanPath = ScanFrames(c.path, dir_ / "made.mp3", 0, 5, false, reference);
    const ScanResult scanSource = ScanFrames(source, dir_ / "made.mp3", 0, 5, false, reference, {}, ScanOptions{});
    EXPECT_EQ(scanPath.Status, c.scan);
    EXPECT_EQ(scanSource.Status, c.scan);
    EXPECT_EQ(scanSource.Message, scanPath.Message);
    // Nothing at the path: no output either.
    EXPECT_EQ(Exists(dir_ / "made.mp3"), !c.missing);
    std::remove((dir_ / "made.mp3").c_str());
    std::string walkPath, walkSource;
    EXPECT_FALSE(WalkFrames(c.path, reference, ScanOptions{}, [](const FrameVisit&) { return true; }, walkPath));
    EXPECT_FALSE(WalkFrames(source, reference, ScanOptions{}, [](const FrameVisit&) { return true; }, walkSource));
    EXPECT_EQ(walkSource, walkPath);
  }
}

}  // namespace
}  // namespace kerfwell_test
