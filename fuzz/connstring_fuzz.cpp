// A host's connection string, translated for the ODBC driver manager and masked for messages:
// nothing crashes, a well-formed string comes out, and no password shows through the mask.
#include <algorithm>

#include "fuzz_support.h"
#include "store/error.h"
#include "store/odbc_connstring.h"

using namespace quorvel;
using namespace quorvel::fuzz;

namespace {

// Masking can only hide a secret with no '*' of its own, and leaves the shortest ones to the
// "PWD=" pattern (they would mask ordinary letters everywhere).
void RequireMasked(const std::u16string& text, const std::vector<std::u16string>& secrets) {
    const std::u16string masked = MaskSecrets(text, secrets);
    for (const auto& s : secrets) {
        if (s.size() >= 3 && s.find(u'*') == std::u16string::npos)
            Require(masked.find(s) == std::u16string::npos);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the platform and which SQL Server drivers are installed.
    const uint8_t pick = data[0];
    const auto platform = (pick & 1) ? OdbcPlatform::Windows : OdbcPlatform::Linux;
    std::vector<std::u16string> installed{u"SQLite3"};
    const char16_t* const drivers[] = {u"ODBC Driver 18 for SQL Server",
                                       u"odbc driver 17 for sql server", u"FreeTDS", u"SQL Server"};
    for (int b = 0; b < 4; ++b) {
        if (pick & (2 << b)) installed.push_back(drivers[b]);
    }
    const std::u16string raw = FromUtf8(Bytes(data + 1, size - 1));
    const ConnString cs = ConnString::Parse(raw);
    const std::vector<std::u16string> secrets = SecretsOf(cs);
    RequireMasked(raw, secrets);

    bool sqlServer = false;  // only the SQL Server translation asks which drivers are installed
    std::optional<OdbcConnect> out;
    try {
        out = TranslateConnString(
            cs, raw,
            [&] {
                sqlServer = true;
                return installed;
            },
            platform);
    } catch (const DbError&) {
        return 0;  // no data source, no driver, a bad timeout: reported, as it should be
    }
    if (!out) return 0;
    RequireMasked(out->connect, secrets);
    // The busy timeout for the SQLite3 drivers only ever adds a pair at the end.
    const std::u16string bounded = WithDriverBusyTimeout(out->connect, pick);
    Require(bounded.compare(0, out->connect.size(), out->connect) == 0);
    if (!sqlServer) return 0;

    // Written from scratch, so the driver manager reads exactly the pairs meant: the password
    // given last, under one PWD key, and masked whole.
    auto pairs = ReadOdbc(out->connect);
    Require(pairs.has_value());
    std::optional<std::u16string> password;
    for (const auto& p : cs.Pairs()) {
        if (EqualsNoCase(p.key, u"Password") || EqualsNoCase(p.key, u"PWD")) password = p.value;
    }
    const auto pwdKeys = std::count_if(pairs->begin(), pairs->end(),
                                       [](const auto& p) { return EqualsNoCase(p.first, u"PWD"); });
    Require(pwdKeys == (password ? 1 : 0));
    if (password) Require(*Find(*pairs, u"PWD") == *password);
    // Passwords too short to be searched for are masked by their key alone, braces and all.
    // (The key's pattern is sought in every value, so another value may come out cut.)
    if (password &&
        std::all_of(secrets.begin(), secrets.end(), [](const auto& s) { return s.size() < 3; })) {
        auto masked = ReadOdbc(MaskSecrets(out->connect, secrets));
        if (const std::u16string* pwd = masked ? Find(*masked, u"PWD") : nullptr)
            Require(*pwd == u"****");
    }
    return 0;
}
