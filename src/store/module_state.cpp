#include "store/module_state.h"

#include "store/error.h"

namespace quorvel {

ModuleState& Module() {
    thread_local ModuleState state;
    return state;
}

Connection& DbConn() {
    auto& c = Module().DbConn;
    if (!c) err::Raise(err::kObjectNotSet);
    return *c;
}

}  // namespace quorvel
