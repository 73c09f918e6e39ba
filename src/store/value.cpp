#include "store/value.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "store/error.h"
#include "store/text.h"

namespace quorvel {

namespace adtype {
bool IsNumeric(short t) {
    switch (t) {
        case kSmallInt:
        case kInteger:
        case kSingle:
        case kDouble:
        case kCurrency:
        case kBoolean:
        case kDecimal:
        case kTinyInt:
        case kUnsignedTinyInt:
        case kUnsignedSmallInt:
        case kUnsignedInt:
        case kBigInt:
        case kUnsignedBigInt:
        case kNumeric:
        case kVarNumeric:
            return true;
        default:
            return false;
    }
}
bool IsDate(short t) {
    return t == kDate || t == kDBDate || t == kDBTime || t == kDBTimeStamp;
}
}  // namespace adtype

FieldValue FieldValue::I16(int16_t v, short type) {
    FieldValue f(Kind::Int16, type);
    f.i_ = v;
    return f;
}
FieldValue FieldValue::I32(int32_t v, short type) {
    FieldValue f(Kind::Int32, type);
    f.i_ = v;
    return f;
}
FieldValue FieldValue::I64(int64_t v, short type) {
    FieldValue f(Kind::Int64, type);
    f.i_ = v;
    return f;
}
FieldValue FieldValue::Real(double v, Kind kind, short type) {
    FieldValue f(kind, type);
    f.d_ = v;
    return f;
}
FieldValue FieldValue::Boolean(bool v, short type) {
    FieldValue f(Kind::Bool, type);
    f.i_ = v ? -1 : 0;
    return f;
}
FieldValue FieldValue::Date(double oleDate, short type) {
    FieldValue f(Kind::Date, type);
    f.d_ = oleDate;
    return f;
}
FieldValue FieldValue::Text(std::u16string v, short type) {
    FieldValue f(Kind::Text, type);
    f.s_ = std::move(v);
    return f;
}

bool FieldValue::IsNumber() const {
    switch (kind_) {
        case Kind::Int16:
        case Kind::Int32:
        case Kind::Int64:
        case Kind::Single:
        case Kind::Double:
        case Kind::Currency:
        case Kind::Decimal:
        case Kind::Bool:
            return true;
        default:
            return false;
    }
}

bool FieldValue::operator==(const FieldValue& o) const {
    return kind_ == o.kind_ && type_ == o.type_ && i_ == o.i_ && d_ == o.d_ && s_ == o.s_;
}

std::u16string FormatReal(double v) {
    if (v == 0) return u"0";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15G", v);
    std::string s = buf;
    // %G keeps exponents with at least two digits, as the host language prints them ("1E+20").
    auto e = s.find('E');
    std::string mant = e == std::string::npos ? s : s.substr(0, e);
    std::string exp = e == std::string::npos ? "" : s.substr(e);
    if (mant.find('.') != std::string::npos) {
        while (!mant.empty() && mant.back() == '0') mant.pop_back();
        if (!mant.empty() && mant.back() == '.') mant.pop_back();
    }
    return FromUtf8(mant + exp);
}

namespace {
// Civil date from days since 1970-01-01 and back (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}
void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp + (mp < 10 ? 3 : -9);
    y += m <= 2;
}
constexpr int64_t kOleEpochFromUnix = -25569;  // 1899-12-30 is 25569 days before 1970-01-01
}  // namespace

bool ParseDate(std::u16string_view text, double& out) {
    std::string s = ToUtf8(TrimSpaces(text));
    int y = 0, mo = 0, d = 0, h = 0, mi = 0;
    double sec = 0;
    int n = std::sscanf(s.c_str(), "%d-%d-%d%*[ T]%d:%d:%lf", &y, &mo, &d, &h, &mi, &sec);
    if (n < 3) n = std::sscanf(s.c_str(), "%d/%d/%d %d:%d:%lf", &y, &mo, &d, &h, &mi, &sec);
    if (n < 3 || mo < 1 || mo > 12 || d < 1 || d > 31 || y < 100 || y > 9999) return false;
    int64_t days =
        DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) - kOleEpochFromUnix;
    double frac = (h * 3600.0 + mi * 60.0 + sec) / 86400.0;
    // Dates before the epoch count the time of day away from zero, as the host's dates do.
    out = days >= 0 ? static_cast<double>(days) + frac : static_cast<double>(days) - frac;
    return true;
}

std::u16string FormatDate(double ole) {
    double whole = std::trunc(ole);
    double frac = std::fabs(ole - whole);
    int64_t y;
    unsigned m, d;
    CivilFromDays(static_cast<int64_t>(whole) + kOleEpochFromUnix, y, m, d);
    long secs = std::lround(frac * 86400.0);
    char buf[64];
    if (secs == 0) {
        std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u", static_cast<long long>(y), m, d);
    } else {
        std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u %02ld:%02ld:%02ld",
                      static_cast<long long>(y), m, d, secs / 3600, (secs / 60) % 60, secs % 60);
    }
    return FromUtf8(buf);
}

