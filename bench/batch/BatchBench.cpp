// Adds the given files to the real window through a scripted open dialog,
// processes them into OUTPUT through a scripted save dialog, and prints how
// long each step took (wall and CPU time of the whole process, every thread),
// how much the peak resident memory grew while processing, and how often the
// window was repainted.
//   kerfwell-batch-bench OUTPUT INPUT...

#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QThread>
#include <cstdio>
#include <deque>

#include "app/_MainUnit.h"
#include "platform/Dialogs.h"
#include "preview/XaudioPlayer.h"

namespace {

class Answers : public dialogs::Dialogs {
 public:
  dialogs::Result MessageBox(const dialogs::MessageBoxRequest& r) override {
    std::fprintf(stderr, "message: %s\n", qPrintable(r.text));
    ++messages;
    return dialogs::Result::Ok;
  }
  QString OpenFile(const dialogs::FileDialogRequest&) override {
    if (opens.empty()) return {};
    QString p = opens.front();
    opens.pop_front();
    return p;
  }
  QString SaveFile(const dialogs::FileDialogRequest&) override { return save; }
  std::deque<QString> opens;
  QString save;
  int messages = 0;
};

class PaintCounter : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
  int paints = 0;
};

struct Usage {
  double user = 0, system = 0;
  long maxRssKib = 0;
};

Usage Now() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return {seconds(u.ru_utime), seconds(u.ru_stime), u.ru_maxrss};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: kerfwell-batch-bench OUTPUT INPUT...\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("KERFWELL_AUDIO_OUTPUT")) qputenv("KERFWELL_AUDIO_OUTPUT", "silent");
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Kerfwell"));
  Answers answers;
  dialogs::SetDialogs(&answers);
  answers.save = QString::fromLocal8Bit(argv[1]);
  for (int i = 2; i < argc; ++i) answers.opens.push_back(QString::fromLocal8Bit(argv[i]));

  T_MainForm form;
  form.show();
  QApplication::processEvents();

  // The player counts the frames of the file opened last on its own thread,
  // a slice at a time, and tells its duration when it has counted them all.
  // Files added by hand leave it the time to finish; added here one right
  // after the other, it would still be reading the last one while the batch
  // runs, and its work would be charged to the processing step.
  int durations = 0;
  const auto durationHandler = form.XaudioPlayer->OnNotifyInputDuration;
  form.XaudioPlayer->OnNotifyInputDuration = [&](QObject* sender, std::uint32_t duration) {
    ++durations;
    if (durationHandler) durationHandler(sender, duration);
  };

  QElapsedTimer t;
  t.start();
  for (int i = 2; i < argc; ++i) form.OpenFile_SB->Click();
  const double addSeconds = t.nsecsElapsed() / 1e9;

  t.restart();
  durations = 0;
  QElapsedTimer quiet;  // a duration told for an earlier file may still be on its way
  quiet.start();
  int seen = 0;
  while (t.elapsed() < 30000 && (durations == 0 || quiet.elapsed() < 100)) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(2);
    if (durations != seen) {
      seen = durations;
      quiet.restart();
    }
  }
  const double playerSeconds = t.nsecsElapsed() / 1e9;

  // The counter is painted with each whole-window repaint, once per job.
  PaintCounter counter;
  form.Panel29->installEventFilter(&counter);
  PaintCounter jobBar;
  form.ProcentCurrentJob_Panel->installEventFilter(&jobBar);
  const Usage before = Now();
  t.restart();
  form.StartProcess_SB->Click();
  const double processSeconds = t.nsecsElapsed() / 1e9;
  const Usage after = Now();

  std::printf(
      "jobs %d\nadd_seconds %.3f\nplayer_settle_seconds %.3f\nprocess_seconds %.6f\n"
      "process_user_seconds %.6f\nprocess_system_seconds %.6f\nprocess_peak_growth_kib %ld\n"
      "peak_rss_kib %ld\ncounter_paints %d\njob_bar_paints %d\nmessages %d\n",
      form.JobCount, addSeconds, playerSeconds, processSeconds, after.user - before.user, after.system - before.system,
      after.maxRssKib - before.maxRssKib, after.maxRssKib, counter.paints, jobBar.paints, answers.messages);
  return answers.messages == 0 ? 0 : 1;
}
