// Builds without libsqlite3 have no embedded store: its factory declines every connection
// string, so the other backends get their turn and an unknown provider is reported as such.
#include "store/backend.h"

namespace quorvel {

std::unique_ptr<Backend> OpenSqliteBackend(const ConnString&, std::u16string_view, int) {
    return nullptr;
}

}  // namespace quorvel
