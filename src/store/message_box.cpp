#include "store/message_box.h"

#include <cstdio>

#include "store/text.h"

namespace quorvel {

namespace {
thread_local MessageBoxes* tBoxes = nullptr;
}

int StderrMessageBoxes::Show(std::u16string_view prompt, int buttons, std::u16string_view title) {
    std::string line = ToUtf8(title) + ": " + ToUtf8(prompt) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    int set = buttons & 7;
    if (set == mb::kYesNo || set == 3 /* yes, no, cancel */) return mb::kNo;
    return mb::kOk;
}

void SetMessageBoxes(MessageBoxes* boxes) {
    tBoxes = boxes;
}

MessageBoxes& CurrentMessageBoxes() {
    static StderrMessageBoxes fallback;
    return tBoxes ? *tBoxes : fallback;
}

int MsgBox(std::u16string_view prompt, int buttons, std::u16string_view title) {
    return CurrentMessageBoxes().Show(prompt, buttons, title);
}

}  // namespace quorvel
