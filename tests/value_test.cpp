#include <gtest/gtest.h>

#include "store/error.h"
#include "store/text.h"
#include "store/value.h"

using namespace quorvel;

namespace {

long ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const DbError& e) {
        return e.Number();
    }
    return 0;
}

TEST(FieldValueToInt16, ConvertsNumbersAndNumericTextRoundingHalvesToEven) {
    EXPECT_EQ(FieldValue::I32(32767).ToInt16(), 32767);
    EXPECT_EQ(FieldValue::I64(-32768).ToInt16(), -32768);
    EXPECT_EQ(FieldValue::Real(2.5).ToInt16(), 2);
    EXPECT_EQ(FieldValue::Real(3.5).ToInt16(), 4);
    EXPECT_EQ(FieldValue::Real(-2.5).ToInt16(), -2);
    EXPECT_EQ(FieldValue::Real(1.49).ToInt16(), 1);
    EXPECT_EQ(FieldValue::Text(u" 12 ").ToInt16(), 12);
    EXPECT_EQ(FieldValue::Text(u"1.5").ToInt16(), 2);
    EXPECT_EQ(FieldValue::Text(u"-7").ToInt16(), -7);
    EXPECT_EQ(FieldValue::Text(u"1e2").ToInt16(), 100);
    EXPECT_EQ(FieldValue::Text(u"&HFFFF").ToInt16(), -1);
    EXPECT_EQ(FieldValue::Boolean(true).ToInt16(), -1);
    EXPECT_EQ(FieldValue().ToInt16(), 0);  // Empty counts as 0
}

TEST(FieldValueToInt16, FailsOnNonNumbersNullAndOutOfRange) {
    EXPECT_EQ(ErrorOf([] { FieldValue::Text(u"").ToInt16(); }), err::kTypeMismatch);
    EXPECT_EQ(ErrorOf([] { FieldValue::Text(u"12a").ToInt16(); }), err::kTypeMismatch);
    EXPECT_EQ(ErrorOf([] { FieldValue::Text(u"inf").ToInt16(); }), err::kTypeMismatch);
    EXPECT_EQ(ErrorOf([] { FieldValue::Text(u"0x10").ToInt16(); }), err::kTypeMismatch);
    EXPECT_EQ(ErrorOf([] { FieldValue::Text(u"１２").ToInt16(); }), err::kTypeMismatch);
    EXPECT_EQ(ErrorOf([] { FieldValue::Null().ToInt16(); }), err::kInvalidUseOfNull);
    EXPECT_EQ(ErrorOf([] { FieldValue::I32(32768).ToInt16(); }), err::kOverflow);
    EXPECT_EQ(ErrorOf([] { FieldValue::Real(32767.5).ToInt16(); }), err::kOverflow);
    EXPECT_EQ(ErrorOf([] { FieldValue::Real(-32768.6).ToInt16(); }), err::kOverflow);
}

TEST(FieldValueToText, FormatsAsTheHostLanguagePrints) {
    EXPECT_EQ(FieldValue::I16(-5).ToText(), u"-5");
    EXPECT_EQ(FieldValue::Real(2.5).ToText(), u"2.5");
    EXPECT_EQ(FieldValue::Real(100).ToText(), u"100");
    EXPECT_EQ(FieldValue::Real(0.1 + 0.2).ToText(), u"0.3");
    EXPECT_EQ(FieldValue::Real(1e20).ToText(), u"1E+20");
    EXPECT_EQ(FieldValue::Real(1.5f, FieldValue::Kind::Single).ToText(), u"1.5");
    EXPECT_EQ(FieldValue::Boolean(true).ToText(), u"True");
    EXPECT_EQ(FieldValue::Text(u"店内码").ToText(), u"店内码");
    EXPECT_EQ(FieldValue().ToText(), u"");
    EXPECT_EQ(ErrorOf([] { FieldValue::Null().ToText(); }), err::kInvalidUseOfNull);
}

TEST(FieldValueDates, RoundTripThroughTheHostDateNumbers) {
    double d = 0;
    ASSERT_TRUE(ParseDate(u"1900-01-01", d));
    EXPECT_EQ(d, 2.0);  // the host's day 0 is 1899-12-30
    ASSERT_TRUE(ParseDate(u"2024-02-29 13:45:30", d));
    EXPECT_EQ(FormatDate(d), u"2024-02-29 13:45:30");
    EXPECT_EQ(FieldValue::Date(2.0).ToText(), u"1900-01-01");
    EXPECT_FALSE(ParseDate(u"2024-13-01", d));
    EXPECT_FALSE(ParseDate(u"yesterday", d));
}

TEST(Text, Utf16RoundTripsAndUpperCases) {
    std::u16string s = u"ab店\U0001F600z";
    EXPECT_EQ(s.size(), 6u);  // the emoji is two UTF-16 units
    EXPECT_EQ(FromUtf8(ToUtf8(s)), s);
    EXPECT_EQ(ToUpper(u"ab1é店ÿ"), u"AB1É店Ÿ");
    EXPECT_TRUE(EqualsNoCase(u"GzId", u"gzid"));
    EXPECT_EQ(TrimSpaces(u"  a b  "), u"a b");
    EXPECT_EQ(FromUtf8("\xff"), u"\xfffd");  // invalid input is replaced, never read past
}

TEST(HostStringsAndIntegers, MidAndSixteenBitArithmetic) {
    EXPECT_EQ(Mid(u"abcdef", 2, 3), u"bcd");
    EXPECT_EQ(Mid(u"abc", 3, 10), u"c");
    EXPECT_EQ(Mid(u"abc", 4, 1), u"");
    EXPECT_EQ(Mid(u"abc", 1, 0), u"");
    EXPECT_THROW(Mid(u"abc", 0, 1), DbError);
    EXPECT_THROW(Mid(u"abc", 1, -1), DbError);
    // Both ends of the 16-bit range are reachable; one beyond either end overflows.
    EXPECT_EQ(Add16(32766, 1), 32767);
    EXPECT_EQ(Add16(-32767, -1), -32768);
    EXPECT_EQ(Sub16(-32767, 1), -32768);
    EXPECT_EQ(Sub16(32766, -1), 32767);
    for (auto [a, b] : {std::pair{32767, 1}, std::pair{-32768, -1}}) {
        EXPECT_THROW(Add16(a, b), DbError);
        EXPECT_THROW(Sub16(a, -b), DbError);
    }
    EXPECT_EQ(FieldText(FieldValue::Null(adtype::kInteger)), u"");
    EXPECT_EQ(FieldText(FieldValue::I16(7)), u"7");
}

}  // namespace
