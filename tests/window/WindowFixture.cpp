#include "tests/window/WindowFixture.h"

#include <QCoreApplication>
#include <QFile>

#include "gapless/JoinReach.h"
#include "output/OutputWriter.h"
#include "stream/Scanner.h"
#include "stream/SourceFile.h"

dialogs::Result WindowDialogs::MessageBox(const dialogs::MessageBoxRequest& request) {
  boxes.push_back(request);
  if (!boxAnswers.empty()) {
    const dialogs::Result r = boxAnswers.front();
    boxAnswers.pop_front();
    return r;
  }
  return request.buttons == dialogs::Buttons::YesNo || request.buttons == dialogs::Buttons::AppendReplaceCancel
             ? request.defaultButton
             : dialogs::Result::Ok;
}

QString WindowDialogs::OpenFile(const dialogs::FileDialogRequest& request) {
  opens.push_back(request);
  if (openAnswers.empty()) return QString();
  const QString r = openAnswers.front();
  openAnswers.pop_front();
  return r;
}

QString WindowDialogs::SaveFile(const dialogs::FileDialogRequest& request) {
  saves.push_back(request);
  if (saveAnswers.empty()) return QString();
  const QString r = saveAnswers.front();
  saveAnswers.pop_front();
  return r;
}

void WindowTest::SetUp() {
  ASSERT_TRUE(tmp.isValid());
  fake_xaudio::Reset();
  previousDialogs = dialogs::SetDialogs(&dlg);
  form = std::make_unique<T_MainForm>();
  form->show();
  fake_xaudio::Deliver();
  fake_xaudio::ClearCalls();
}

void WindowTest::TearDown() {
  form.reset();
  fake_xaudio::Deliver();
  dialogs::SetDialogs(previousDialogs);
}

QString WindowTest::TempPath(const QString& name) const { return tmp.filePath(name); }

QString WindowTest::Fixture(const QString& fixtureName, const QString& asName) {
  const QString target = TempPath(asName);
  QFile::remove(target);
  EXPECT_TRUE(QFile::copy(QStringLiteral(KERFWELL_TEST_DATA "/") + fixtureName, target))
      << fixtureName.toStdString();
  return target;
}

QString WindowTest::WriteFile(const QString& name, const QByteArray& bytes) {
  const QString target = TempPath(name);
  QFile f(target);
  EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(bytes);
  return target;
}

void WindowTest::Add(const QString& path) {
  dlg.openAnswers.push_back(path);
  form->OpenFile_SB->Click();
}

QStringList WindowTest::AddJobs(int n) {
  QStringList paths;
  for (int i = 0; i < n; ++i) {
    const QString p = Fixture(QStringLiteral("cbr128.mp3"), QStringLiteral("%1.mp3").arg(QChar('a' + i)));
    Add(p);
    paths << p;
  }
  return paths;
}

QStringList WindowTest::Row(int row) const {
  QStringList cells;
  for (int c = 0; c < 5; ++c) cells << form->Files_SG->Cell(c, row);
  return cells;
}

std::int32_t WindowTest::Frames(const QString& path) {
  FrameHeader h;
  const std::string p = QFile::encodeName(path).toStdString();
  if (!ProbeFile(p, h)) return -1;
  return ScanFrames(p, std::string(), 0, 100, true, h).Count;
}

std::string CmdInputOpen(const QString& path) {
  return "control_message_send_S(7, \"" + QFile::encodeName(path).toStdString() + "\")";
}
std::string CmdSetRange(int range) { return "control_message_send_I(40, " + std::to_string(range) + ")"; }
std::string CmdSeek(int offset, int range) {
  return "control_message_send_II(6, " + std::to_string(offset) + ", " + std::to_string(range) + ")";
}
std::string CmdPlay() { return "control_message_send_N(3)"; }
std::string CmdStop() { return "control_message_send_N(5)"; }

QByteArray WindowTest::Joined(const std::vector<Part>& parts, const QString& existing, bool keepEndPadding,
                              bool everyBitRate) {
  static int made = 0;
  const QString out = TempPath(QStringLiteral("joined-%1.bin").arg(made++));
  if (!existing.isEmpty()) QFile::copy(existing, out);
  OutputWriter writer;
  OutputSettings settings;
  settings.ReserveTagFrame = everyBitRate;
  settings.WidenAtJunctions = everyBitRate;
  OutputOpened opened;
  std::string error;
  EXPECT_EQ(writer.Open(QFile::encodeName(out).toStdString(), settings, opened, error), OutputStatus::Ok) << error;
  for (const Part& p : parts) {
    SourceFile source(QFile::encodeName(p.Path).toStdString());
    FrameHeader h;
    EXPECT_TRUE(ProbeFile(source, h));
    writer.BeginJob();
    if (writer.AudioFrames() > 0) {
      CopyStart start;
      EXPECT_TRUE(MeasureCopyStart(source, h, p.Start, start, error)) << error;
      writer.JoinJob(start.Reservoir);
    }
    ScanOptions options;
    options.Sink = &writer;
    options.EndAfterRange = true;
    options.AnyBitRate = everyBitRate;
    EXPECT_TRUE(ScanFrames(source, "", p.Start, p.Stop, false, h, {}, options).Ok());
  }
  FinishSettings finish;
  finish.KeepEndPadding = keepEndPadding;
  EXPECT_TRUE(writer.Finish(finish, error) && writer.Commit(error)) << error;
  QFile f(out);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
