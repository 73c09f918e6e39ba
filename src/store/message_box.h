// Message boxes go through this interface so that the core never depends on a window system:
// the DLL shows real boxes, the command writes to stderr, tests record every box.
#pragma once

#include <string>
#include <string_view>

namespace quorvel {

namespace mb {
inline constexpr int kOkOnly = 0;
inline constexpr int kYesNo = 4;
inline constexpr int kCritical = 16;
inline constexpr int kQuestion = 32;
inline constexpr int kExclamation = 48;
inline constexpr int kInformation = 64;
inline constexpr int kDefaultButton2 = 256;
inline constexpr int kOk = 1;
inline constexpr int kYes = 6;
inline constexpr int kNo = 7;
}  // namespace mb

class MessageBoxes {
  public:
    virtual ~MessageBoxes() = default;
    // buttons is the host's buttons value (button set + icon + default button); returns the answer.
    virtual int Show(std::u16string_view prompt, int buttons, std::u16string_view title) = 0;
};

// Writes "title: prompt" to stderr; answers OK, and No to any question.
class StderrMessageBoxes final : public MessageBoxes {
  public:
    int Show(std::u16string_view prompt, int buttons, std::u16string_view title) override;
};

// The boxes of the calling thread; nullptr restores the stderr one. The caller keeps ownership.
void SetMessageBoxes(MessageBoxes* boxes);
MessageBoxes& CurrentMessageBoxes();
int MsgBox(std::u16string_view prompt, int buttons, std::u16string_view title);

}  // namespace quorvel
