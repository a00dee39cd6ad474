#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

// The one seam through which the program shows modal dialogs. The real
// implementation uses QFileDialog and QMessageBox; tests install a scripted
// one with SetDialogs and get the previous one back from it.
namespace dialogs {

enum class Icon { None, Warning, Error, Information };
enum class Buttons { Ok, YesNo, YesNoCancel, AppendReplaceCancel };
enum class Result { Ok, Yes, No, Cancel, Append, Replace };

struct MessageBoxRequest {
  QWidget* parent = nullptr;
  QString text;
  QString caption;
  Buttons buttons = Buttons::Ok;
  Icon icon = Icon::None;
  Result defaultButton = Result::Ok;
};

struct FileDialogRequest {
  QWidget* parent = nullptr;
  QString title;
  QString filter;      // "Description|pattern|Description|pattern"
  QString defaultExt;  // "*.mp3": the extension a typed name without one gets
  QString initialDir;  // empty: the toolkit's choice
  bool confirmOverwrite = false;
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  virtual Result MessageBox(const MessageBoxRequest& request) = 0;
  // Returns the chosen file's full path, or an empty string when cancelled.
  virtual QString OpenFile(const FileDialogRequest& request) = 0;
  virtual QString SaveFile(const FileDialogRequest& request) = 0;
};

// The dialogs in use; the real ones unless a test installed others.
Dialogs& Current();

// Installs d (nullptr: the real ones) and returns what was installed before.
Dialogs* SetDialogs(Dialogs* d);

// "MPEG 1 Layer 3 Files (*.mp3)|*.mp3|Any File|*.*" -> Qt name filters.
QStringList ToQtFilters(const QString& barFilter);

// A typed name without an extension gets defaultExt's extension ("*.mp3" -> ".mp3").
QString WithDefaultExtension(const QString& path, const QString& defaultExt);

}  // namespace dialogs
