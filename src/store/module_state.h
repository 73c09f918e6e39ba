// The state every object of the component shares. It exists once per thread: the host's
// apartment thread, on which all objects and windows of the component live.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "store/connection.h"

namespace quorvel {

struct ModuleState {
    std::u16string ConnString;
    int16_t ConnectionTime = 0;
    std::shared_ptr<Connection> DbConn;  // null when there is no connection object
    std::u16string TxmGZ;
    std::u16string TXMName;
    std::u16string SqlText;
    std::shared_ptr<Recordset> DbRs;
    // Not a host property: the command timeout each connection OpenConnection makes gets. Only
    // tests change it, to see a bounded wait end without waiting the full default.
    long CommandTimeout = kDefaultCommandTimeout;
};

ModuleState& Module();

// DbConn for a statement or transaction command; an absent object fails as the host's
// language fails on an unset object variable.
Connection& DbConn();

}  // namespace quorvel
