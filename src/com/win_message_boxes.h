// Message boxes as real windows, owned by the calling thread's active window.
#pragma once

#include "store/message_box.h"

namespace quorvel::com {

class WindowMessageBoxes final : public MessageBoxes {
  public:
    int Show(std::u16string_view prompt, int buttons, std::u16string_view title) override;
};

}  // namespace quorvel::com
