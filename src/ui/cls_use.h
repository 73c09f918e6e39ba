// The creatable entry of rule maintenance: the host sets the connection and calls Show, which
// opens the shared connection and shows the rule browser modally.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ui/frm_txm.h"

namespace quorvel::ui {

class ClsUse {
  public:
    ClsUse() = default;
    ~ClsUse();  // closes the shared connection, for every object on the thread
    ClsUse(const ClsUse&) = delete;
    ClsUse& operator=(const ClsUse&) = delete;

    // Write-only properties; they set the state every object shares.
    void ConnString(const std::u16string& value);
    void ConnectionTime(int16_t value);

    // A call made while the browser is open (from a window of the host that stayed usable, or
    // a timer) returns at once: a second browser over the first would free it under its loop.
    void Show() noexcept;
    bool Showing() const { return showing_; }

  private:
    std::unique_ptr<FrmTXM> frmTXM_;
    bool showing_ = false;
};

}  // namespace quorvel::ui
