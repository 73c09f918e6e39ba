// What the fuzz targets share: their input as text, and a reader of connection strings as the
// ODBC driver manager reads them, to check what the translation and the quoting write.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/text.h"

namespace quorvel::fuzz {

inline std::string_view Bytes(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// An invariant that does not hold is a finding: abort, so that libFuzzer keeps the input.
inline void Require(bool holds, const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken at %s:%d\n", file, line);
    std::abort();
}

using OdbcPairs = std::vector<std::pair<std::u16string, std::u16string>>;

// KEY=value pairs separated by ';'; a value in braces may hold anything, "}}" being one '}'.
// nullopt when the text is not well-formed that way (a brace left open, text after a brace).
inline std::optional<OdbcPairs> ReadOdbc(std::u16string_view s) {
    OdbcPairs out;
    size_t i = 0;
    while (i < s.size()) {
        size_t eq = s.find(u'=', i);
        if (eq == std::u16string_view::npos) return std::nullopt;
        std::u16string key(s.substr(i, eq - i));
        if (key.find(u';') != std::u16string::npos) return std::nullopt;
        std::u16string value;
        i = eq + 1;
        if (i < s.size() && s[i] == u'{') {
            for (++i;; ++i) {
                if (i >= s.size()) return std::nullopt;
                if (s[i] == u'}') {
                    if (i + 1 < s.size() && s[i + 1] == u'}') {
                        value += u'}';
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += s[i];
            }
            if (i < s.size() && s[i] != u';') return std::nullopt;
        } else {
            size_t end = std::min(s.find(u';', i), s.size());
            value = s.substr(i, end - i);
            i = end;
        }
        if (i < s.size()) ++i;  // the ';'
        out.emplace_back(std::move(key), std::move(value));
    }
    return out;
}

inline const std::u16string* Find(const OdbcPairs& pairs, std::u16string_view key) {
    for (const auto& [k, v] : pairs) {
        if (EqualsNoCase(k, key)) return &v;
    }
    return nullptr;
}

}  // namespace quorvel::fuzz
