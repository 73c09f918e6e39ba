#include "store/odbc_connstring.h"

#include <algorithm>
#include <climits>
#include <initializer_list>

#include "store/error.h"
#include "store/text.h"

namespace quorvel {

namespace {

constexpr char16_t kDriver18[] = u"ODBC Driver 18 for SQL Server";
constexpr char16_t kDriver17[] = u"ODBC Driver 17 for SQL Server";
constexpr char16_t kFreeTds[] = u"FreeTDS";

bool OneOf(std::u16string_view s, std::initializer_list<std::u16string_view> names) {
    return std::any_of(names.begin(), names.end(),
                       [&](std::u16string_view n) { return EqualsNoCase(s, n); });
}

bool IsTrue(std::u16string_view v) {
    return OneOf(TrimSpaces(v), {u"true", u"yes", u"sspi", u"1", u"-1"});
}

// "SQLOLEDB.1" and "SQLOLEDB" name the same provider.
std::u16string ProviderBase(std::u16string_view provider) {
    std::u16string p = ToUpper(TrimSpaces(provider));
    size_t dot = p.rfind(u'.');
    if (dot != std::u16string::npos && dot + 1 < p.size() &&
        std::all_of(p.begin() + static_cast<long>(dot) + 1, p.end(),
                    [](char16_t c) { return c >= u'0' && c <= u'9'; })) {
        p.resize(dot);
    }
    return p;
}

bool IsSqlServerProvider(const std::u16string& base) {
    return base == u"SQLOLEDB" || base.rfind(u"SQLNCLI", 0) == 0 ||
           base.rfind(u"MSOLEDBSQL", 0) == 0;
}

// Output pairs keep the position of their first appearance and the value of their last, as the
// host's layer lets a later key override an earlier one.
class Pairs {
  public:
    void Set(std::u16string_view key, std::u16string value) {
        for (auto& p : pairs_) {
            if (EqualsNoCase(p.key, key)) {
                p.value = std::move(value);
                return;
            }
        }
        pairs_.push_back({std::u16string(key), std::move(value)});
    }
    bool Has(std::u16string_view key) const {
        return std::any_of(pairs_.begin(), pairs_.end(),
                           [&](const ConnStringPair& p) { return EqualsNoCase(p.key, key); });
    }
    std::u16string Join() const {
        std::u16string out;
        for (const auto& p : pairs_) {
            if (!out.empty()) out += u';';
            out += p.key;
            out += u'=';
            // Appended piece by piece: "{" + text inserts at the front, which GCC 12 at -O3
            // misreads as an overlapping copy.
            if (EqualsNoCase(p.key, u"Driver")) {
                out += u'{';
                out += Braced(p.value);
                out += u'}';
            } else {
                out += OdbcValue(p.value);
            }
        }
        return out;
    }

