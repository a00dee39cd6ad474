#pragma once

// Records every message box instead of showing it, together with the library
// calls made before it, and installs itself for the lifetime of the object.

#include <QString>
#include <vector>

#include "platform/Dialogs.h"
#include "tests/fake_xaudio/FakeXaudio.h"

class ScriptedDialogs : public dialogs::Dialogs {
 public:
  struct Box {
    dialogs::MessageBoxRequest request;
    std::size_t callsBefore = 0;  // library calls recorded when the box opened
  };

  ScriptedDialogs() : previous_(dialogs::SetDialogs(this)) {}
  ~ScriptedDialogs() override { dialogs::SetDialogs(previous_); }

  dialogs::Result MessageBox(const dialogs::MessageBoxRequest& request) override {
    boxes.push_back({request, fake_xaudio::Calls().size()});
    return dialogs::Result::Ok;
  }
  QString OpenFile(const dialogs::FileDialogRequest&) override { return {}; }
  QString SaveFile(const dialogs::FileDialogRequest&) override { return {}; }

  std::vector<Box> boxes;

 private:
  dialogs::Dialogs* previous_;
};
