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

// The embedded store's connection string for a database file: the one way a path becomes one.
// The path goes between double quotes (doubled inside), so that quotes, semicolons, spaces and
// any other characters stay part of it. The path is bytes as the system hands them over; a path
// that is not UTF-8 (or holds a NUL) fails with a DbError that says so.
std::u16string EmbeddedConnString(std::string_view path);

}  // namespace quorvel