  private:
    static std::u16string Braced(const std::u16string& v) {
        std::u16string out;
        for (char16_t c : v) {
            out += c;
            if (c == u'}') out += u'}';
        }
        return out;
    }
    std::vector<ConnStringPair> pairs_;
};

int ParseTimeout(std::u16string_view text) {
    std::u16string t = TrimSpaces(text);
    long long v = 0;
    bool any = false;
    for (char16_t c : t) {
        if (c < u'0' || c > u'9' || v > 100000000) {
            throw DbError(err::kProviderError, u"Invalid value for Connect Timeout: " + t);
        }
        v = v * 10 + (c - u'0');
        any = true;
    }
    if (!any) throw DbError(err::kProviderError, u"Invalid value for Connect Timeout: " + t);
    return static_cast<int>(v);
}

bool IsTimeoutKey(std::u16string_view key) {
    return OneOf(key, {u"Connect Timeout", u"Connection Timeout", u"Timeout"});
}

std::u16string PickDriver(const std::vector<std::u16string>& installed, OdbcPlatform platform) {
    for (const auto& want : SqlServerDrivers(platform)) {
        for (const auto& have : installed) {
            if (EqualsNoCase(have, want)) return have;
        }
    }
    std::u16string names;
    for (const auto& want : SqlServerDrivers(platform)) {
        if (!names.empty()) names += u", ";
        names += want;
    }
    throw DbError(err::kProviderNotFound,
                  u"No ODBC driver for SQL Server is installed (looked for " + names + u").");
}

// FreeTDS takes the port apart from the host and knows nothing of "(local)".
void SetFreeTdsServer(Pairs& out, std::u16string_view server) {
    std::u16string s = TrimSpaces(server);
    if (s.size() > 4 && EqualsNoCase(std::u16string_view(s).substr(0, 4), u"tcp:")) s.erase(0, 4);
    std::u16string port;
    size_t comma = s.find(u',');
    if (comma != std::u16string::npos) {
        port = TrimSpaces(std::u16string_view(s).substr(comma + 1));
        s = TrimSpaces(std::u16string_view(s).substr(0, comma));
    }
    size_t slash = s.find(u'\\');
    std::u16string host = s.substr(0, slash);
    if (host == u"." || EqualsNoCase(host, u"(local)") || host.empty()) {
        s.replace(0, host.size(), u"localhost");
    }
    out.Set(u"Server", s);
    if (!port.empty()) out.Set(u"Port", port);
}

OdbcConnect FromSqlServer(const ConnString& cs, const std::u16string& base,
                          const std::vector<std::u16string>& installed, OdbcPlatform platform) {
    OdbcConnect r;
    std::u16string driver = PickDriver(installed, platform);
    bool freeTds = EqualsNoCase(driver, kFreeTds);
    Pairs out;
    out.Set(u"Driver", driver);
    bool encryptGiven = false;
    for (const auto& p : cs.Pairs()) {
        const std::u16string& k = p.key;
        const std::u16string& v = p.value;
        if (OneOf(k, {u"Provider", u"Persist Security Info"})) continue;
        if (IsTimeoutKey(k)) {
            r.loginTimeout = ParseTimeout(v);
        } else if (OneOf(k, {u"Data Source", u"Server", u"Address", u"Addr", u"Network Address"})) {
            if (freeTds) {
                SetFreeTdsServer(out, v);
            } else {
                out.Set(u"Server", v);
            }
        } else if (OneOf(k, {u"Initial Catalog", u"Database"})) {
            out.Set(u"Database", v);
        } else if (OneOf(k, {u"User ID", u"UID", u"User"})) {
            out.Set(u"UID", v);
        } else if (OneOf(k, {u"Password", u"PWD"})) {
            out.Set(u"PWD", v);
        } else if (OneOf(k, {u"Integrated Security", u"Trusted_Connection"})) {
            if (IsTrue(v)) out.Set(u"Trusted_Connection", u"Yes");
        } else if (OneOf(k, {u"Application Name", u"APP"})) {
            out.Set(u"APP", v);
        } else if (OneOf(k, {u"Workstation ID", u"WSID"})) {
            out.Set(u"WSID", v);
        } else if (OneOf(k, {u"Current Language", u"Language"})) {
            out.Set(u"Language", v);
        } else if (OneOf(k, {u"Initial File Name", u"AttachDBFileName"})) {
            out.Set(u"AttachDBFileName", v);
        } else if (OneOf(k, {u"Use Encryption for Data", u"Encrypt"})) {
            encryptGiven = true;
            if (freeTds) {
                if (IsTrue(v) || OneOf(TrimSpaces(v), {u"mandatory", u"strict"}))
                    out.Set(u"Encryption", u"require");
            } else {
                out.Set(u"Encrypt", v);
            }
        } else if (OneOf(k, {u"Trust Server Certificate", u"TrustServerCertificate"})) {
            if (!freeTds) out.Set(u"TrustServerCertificate", v);
        } else if (OneOf(k, {u"Network Library", u"Network"})) {
            if (!freeTds) out.Set(u"Network", v);
        } else if (OneOf(k, {u"MARS Connection", u"MultipleActiveResultSets"})) {
            if (!freeTds) out.Set(u"MARS_Connection", v);
        } else if (OneOf(k, {u"Auto Translate", u"AutoTranslate"})) {
            if (!freeTds) out.Set(u"AutoTranslate", v);
        } else {
            out.Set(k, v);  // drivers ignore keywords they do not know
        }
    }
    // Driver 18 encrypts and checks the certificate unless told otherwise; the older providers
    // did not, and a host string written for them must keep reaching the same server.
    if (!encryptGiven && EqualsNoCase(driver, kDriver18) && base != u"MSOLEDBSQL19") {
        out.Set(u"Encrypt", u"no");
    }
    r.connect = out.Join();
    return r;
}

OdbcConnect FromOdbcProvider(const ConnString& cs) {
    OdbcConnect r;
    Pairs out;
    std::u16string extended;
    for (const auto& p : cs.Pairs()) {
        const std::u16string& k = p.key;
        if (OneOf(k, {u"Provider", u"Persist Security Info"})) continue;
        if (IsTimeoutKey(k)) {
            r.loginTimeout = ParseTimeout(p.value);
        } else if (EqualsNoCase(k, u"Extended Properties")) {
            extended = p.value;  // an ODBC string of its own, handed on as it is
        } else if (EqualsNoCase(k, u"Data Source")) {
            out.Set(u"DSN", p.value);
        } else if (EqualsNoCase(k, u"User ID")) {
            out.Set(u"UID", p.value);
        } else if (EqualsNoCase(k, u"Password")) {
            out.Set(u"PWD", p.value);
        } else {
            out.Set(k, p.value);
        }
    }
    std::u16string rest = out.Join();
    r.connect = extended;
    if (!rest.empty()) {
        if (!r.connect.empty() && r.connect.back() != u';') r.connect += u';';
        r.connect += rest;
    }
    return r;
}

bool NamesOdbcSource(const ConnString& cs) {
    return cs.Get(u"DSN") || cs.Get(u"Driver") || cs.Get(u"FILEDSN");
}

}  // namespace

std::vector<std::u16string> SqlServerDrivers(OdbcPlatform platform) {
    if (platform == OdbcPlatform::Windows) return {kDriver18, kDriver17, u"SQL Server"};
    return {kDriver18, kDriver17, kFreeTds};
}

std::optional<OdbcConnect> TranslateConnString(const ConnString& cs, std::u16string_view raw,
                                               const DriverLister& installed,
                                               OdbcPlatform platform) {
    auto provider = cs.Get(u"Provider");
    if (!provider) {
        if (!NamesOdbcSource(cs)) {
            throw DbError(err::kProviderNotFound,
                          u"The connection string names no provider, data source or driver.");
        }
        return OdbcConnect{std::u16string(raw), std::nullopt};
    }
    std::u16string base = ProviderBase(*provider);
    if (base == u"MSDASQL") return FromOdbcProvider(cs);
    if (IsSqlServerProvider(base)) return FromSqlServer(cs, base, installed(), platform);
    return std::nullopt;  // the embedded store's, another backend's, or nobody's
}

std::u16string WithDriverBusyTimeout(std::u16string connect, int commandTimeoutSeconds) {
    const ConnString cs = ConnString::Parse(connect);
    const auto driver = cs.Get(u"Driver");
    if (!driver || ToUpper(*driver).find(u"SQLITE") == std::u16string::npos) return connect;
    if (cs.Get(u"Timeout")) return connect;
    // The drivers read the value as a C int; a value of 0 or less would mean no waiting at all.
    // With a limit, the backend waits out the rest by trying again.
    const long long ms = commandTimeoutSeconds <= 0
                             ? INT_MAX
                             : std::min(commandTimeoutSeconds * 1000LL, kDriverBusyStepMs);
    if (!connect.empty() && connect.back() != u';') connect += u';';
    return connect + u"Timeout=" + ToU16(std::min<long long>(ms, INT_MAX));
}

std::u16string OdbcValue(std::u16string_view value) {
    bool plain = value.empty() || (value.front() != u' ' && value.back() != u' ' &&
                                   value.find_first_of(u";{}=") == std::u16string_view::npos);
    if (plain) return std::u16string(value);
    std::u16string out = u"{";
    for (char16_t c : value) {
        out += c;
        if (c == u'}') out += u'}';
    }
    out += u'}';
    return out;
}

std::vector<std::u16string> SecretsOf(const ConnString& cs) {
    std::vector<std::u16string> out;
    for (const auto& p : cs.Pairs()) {
        if (OneOf(p.key, {u"Password", u"PWD"}) && !p.value.empty()) out.push_back(p.value);
    }
    // An ODBC string inside the ODBC provider's string may hold one too.
    if (auto ext = cs.Get(u"Extended Properties")) {
        for (auto& s : SecretsOf(ConnString::Parse(*ext))) out.push_back(std::move(s));
    }
    return out;
}

std::u16string MaskSecrets(std::u16string text, const std::vector<std::u16string>& secrets) {
    constexpr char16_t kMask[] = u"****";
    // Very short secrets would mask ordinary letters everywhere; the key patterns below still
    // cover a string that quotes them.
    for (const auto& s : secrets) {
        if (s.size() < 3) continue;
        for (size_t at = text.find(s); at != std::u16string::npos; at = text.find(s, at + 4)) {
            text.replace(at, s.size(), kMask);
        }
    }
    std::u16string upper = ToUpper(text);
    for (std::u16string_view key :
         {std::u16string_view(u"PWD="), std::u16string_view(u"PASSWORD=")}) {
        for (size_t at = upper.find(key); at != std::u16string::npos;) {
            size_t v = at + key.size();
            size_t end = v;
            if (end < text.size() && text[end] == u'{') {
                ++end;
                while (end < text.size()) {
                    if (text[end] == u'}') {
                        if (end + 1 < text.size() && text[end + 1] == u'}') {
                            end += 2;
                            continue;
                        }
                        ++end;
                        break;
                    }
                    ++end;
                }
            } else {
                while (end < text.size() && text[end] != u';') ++end;
            }
            text.replace(v, end - v, kMask);
            upper.replace(v, end - v, kMask);
            at = upper.find(key, v + 4);
        }
    }
    return text;
}

}  // namespace quorvel
