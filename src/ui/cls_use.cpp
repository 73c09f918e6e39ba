#include "ui/cls_use.h"

#include "store/db_helpers.h"
#include "store/error.h"
#include "store/message_box.h"
#include "store/module_state.h"

namespace quorvel::ui {

ClsUse::~ClsUse() {
    CloseConnection();
}

void ClsUse::ConnString(const std::u16string& value) {
    Module().ConnString = value;
}

void ClsUse::ConnectionTime(int16_t value) {
    Module().ConnectionTime = value;
}

void ClsUse::Show() noexcept {
    if (showing_) return;
    showing_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{showing_};
    try {
        // The browser opens even when the connection does not: the user sees the failure and an
        // empty list, and can close the window.
        std::u16string connString = Module().ConnString;
        OpenConnection(connString);
        if (!frmTXM_) frmTXM_ = std::make_unique<FrmTXM>();
        CurrentWindowHost().ShowModal(*frmTXM_);
        if (frmTXM_->Released()) frmTXM_.reset();
    } catch (...) {
        try {
            MsgBox(DescribeCurrentException(), mb::kExclamation, u"系统提示");
        } catch (...) {
        }
    }
}

}  // namespace quorvel::ui
