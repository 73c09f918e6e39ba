#include "store/connstring.h"

#include "store/error.h"
#include "store/text.h"

namespace quorvel {

namespace {
bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}
}  // namespace

ConnString ConnString::Parse(std::u16string_view s) {
    ConnString cs;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (IsBlank(s[i]) || s[i] == u';')) ++i;
        if (i >= s.size()) break;
        size_t keyStart = i;
        while (i < s.size() && s[i] != u'=' && s[i] != u';') ++i;
        std::u16string key(s.substr(keyStart, i - keyStart));
        std::u16string value;
        if (i < s.size() && s[i] == u'=') {
            ++i;
            while (i < s.size() && IsBlank(s[i])) ++i;
            if (i < s.size() && (s[i] == u'"' || s[i] == u'\'' || s[i] == u'{')) {
                char16_t close = s[i] == u'{' ? u'}' : s[i];
                ++i;
                while (i < s.size()) {
                    if (s[i] == close) {
                        if (i + 1 < s.size() && s[i + 1] == close) {  // doubled: a literal quote
                            value += close;
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    value += s[i++];
                }
                while (i < s.size() && s[i] != u';') ++i;  // anything after the quote is dropped
            } else {
                size_t vs = i;
                while (i < s.size() && s[i] != u';') ++i;
                value = TrimSpaces(s.substr(vs, i - vs));
            }
        }
        key = TrimSpaces(key);
        if (!key.empty()) cs.pairs_.push_back({std::move(key), std::move(value)});
    }
    return cs;
}

std::optional<std::u16string> ConnString::Get(std::u16string_view key) const {
    for (auto it = pairs_.rbegin(); it != pairs_.rend(); ++it) {
        if (EqualsNoCase(it->key, key)) return it->value;
    }
    return std::nullopt;
}

std::u16string EmbeddedConnString(std::string_view path) {
    if (!IsUtf8(path) || path.find('\0') != std::string_view::npos) {
        throw DbError(err::kProviderError,
                      u"The store's path is not valid UTF-8 text: " + FromUtf8(path));
    }
    std::u16string out = u"Provider=SQLite;Data Source=\"";
    for (char16_t c : FromUtf8(path)) {
        if (c == u'"') out += u'"';
        out += c;
    }
    return out + u"\"";
}

}  // namespace quorvel
