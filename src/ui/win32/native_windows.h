// Real windows for the form model on Windows. The model stays the single source of truth: every
// key, character, click and timer tick is handed to it, and the native controls only mirror
// what it holds, through Window::onControlChanged and a sync after each message.
#pragma once

#include "ui/form.h"

namespace quorvel::ui::win32 {

// Shows each window as a fixed-size dialog centred on the screen, owned by the window shown
// before it on the same thread (the first one by a hidden window of the component), and runs its
// message loop on the calling thread until the model closes it.
class NativeWindowHost final : public WindowHost {
  public:
    void ShowModal(Window& w) override;
};

// Makes the calling thread show its windows natively and its record picker as a native dialog.
// Stays in force until the thread ends or another host is set.
void UseNativeWindows();

}  // namespace quorvel::ui::win32
