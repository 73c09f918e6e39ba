// Wide text helpers. The core keeps text as UTF-16 because the host's strings are UTF-16 and
// every position and length the rules speak of counts 16-bit units.
#pragma once

#include <string>
#include <string_view>

namespace quorvel {

std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);  // invalid sequences become U+FFFD
// Well-formed UTF-8: no stray, overlong or surrogate sequences, nothing beyond U+10FFFF.
bool IsUtf8(std::string_view text);

// A fixed upper-casing for the names the component itself compares (connection-string keys,
// type and database names, column names): ASCII and the Latin-1/Latin Extended-A, basic Greek
// and Cyrillic letters; everything else (CJK included) is unchanged. Text a user typed goes
// through UCase instead.
std::u16string ToUpper(std::u16string_view text);
char16_t ToUpperChar(char16_t c);
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);

// Upper-casing as the host language's UCase does it for any text a user may type: the platform's
// own mapping (the system's for the user's locale on Windows, ICU's elsewhere), one character
// for one, so that the length in 16-bit units never changes (a sharp s stays as it is).
std::u16string UCase(std::u16string_view text);

// Leading and trailing blanks (U+0020 only) removed.
std::u16string TrimSpaces(std::u16string_view text);

std::u16string ToU16(long long n);

}  // namespace quorvel
