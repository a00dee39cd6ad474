// What the batch owes the user when not everything went into the output:
// frames left out, a disk that filled up, an output that is an input under
// another name, files that are not files.

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <chrono>

#include "stream/Scanner.h"
#include "tests/window/WindowFixture.h"

namespace {

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

class BatchReportTest : public WindowTest {
 protected:
  void Run(const QString& output) {
    dlg.saveAnswers.push_back(output);
    form->StartProcess_SB->Click();
  }
  QString LastBox() const { return dlg.boxes.empty() ? QString() : dlg.boxes.back().text; }
};

TEST_F(BatchReportTest, AVariableBitRateJobListsTheFramesLeftOut) {
  const QString cbr = Fixture("cbr128.mp3", "cbr.mp3");
  const QString vbr = Fixture("vbr.mp3", "vbr.mp3");
  Add(cbr);
  Add(vbr);
  const int vbrFrames = form->JobTable[1].TotalFrames;
  ASSERT_GT(vbrFrames, 10);
  // Asked before the run whether to copy the other bit rates too: No.
  dlg.boxAnswers.push_back(dialogs::Result::No);
  Run(TempPath("out.mp3"));
  ASSERT_EQ(dlg.boxes.size(), 2u);
  const QString text = LastBox();
  EXPECT_TRUE(text.contains(vbr)) << text.toStdString();
  EXPECT_TRUE(
      text.contains("frames of the range were not copied: their bit rate differs from the first frame's"))
      << text.toStdString();
  EXPECT_FALSE(text.contains(cbr)) << text.toStdString();
  // The numbers add up: what was left out and what was copied make the range.
  FrameHeader h;
  const std::string in = QFile::encodeName(vbr).toStdString();
  ASSERT_TRUE(ProbeFile(in, h));
  const ScanResult r =
      ScanFrames(in, QFile::encodeName(TempPath("check.mp3")).toStdString(), 0, vbrFrames, false, h);
  EXPECT_TRUE(text.contains(QStringLiteral("%1 of %2 frames").arg(r.LeftOut).arg(r.LeftOut + r.Written)))
      << text.toStdString();
}

TEST_F(BatchReportTest, AFullDiskNamesTheFileTheReasonAndLeavesTheOutputAsItWas) {
  const QStringList paths = AddJobs(2);
  const QString output = TempPath("out.mp3");
  // An earlier run's frame (an output that holds anything else is refused).
  FrameHeader first;
  const std::string firstPath = QFile::encodeName(paths[0]).toStdString();
  ASSERT_TRUE(ProbeFile(firstPath, first));
  ASSERT_TRUE(ScanFrames(firstPath, QFile::encodeName(output).toStdString(), 1, 1, false, first).Ok());
  const QByteArray earlier = ReadAll(output);
  ASSERT_FALSE(earlier.isEmpty());
  // A file-size limit fails a write midway through a frame, as a full disk does.
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit lowered = saved;
  lowered.rlim_cur = static_cast<rlim_t>(earlier.size() + 417 * 10 + 100);
  auto* oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &lowered), 0);
  Run(output);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, oldHandler);

  // The question about the output that holds a frame (Append), then the report.
  ASSERT_EQ(dlg.boxes.size(), 2u);
  EXPECT_EQ(dlg.boxes[0].buttons, dialogs::Buttons::AppendReplaceCancel);
  const QString text = LastBox();
  EXPECT_TRUE(text.contains(output)) << text.toStdString();
  EXPECT_TRUE(text.contains(QString::fromLocal8Bit(strerror(EFBIG)))) << text.toStdString();
  // A run that could not write its output leaves the file as it was.
  EXPECT_TRUE(text.contains(QStringLiteral("The output file was left as it was."))) << text.toStdString();
  EXPECT_TRUE(ReadAll(output) == earlier);
  EXPECT_TRUE(form->Files_SG->isEnabled());
  EXPECT_EQ(form->Panel1->Caption(), QStringLiteral("Idle"));
}

