#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <cstdio>
#include <cstring>

#include "app/_MainUnit.h"

#ifndef KERFWELL_VERSION
#error "KERFWELL_VERSION comes from the project version in CMakeLists.txt"
#endif

namespace {

const char kHelp[] =
    "Usage: kerfwell [--help | --version]\n"
    "\n"
    "Opens the Kerfwell window, which cuts MPEG audio files (MPEG-1 and MPEG-2,\n"
    "Layers I to III) at frame boundaries without re-encoding them: list up to\n"
    "100 files, give each a start and a stop frame, and every job's frames are\n"
    "appended, in list order, to one output file.\n"
    "\n"
    "  --help     print this text and exit\n"
    "  --version  print the version and exit\n"
    "\n"
    "The window takes no other arguments. kerfwell-cut cuts from the command line\n"
    "with the same engine: kerfwell-cut --help.\n";

// The two answers a terminal user expects, given before the toolkit looks for
// a display, so they work over ssh and in scripts. Returns -1 to go on, else
// the exit status (1 when standard output could not take the text).
int AnswerCommandLine(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("kerfwell %s\n", KERFWELL_VERSION);
      return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kHelp, stdout);
      return std::fflush(stdout) == 0 ? 0 : 1;
    }
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (const int status = AnswerCommandLine(argc, argv); status >= 0) return status;

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Kerfwell"));
  QApplication::setApplicationVersion(QStringLiteral(KERFWELL_VERSION));
  // Lets a desktop match the window to kerfwell.desktop and its icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("kerfwell"));

  T_MainForm form;
  // Centred on the screen when first shown.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    form.move(area.center() - QPoint(form.width() / 2, form.height() / 2));
  }
  form.show();
  return app.exec();
}