bool ParseNumber(std::u16string_view text, double& out) {
    std::u16string t = TrimSpaces(text);
    while (!t.empty() && (t.front() == u'\t')) t.erase(0, 1);
    if (t.empty()) return false;
    std::string s;
    for (char16_t c : t) {
        if (c > 0x7F) return false;
        s += static_cast<char>(c);
    }
    if (s.size() > 2 && s[0] == '&' && (s[1] == 'H' || s[1] == 'h' || s[1] == 'O' || s[1] == 'o')) {
        int base = (s[1] == 'H' || s[1] == 'h') ? 16 : 8;
        char* end = nullptr;
        unsigned long long v = std::strtoull(s.c_str() + 2, &end, base);
        if (*end != '\0') return false;
        // Hex literals of up to four digits are 16-bit, up to eight 32-bit, as the host reads them.
        size_t digits = s.size() - 2;
        if (base == 16 && digits <= 4)
            out = static_cast<int16_t>(static_cast<uint16_t>(v));
        else if (base == 16 && digits <= 8)
            out = static_cast<int32_t>(static_cast<uint32_t>(v));
        else
            out = static_cast<double>(v);
        return true;
    }
    // Only a plain decimal form: no hex floats, infinities or NaN that strtod would accept.
    size_t i = 0;
    if (s[i] == '+' || s[i] == '-') ++i;
    size_t digits = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        s[i] = 'e';
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        size_t ed = 0;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++ed;
        if (ed == 0) return false;
    }
    if (i != s.size()) return false;
    out = std::strtod(s.c_str(), nullptr);
    return std::isfinite(out);
}

std::u16string FieldValue::ToText() const {
    switch (kind_) {
        case Kind::Empty:
            return u"";
        case Kind::Null:
            err::Raise(err::kInvalidUseOfNull);
        case Kind::Int16:
        case Kind::Int32:
        case Kind::Int64:
            return ToU16(i_);
        case Kind::Bool:
            return i_ ? u"True" : u"False";
        case Kind::Single: {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%.7G", d_);
            double back = std::strtod(buf, nullptr);
            return FormatReal(back);
        }
        case Kind::Double:
        case Kind::Currency:
        case Kind::Decimal:
            return FormatReal(d_);
        case Kind::Date:
            return FormatDate(d_);
        case Kind::Text:
            return s_;
    }
    return u"";
}

double FieldValue::ToDouble() const {
    switch (kind_) {
        case Kind::Empty:
            return 0;
        case Kind::Null:
            err::Raise(err::kInvalidUseOfNull);
        case Kind::Int16:
        case Kind::Int32:
        case Kind::Int64:
        case Kind::Bool:
            return static_cast<double>(i_);
        case Kind::Single:
        case Kind::Double:
        case Kind::Currency:
        case Kind::Decimal:
        case Kind::Date:
            return d_;
        case Kind::Text: {
            double v;
            if (!ParseNumber(s_, v)) err::Raise(err::kTypeMismatch);
            return v;
        }
    }
    return 0;
}

namespace {
template <typename T>
T RoundToInteger(double v) {
    if (!std::isfinite(v)) err::Raise(err::kOverflow);
    double r = std::nearbyint(v);  // the default rounding mode rounds halves to even
    if (r < static_cast<double>(std::numeric_limits<T>::min()) ||
        r > static_cast<double>(std::numeric_limits<T>::max())) {
        err::Raise(err::kOverflow);
    }
    return static_cast<T>(r);
}
}  // namespace

int16_t FieldValue::ToInt16() const {
    if (kind_ == Kind::Int16 || kind_ == Kind::Int32 || kind_ == Kind::Int64 ||
        kind_ == Kind::Bool) {
        if (i_ < -32768 || i_ > 32767) err::Raise(err::kOverflow);
        return static_cast<int16_t>(i_);
    }
    return RoundToInteger<int16_t>(ToDouble());
}

int32_t FieldValue::ToInt32() const {
    if (kind_ == Kind::Int16 || kind_ == Kind::Int32 || kind_ == Kind::Int64 ||
        kind_ == Kind::Bool) {
        if (i_ < INT32_MIN || i_ > INT32_MAX) err::Raise(err::kOverflow);
        return static_cast<int32_t>(i_);
    }
    return RoundToInteger<int32_t>(ToDouble());
}

std::u16string FieldText(const FieldValue& v) {
    return v.IsNull() ? std::u16string() : v.ToText();
}

std::u16string Mid(const std::u16string& text, int32_t start, int32_t count) {
    if (start < 1 || count < 0) err::Raise(err::kInvalidProcedureCall);
    size_t from = static_cast<size_t>(start) - 1;
    if (from >= text.size()) return u"";
    return text.substr(from, static_cast<size_t>(count));
}

int16_t Add16(int32_t a, int32_t b) {
    int32_t r = a + b;
    if (r < INT16_MIN || r > INT16_MAX) err::Raise(err::kOverflow);
    return static_cast<int16_t>(r);
}

int16_t Sub16(int32_t a, int32_t b) {
    int32_t r = a - b;
    if (r < INT16_MIN || r > INT16_MAX) err::Raise(err::kOverflow);
    return static_cast<int16_t>(r);
}

}  // namespace quorvel
