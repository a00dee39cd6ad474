// A batch run opens every input once, before it checks the output against
// them, and cuts the files it opened: a file put at an input's path while
// the run is under way is neither probed nor cut.

#include <QFile>
#include <cstdio>
#include <functional>

#include "stream/Scanner.h"
#include "stream/XingFrame.h"
#include "tests/window/WindowFixture.h"

namespace {

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

// The window's dialogs, with something done while the first message box is up.
class DialogsThatAct : public WindowDialogs {
 public:
  dialogs::Result MessageBox(const dialogs::MessageBoxRequest& request) override {
    if (act) std::exchange(act, nullptr)();
    return WindowDialogs::MessageBox(request);
  }
  std::function<void()> act;
};

class BatchSourceTest : public WindowTest {
 protected:
  DialogsThatAct acting;
};

TEST_F(BatchSourceTest, AFileRenamedOverAnInputDuringTheRunIsNotCut) {
  const QStringList paths = AddJobs(2);
  dialogs::SetDialogs(&acting);  // from here on; the files were added through the fixture's
  const QString other = Fixture(QStringLiteral("mpeg2-l3.mp3"), QStringLiteral("other.mp3"));
  form->JobTable[0].StopFrame = 9;
  form->JobTable[1].StartFrame = 20;
  form->JobTable[1].StopFrame = 29;
  // The question about other bit rates comes after the inputs were opened
  // and before any job is read: the second input is replaced then.
  form->JobTable[1].OtherBitRate = 1;
  // What the run must give: frames 0-9 of the first and 20-29 of the second
  // file as they were (both copies of one fixture).
  const QByteArray firstFiles = Joined({{paths[0], 0, 9}, {paths[1], 20, 29}});
  ASSERT_FALSE(firstFiles.isEmpty());
  acting.act = [&] {
    ASSERT_EQ(std::rename(QFile::encodeName(other).constData(), QFile::encodeName(paths[1]).constData()), 0);
  };
  const QString output = TempPath(QStringLiteral("out.mp3"));
  acting.saveAnswers.push_back(output);
  form->StartProcess_SB->Click();

  ASSERT_EQ(acting.boxes.size(), 1u);  // the question alone: nothing passed over
  EXPECT_TRUE(acting.boxes[0].text.contains(QStringLiteral("another bit rate")));
  EXPECT_EQ(ReadAll(output).size(), firstFiles.size());
  EXPECT_TRUE(ReadAll(output) == firstFiles) << "the run read the file that took the input's place";
}

}  // namespace
