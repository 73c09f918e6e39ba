// The field value: what a column delivers, as the host's variant holds it, together with the
// data-access layer's type code of the column it came from.
#pragma once

#include <cstdint>
#include <string>

namespace quorvel {

// Type codes of the data-access layer's fields.
namespace adtype {
inline constexpr short kEmpty = 0;
inline constexpr short kTinyInt = 16;
inline constexpr short kSmallInt = 2;
inline constexpr short kInteger = 3;
inline constexpr short kBigInt = 20;
inline constexpr short kUnsignedTinyInt = 17;
inline constexpr short kUnsignedSmallInt = 18;
inline constexpr short kUnsignedInt = 19;
inline constexpr short kUnsignedBigInt = 21;
inline constexpr short kSingle = 4;
inline constexpr short kDouble = 5;
inline constexpr short kCurrency = 6;
inline constexpr short kDecimal = 14;
inline constexpr short kNumeric = 131;
inline constexpr short kVarNumeric = 139;
inline constexpr short kBoolean = 11;
inline constexpr short kDate = 7;
inline constexpr short kDBDate = 133;
inline constexpr short kDBTime = 134;
inline constexpr short kDBTimeStamp = 135;
inline constexpr short kChar = 129;
inline constexpr short kWChar = 130;
inline constexpr short kVarChar = 200;
inline constexpr short kLongVarChar = 201;
inline constexpr short kVarWChar = 202;
inline constexpr short kLongVarWChar = 203;
inline constexpr short kBinary = 128;
inline constexpr short kVarBinary = 204;
inline constexpr short kLongVarBinary = 205;
inline constexpr short kGuid = 72;

bool IsNumeric(short type);  // numeric and flag types: their Null default is the integer 0
bool IsDate(short type);
}  // namespace adtype

class FieldValue {
  public:
    enum class Kind {
        Empty,
        Null,
        Int16,
        Int32,
        Int64,
        Single,
        Double,
        Currency,
        Decimal,
        Date,
        Bool,
        Text
    };

    FieldValue() = default;
    static FieldValue Null(short type = 0) { return FieldValue(Kind::Null, type); }
    static FieldValue I16(int16_t v, short type = 0);
    static FieldValue I32(int32_t v, short type = 0);
    static FieldValue I64(int64_t v, short type = 0);
    static FieldValue Real(double v, Kind kind = Kind::Double, short type = 0);
    static FieldValue Boolean(bool v, short type = 0);
    static FieldValue Date(double oleDate, short type = 0);  // days since 1899-12-30
    static FieldValue Text(std::u16string v, short type = 0);

    Kind kind() const { return kind_; }
    short type() const { return type_; }  // column type code; 0 when not from a column
    bool IsNull() const { return kind_ == Kind::Null; }
    bool IsEmpty() const { return kind_ == Kind::Empty; }
    bool IsNumber() const;

    // Raw access; valid for the matching kinds.
    int64_t AsInt() const { return i_; }
    double AsReal() const { return d_; }
    const std::u16string& AsText() const { return s_; }

    // Conversions with the host language's semantics. Each throws DbError on failure.
    std::u16string ToText() const;  // Null fails ("Invalid use of Null")
    int16_t ToInt16() const;        // not a number fails, out of range overflows, x.5 to even
    int32_t ToInt32() const;
    double ToDouble() const;

    bool operator==(const FieldValue& o) const;

  private:
    FieldValue(Kind k, short type) : kind_(k), type_(type) {}
    Kind kind_ = Kind::Empty;
    short type_ = 0;
    int64_t i_ = 0;
    double d_ = 0;
    std::u16string s_;
};

// A field value as the windows and the analyser show it: a database Null is the empty text.
std::u16string FieldText(const FieldValue& v);

// Characters of text from the 1-based start for count characters, as the host's Mid does:
// start below 1 or a negative count fail, a start past the end gives "", a count running past
// the end stops there.
std::u16string Mid(const std::u16string& text, int32_t start, int32_t count);

// 16-bit signed arithmetic that fails on overflow, as the host's integer arithmetic does.
int16_t Add16(int32_t a, int32_t b);
int16_t Sub16(int32_t a, int32_t b);

// Parses a number as the host language's conversions read text: blanks around it, a sign,
// digits with an optional point and exponent, or &H/&O forms. Returns false if it is none.
bool ParseNumber(std::u16string_view text, double& out);

// Dates as days since 1899-12-30 (the host's date type), from and to "yyyy-mm-dd[ hh:mm:ss]".
bool ParseDate(std::u16string_view text, double& out);
std::u16string FormatDate(double oleDate);
std::u16string FormatReal(double v);

}  // namespace quorvel
