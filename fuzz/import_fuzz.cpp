// A rules file from anywhere: the reader refuses it with a short message that says where, or
// gives rules that a store's columns and the editor's 16-bit fields hold; what it gives is
// written and read back unchanged.
#include <cstring>

#include "fuzz_support.h"
#include "tools/transfer.h"

using namespace quorvel;
using namespace quorvel::fuzz;
using namespace quorvel::tools;

namespace {

bool Fits(const Number& n) {
    return !n || (*n >= INT16_MIN && *n <= INT16_MAX);
}

bool Holds(const Text& t, size_t width) {
    return !t || (t->size() <= width && t->find(char16_t{0}) == std::u16string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RuleSet set;
    try {
        set = FromJson(Bytes(data, size));
    } catch (const FileError& e) {
        // Nothing of the file is quoted at length.
        Require(std::strlen(e.what()) < 600);
        return 0;
    }
    for (const auto& c : set.categories) Require(Holds(c.id, 20) && Holds(c.name, 50));
    for (const auto& r : set.rules) {
        Require(!r.gzid.empty() && Holds(r.gzid, 20) && Holds(r.gzname, 50) && Holds(r.dnmid, 20) &&
                Fits(r.txmzws));
        for (const auto& l : r.levels) {
            Require(l.js && Fits(l.js) && Fits(l.startws) && Fits(l.endws) && Fits(l.xsws));
            Require(Holds(l.lbid, 20) && Holds(l.bz, 50));
        }
    }
    const std::string written = ToJson(set);
    Require(ToJson(FromJson(written)) == written);
    return 0;
}