TEST_F(BatchReportTest, AnInputUnderAnyOtherNameIsRefusedAsTheOutput) {
  const QStringList paths = AddJobs(2);
  const QString input = paths[1];
  const QByteArray before = ReadAll(input);
  const QString hardLink = TempPath("hard.mp3");
  const QString symLink = TempPath("sym.mp3");
  ASSERT_EQ(::link(QFile::encodeName(input).constData(), QFile::encodeName(hardLink).constData()), 0);
  ASSERT_TRUE(QFile::link(input, symLink));
  const QString relative = TempPath("sub/../") + QFileInfo(input).fileName();
  ASSERT_TRUE(QDir().mkpath(TempPath("sub")));
  const int fd = ::open(QFile::encodeName(input).constData(), O_RDONLY);
  ASSERT_GE(fd, 0);
  const QString viaProc = QStringLiteral("/proc/self/fd/%1").arg(fd);
  for (const QString& spelling : {hardLink, symLink, relative, viaProc}) {
    SCOPED_TRACE(spelling.toStdString());
    dlg.boxes.clear();
    Run(spelling);
    ASSERT_EQ(dlg.boxes.size(), 1u);
    EXPECT_TRUE(LastBox().contains("is one of the files in the list")) << LastBox().toStdString();
    EXPECT_EQ(ReadAll(input), before);
  }
  ::close(fd);

  // An input that has vanished since it was listed: its place is still taken.
  QFile::remove(paths[0]);
  dlg.boxes.clear();
  Run(paths[0]);
  ASSERT_EQ(dlg.boxes.size(), 1u);
  EXPECT_TRUE(LastBox().contains("is one of the files in the list")) << LastBox().toStdString();
  EXPECT_FALSE(QFileInfo::exists(paths[0]));
}

TEST_F(BatchReportTest, FifosAndDevicesNeitherHangNorGetListed) {
  const QString fifo = TempPath("pipe.mp3");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const auto started = std::chrono::steady_clock::now();
  Add(fifo);
  Add(QStringLiteral("/dev/zero"));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
  EXPECT_EQ(form->JobCount, 0);
  ASSERT_EQ(dlg.boxes.size(), 2u);
  EXPECT_EQ(dlg.boxes[0].text, QStringLiteral("Is Something Strange With This File !"));

  // As the output: refused at once, with what it is.
  AddJobs(1);
  dlg.boxes.clear();
  Run(fifo);
  ASSERT_EQ(dlg.boxes.size(), 1u);
  EXPECT_TRUE(LastBox().contains("a FIFO")) << LastBox().toStdString();
  dlg.boxes.clear();
  Run(QStringLiteral("/dev/full"));
  ASSERT_EQ(dlg.boxes.size(), 1u);
  EXPECT_TRUE(LastBox().contains("a character device")) << LastBox().toStdString();
}

TEST_F(BatchReportTest, AFileWithCoverArtOverTwoMegabytesIsAdded) {
  // A tag of 2.5 MiB of picture-like bytes, sync patterns included, in front
  // of the fixture's frames.
  const QByteArray frames = ReadAll(Fixture("cbr128.mp3", "plain.mp3"));
  const int body = 2621440;
  QByteArray tag("ID3\x03\x00\x00", 6);
  for (int shift = 21; shift >= 0; shift -= 7) tag += char((body >> shift) & 0x7F);
  QByteArray picture(body, '\0');
  for (qsizetype i = 0; i < body; ++i) picture[i] = char(i % 251 == 0 ? 0xFF : (i * 31) & 0xFF);
  const QString covered = WriteFile("covered.mp3", tag + picture + frames);
  Add(covered);
  ASSERT_EQ(form->JobCount, 1);
  EXPECT_EQ(form->JobTable[0].TotalFrames, Frames(TempPath("plain.mp3")));
  const QString output = TempPath("out.mp3");
  Run(output);
  EXPECT_TRUE(dlg.boxes.empty()) << LastBox().toStdString();
  // Only the frames: the tag stays behind.
  EXPECT_EQ(Frames(output), Frames(TempPath("plain.mp3")));
  EXPECT_LE(QFileInfo(output).size(), frames.size());
}

}  // namespace
