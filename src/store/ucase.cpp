#include <climits>
#include <stdexcept>

#include "store/text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unicode/uchar.h>
#include <unicode/utf16.h>
#endif

namespace quorvel {

#ifdef _WIN32

std::u16string UCase(std::u16string_view text) {
    if (text.empty()) return {};
    if (text.size() > static_cast<size_t>(INT_MAX)) throw std::length_error("UCase: text too long");
    std::u16string out(text.size(), u'\0');
    const int n = static_cast<int>(text.size());
    // LCMAP_UPPERCASE maps character for character, so the output has the input's length.
    int got =
        LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, reinterpret_cast<LPCWSTR>(text.data()),
                     n, reinterpret_cast<LPWSTR>(out.data()), n);
    if (got != n) throw std::runtime_error("UCase: the system could not map the text");
    return out;
}

#else

std::u16string UCase(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    const auto length = static_cast<int32_t>(text.size());
    if (static_cast<size_t>(length) != text.size()) throw std::length_error("UCase: text too long");
    int32_t i = 0;
    while (i < length) {
        const int32_t start = i;
        UChar32 c;
        U16_NEXT(text.data(), i, length, c);  // a lone surrogate comes back as itself
        UChar32 upper = u_toupper(c);
        // A simple mapping never changes a character's length in any Unicode version so far;
        // should one ever do so, the character is kept so that positions stay where they were.
        if (U16_LENGTH(upper) != i - start) upper = c;
        if (upper <= 0xFFFF) {
            out += static_cast<char16_t>(upper);
        } else {
            out += static_cast<char16_t>(U16_LEAD(upper));
            out += static_cast<char16_t>(U16_TRAIL(upper));
        }
    }
    return out;
}

#endif

}  // namespace quorvel
