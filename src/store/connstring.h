// Connection strings as hosts write them: key=value pairs separated by ';', keys
// case-insensitive, values optionally in double or single quotes (doubled inside) or braces.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

struct ConnStringPair {
    std::u16string key;    // trimmed, as written
    std::u16string value;  // unquoted
};

class ConnString {
  public:
    static ConnString Parse(std::u16string_view text);
    std::optional<std::u16string> Get(std::u16string_view key) const;  // last one wins
    const std::vector<ConnStringPair>& Pairs() const { return pairs_; }

  private:
    std::vector<ConnStringPair> pairs_;
};

}  // namespace quorvel
