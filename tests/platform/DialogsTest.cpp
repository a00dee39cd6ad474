// The dialog seam's small conversions.

#include <gtest/gtest.h>

#include "platform/Dialogs.h"

namespace {

TEST(Dialogs, BarFiltersBecomeToolkitFilters) {
  EXPECT_EQ(dialogs::ToQtFilters(QStringLiteral("MPEG 1 Layer 3 Files (*.mp3)|*.mp3|Any File (*.*)|*.*")),
            (QStringList{"MPEG 1 Layer 3 Files (*.mp3)", "Any File (*.*)"}));
  EXPECT_EQ(dialogs::ToQtFilters(QStringLiteral("MPEG 1 Layer 3 Files (*.mp3)|*.mp3|Any File|*.*")),
            (QStringList{"MPEG 1 Layer 3 Files (*.mp3)", "Any File (*.*)"}));
}

TEST(Dialogs, ATypedNameWithoutExtensionGetsTheDefault) {
  EXPECT_EQ(dialogs::WithDefaultExtension("/tmp/out", "*.mp3"), QStringLiteral("/tmp/out.mp3"));
  EXPECT_EQ(dialogs::WithDefaultExtension("/tmp/out.mp2", "*.mp3"), QStringLiteral("/tmp/out.mp2"));
  EXPECT_EQ(dialogs::WithDefaultExtension("", "*.mp3"), QString());
}

TEST(Dialogs, TestsCanInstallTheirOwnAndGetThePreviousBack) {
  struct Fake : dialogs::Dialogs {
    dialogs::Result MessageBox(const dialogs::MessageBoxRequest&) override { return dialogs::Result::Yes; }
    QString OpenFile(const dialogs::FileDialogRequest&) override { return "x"; }
    QString SaveFile(const dialogs::FileDialogRequest&) override { return "y"; }
  } fake;
  dialogs::Dialogs* previous = dialogs::SetDialogs(&fake);
  EXPECT_EQ(&dialogs::Current(), &fake);
  EXPECT_EQ(dialogs::SetDialogs(previous), &fake);
  EXPECT_NE(&dialogs::Current(), &fake);
}

}  // namespace
