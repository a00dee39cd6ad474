#include <unistd.h>

#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/_MainUnit.h"

#ifndef KERFWELL_VERSION
#error "KERFWELL_VERSION comes from the project version in CMakeLists.txt"
#endif

namespace {

const char kHelp[] =
    "Usage: kerfwell [--help | --version] [FILE]...\n"
    "\n"
    "Opens the Kerfwell window, which cuts MPEG audio files (MPEG-1 and MPEG-2,\n"
    "Layers I to III) at frame boundaries without re-encoding them: list up to\n"
    "100 files, give each a start and a stop frame, and every job's frames are\n"
    "appended, in list order, to one output file.\n"
    "\n"
    "Each FILE is added to the list once the window shows, as the open button\n"
    "adds a file; a folder adds its MPEG audio files in name order. Files can\n"
    "also be dropped onto the window.\n"
    "\n"
    "  --help     print this text and exit\n"
    "  --version  print the version and exit\n"
    "  --         what follows is a file, even when it begins with '-'\n"
    "\n"
    "kerfwell-cut cuts from the command line with the same engine:\n"
    "kerfwell-cut --help.\n";

const char kNoDisplay[] = "no display: set DISPLAY, or run it under xvfb-run\n";

struct CommandLine {
  int exitStatus = -1;  // -1: open the window
  std::vector<const char*> files;
};

// The answers a terminal user expects, given before the toolkit looks for a
// display, so they work over ssh and in scripts.
CommandLine ReadCommandLine(int argc, char** argv) {
  CommandLine c;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (options && std::strcmp(a, "--") == 0) {
      options = false;
    } else if (options && std::strcmp(a, "--version") == 0) {
      std::printf("kerfwell %s\n", KERFWELL_VERSION);
      c.exitStatus = std::fflush(stdout) == 0 ? 0 : 1;
      return c;
    } else if (options && (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0)) {
      std::fputs(kHelp, stdout);
      c.exitStatus = std::fflush(stdout) == 0 ? 0 : 1;
      return c;
    } else if (options && a[0] == '-' && a[1] != '\0') {
      std::fprintf(stderr, "kerfwell: unknown option %s\nTry 'kerfwell --help'.\n", a);
      c.exitStatus = 2;
      return c;
    } else {
      c.files.push_back(a);
    }
  }
  return c;
}

// Whether the platform the toolkit will pick needs a display server that the
// environment names none of. The offscreen and other platforms need none.
bool DisplayMissing() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  const bool needsServer = platform == nullptr || *platform == '\0' || std::strncmp(platform, "xcb", 3) == 0 ||
                           std::strncmp(platform, "wayland", 7) == 0;
  auto set = [](const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0';
  };
  return needsServer && !set("DISPLAY") && !set("WAYLAND_DISPLAY");
}

// While the toolkit connects to the display, its complaints about one it
// cannot reach are held back: it would end with an abort and a hint to
// reinstall. The one line that says what is wrong is given instead.
QtMessageHandler g_previousHandler = nullptr;
std::vector<std::pair<QtMsgType, QString>> g_heldMessages;

void HoldStartupMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtFatalMsg) {
    std::fputs(kNoDisplay, stderr);
    std::fflush(stderr);
    ::_exit(1);
  }
  if (context.category != nullptr && std::strncmp(context.category, "qt.qpa", 6) == 0) {
    g_heldMessages.emplace_back(type, text);
    return;
  }
  if (g_previousHandler != nullptr) g_previousHandler(type, context, text);
}

}  // namespace

int main(int argc, char** argv) {
  const CommandLine commandLine = ReadCommandLine(argc, argv);
  if (commandLine.exitStatus >= 0) return commandLine.exitStatus;
  if (DisplayMissing()) {
    std::fputs(kNoDisplay, stderr);
    return 1;
  }

  g_previousHandler = qInstallMessageHandler(HoldStartupMessages);
  QApplication app(argc, argv);
  qInstallMessageHandler(g_previousHandler);
  for (const auto& [type, text] : g_heldMessages) {
    const QMessageLogContext context;
    qt_message_output(type, context, text);
  }
  QApplication::setApplicationName(QStringLiteral("Kerfwell"));
  QApplication::setApplicationVersion(QStringLiteral(KERFWELL_VERSION));
  // Lets a desktop match the window to kerfwell.desktop and its icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("kerfwell"));

  QStringList files;
  for (const char* f : commandLine.files) files << QFileInfo(QFile::decodeName(f)).absoluteFilePath();

  T_MainForm form;
  // Centred on the screen when first shown.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    form.move(area.center() - QPoint(form.width() / 2, form.height() / 2));
  }
  form.show();
  // Once the window shows, so that the files' messages have it to stand on.
  if (!files.isEmpty()) QTimer::singleShot(0, &form, [&form, files] { form.AddFiles(files); });
  return app.exec();
}
