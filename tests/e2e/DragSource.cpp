// A file manager in miniature for the end-to-end session: a window that
// starts a real drag of the files named on its command line (as file URLs,
// in that order) when the button is pressed on it, and says on standard output
// whether the drop target took them ("dropped") or not ("refused"). It goes on
// running after that: the target reads the files' names from it once the drop
// has happened, so it serves them until it is ended.
//   kerfwell-drag-source FILE...

#include <QApplication>
#include <QDrag>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <cstdio>

namespace {

class Source : public QLabel {
 public:
  explicit Source(QList<QUrl> urls) : urls_(std::move(urls)) {
    setText(QStringLiteral("drag from here"));
    setAlignment(Qt::AlignCenter);
    setWindowTitle(QStringLiteral("kerfwell-drag-source"));
  }

 protected:
  void mousePressEvent(QMouseEvent* e) override {
    if (e->button() != Qt::LeftButton) return;
    auto* data = new QMimeData;
    data->setUrls(urls_);
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    const Qt::DropAction done = drag->exec(Qt::CopyAction);
    std::printf("%s\n", done == Qt::CopyAction ? "dropped" : "refused");
    std::fflush(stdout);
  }

 private:
  QList<QUrl> urls_;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QList<QUrl> urls;
  for (int i = 1; i < argc; ++i) urls << QUrl::fromLocalFile(QString::fromLocal8Bit(argv[i]));
  Source source(urls);
  source.resize(160, 80);
  source.move(20, 20);
  source.show();
  return app.exec();
}
