#pragma once

// The main window as a user meets it, with the fake audio library behind its
// player and scripted answers for its dialogs.

#include <gtest/gtest.h>

#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <memory>
#include <vector>

#include "app/_MainUnit.h"
#include "platform/Dialogs.h"
#include "preview/XaudioPlayer.h"
#include "tests/fake_xaudio/FakeXaudio.h"

// Readable failures for texts.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

// Answers the window's dialogs from queues and records what was asked.
class WindowDialogs : public dialogs::Dialogs {
 public:
  dialogs::Result MessageBox(const dialogs::MessageBoxRequest& request) override;
  QString OpenFile(const dialogs::FileDialogRequest& request) override;
  QString SaveFile(const dialogs::FileDialogRequest& request) override;

  std::deque<QString> openAnswers;  // empty string: cancelled
  std::deque<QString> saveAnswers;
  std::deque<dialogs::Result> boxAnswers;  // when empty: the default button
  std::vector<dialogs::MessageBoxRequest> boxes;
  std::vector<dialogs::FileDialogRequest> opens;
  std::vector<dialogs::FileDialogRequest> saves;
};

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A copy of a committed fixture file under a name of the test's choosing.
  QString Fixture(const QString& fixtureName, const QString& asName);
  // A file of the test's own bytes.
  QString WriteFile(const QString& name, const QByteArray& bytes);
  QString TempPath(const QString& name) const;
  // Ranges joined by the engine's writer on its own, as one stream, as the
  // batch joins them (into a copy of `existing` when one is given; every bit
  // rate with a reserved tag frame when `everyBitRate`): what a batch run
  // must leave.
  struct Part {
    QString Path;
    int Start;
    int Stop;
  };
  QByteArray Joined(const std::vector<Part>& parts, const QString& existing = QString(), bool keepEndPadding = false,
                    bool everyBitRate = false);

  // Adds a file through the open button and the scripted dialog.
  void Add(const QString& path);
  // Adds n copies of cbr128.mp3 as a.mp3, b.mp3, ...
  QStringList AddJobs(int n);

  QStringList Row(int row) const;
  int Rows() const { return form->Files_SG->RowCount(); }
  // The frame count the engine gives for a file.
  static std::int32_t Frames(const QString& path);
  // Only the control_message_send_* calls, as text, since the last ClearCalls.
  static std::vector<std::string> Commands() { return fake_xaudio::CommandTexts(); }

  WindowDialogs dlg;
  dialogs::Dialogs* previousDialogs = nullptr;
  std::unique_ptr<T_MainForm> form;
  QTemporaryDir tmp;
};

// Text forms of the commands the window sends, for expectations.
std::string CmdInputOpen(const QString& path);
std::string CmdSetRange(int range);
std::string CmdSeek(int offset, int range);
std::string CmdPlay();
std::string CmdStop();
