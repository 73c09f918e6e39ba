// GS1 element strings: every form a till receives cuts alike, hostile labels give findings and
// never stop the cut, and the analyser cuts GS1 rules on every store target while a copy that
// does not know them gets empty values.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>

#include "service/analyser.h"
#include "service/gs1.h"
#include "store/module_state.h"
#include "store/text.h"
#include "store/value.h"
#include "support.h"

using namespace quorvel;
using namespace quorvel::test;
using gs1::Issue;

namespace {

const std::u16string GS(1, char16_t{0x1D});

gs1::LevelAi Ai(std::u16string_view marker) {
    gs1::LevelSpec level;
    EXPECT_TRUE(gs1::ReadMarker(u"GS1:" + std::u16string(marker), level)) << ToUtf8(marker);
    return level.ai;
}

// The values of these AIs as levels take them, joined by commas (empty where the label has none).
template <typename Ch>
std::string Values(const gs1::Label<Ch>& label, std::initializer_list<const char16_t*> ais) {
    std::string out;
    for (const char16_t* a : ais) {
        if (!out.empty() || a != *ais.begin()) out += ',';
        std::basic_string<Ch> v;
        if (const auto* f = label.Find(Ai(a))) gs1::AppendValue(*f, v);
        out += std::string(v.begin(), v.end());
    }
    return out;
}

std::set<Issue> Issues(const gs1::Label<char16_t>& label) {
    std::set<Issue> out;
    for (const auto& f : label.findings) out.insert(f.issue);
    return out;
}

TEST(Gs1, EveryFormOfALabelCutsAlike) {
    const std::u16string raw =
        u"0109501101530003"
        u"3103001250"
        u"39221234" +
        GS +
        u"17270115"
        u"10AB12";
    const struct {
        const char* form;
        std::u16string label, substitute;
    } cases[] = {
        {"raw, GS after the variable price", raw, u""},
        {"leading GS (camera decoders)", GS + raw, u""},
        {"]C1 GS1-128", u"]C1" + raw, u""},
        {"]e0 DataBar Expanded", u"]e0" + raw, u""},
        {"]d2 GS1 DataMatrix", u"]d2" + raw, u""},
        {"]Q3 GS1 QR Code", u"]Q3" + raw, u""},
        {"GS before the identifier", GS + u"]d2" + raw, u""},
        {"substitute ~", u"]C1010950110153000331030012503922123 4~1727011510AB12", u"~"},
        {"substitute of four characters",
         u"01095011015300033103001250"
         u"39221234{GS}17270115"
         u"10AB12",
         u"{GS}"},
        {"batch first, GS after it",
         u"10AB12" + GS +
             u"0109501101530003"
             u"3103001250"
             u"17270115"
             u"39221234",
         u""},
        {"bracketed", u"(01)09501101530003(3103)001250(3922)1234(17)270115(10)AB12", u""},
        {"bracketed, AIs in another order",
         u"(01)09501101530003(10)AB12(3103)001250(3922)1234(17)270115", u""},
        {"Digital Link, query attributes",
         u"https://id.gs1.org/01/09501101530003/10/AB12?3103=001250&3922=1234&17=270115", u""},
        {"Digital Link, own host and path prefix, percent-encoding, other attributes",
         u"HTTP://shop.example.com/p/x/01/09501101530003/10/AB%312?17=270115&linkType=gs1:pip&"
         u"3103=001250&3922=1234#top",
         u""},
        {"Digital Link behind ]Q1",
         u"]Q1https://id.gs1.org/01/9501101530003/10/AB12?3103=001250&3922=1234&17=270115", u""},
    };
    for (const auto& c : cases) {
        std::u16string text = c.label;
        text.erase(std::remove(text.begin(), text.end(), u' '), text.end());
        gs1::Label<char16_t> wide;
        wide.Parse(text, c.substitute);
        EXPECT_EQ(Values(wide, {u"01", u"3103", u"3922", u"17", u"10", u"21"}),
                  "09501101530003,001.250,12.34,270115,AB12,")
            << c.form;
        EXPECT_TRUE(wide.findings.empty())
            << c.form << ": " << ToUtf8(gs1::Describe(wide.findings[0], wide));
        // Bytes, as batch reads its lines, cut as the host's wide text does.
        const std::string bytes = ToUtf8(text);
        gs1::Label<char> narrow;
        narrow.Parse(bytes, c.substitute);
        EXPECT_EQ(Values(narrow, {u"01", u"3103", u"3922", u"17", u"10", u"21"}),
                  Values(wide, {u"01", u"3103", u"3922", u"17", u"10", u"21"}))
            << c.form;
    }
}

TEST(Gs1, DecimalsComeFromTheLabelsOwnAi) {
    const struct {
        std::u16string label;
        const char16_t* level;
        const char* value;
    } cases[] = {
        {u"3103001250", u"3103", "001.250"},
        {u"3102001250", u"3103", "0012.50"},  // the level names the family
        {u"3100001250", u"3105", "001250"},   // no decimals: no point
        {u"3922123", u"3922", "1.23"},
        {u"39241234", u"3922", ".1234"},      // exactly as many digits as decimals
        {u"392912", u"3922", "12"},           // fewer: as cut, as position levels do
        {u"39329781234", u"3932", "12.34"},   // the currency is left out
        {u"3202000500", u"3202", "0005.00"},  // pounds
        {u"3201000500", u"3103", ""},         // another family
        {u"30"
         u"12",
         u"30", "12"},                                   // a count, no decimals
        {u"]E04006381333931", u"01", "04006381333931"},  // an EAN-13 read as AI 01
        {u"]E496385074", u"01", "00000096385074"},       // an EAN-8
    };
    for (const auto& c : cases) {
        gs1::Label<char16_t> label;
        label.Parse(c.label);
        EXPECT_EQ(Values(label, {c.level}), c.value) << ToUtf8(c.label);
    }
}

TEST(Gs1, HostileLabelsGiveFindingsAndTheRestIsStillCut) {
    const std::u16string big(1'000'000, u'7');
    const struct {
        const char* what;
        std::u16string label;
        std::set<Issue> issues;
        const char* values;  // of 01, 10, 3922
    } cases[] = {
        {"truncated GTIN", u"01095011015300", {Issue::kTruncated}, "095011015300,,"},
        {"truncated AI",
         u"0109501101530003"
         u"39",
         {Issue::kTruncated},
         "09501101530003,,"},
        {"unknown AI, runs to the separator",
         u"0109501101530003"
         u"239XYZ" +
             GS + u"10AB",
         {Issue::kUnknownAi},
         "09501101530003,AB,"},
        {"unknown prefix", u"05123" + GS + u"39221234", {Issue::kUnknownAi}, ",,12.34"},
        {"overlong batch: a separator is missing",
         u"10" + std::u16string(25, u'B') + u"39221",
         {Issue::kTooLong},
         ",BBBBBBBBBBBBBBBBBBBB,"},
        {"no separator after a fixed AI that needs one",
         u"42297839221234",
         {Issue::kMissingSeparator},
         ",,12.34"},
        {"separator inside a fixed-length field",
         u"01095011" + GS + u"01530003",
         {Issue::kMisplacedSeparator, Issue::kTruncated},
         "095011,,"},
        {"two separators in a row",
         u"10AB" + GS + GS + u"39221234",
         {Issue::kMisplacedSeparator},
         ",AB,12.34"},
        {"wrong GTIN check digit", u"0109501101530004", {Issue::kCheckDigit}, "09501101530004,,"},
        {"impossible date",
         u"17271332"
         u"0109501101530003",
         {Issue::kDate},
         "09501101530003,,"},
        {"29 February of a common year", u"17270229", {Issue::kDate}, ",,"},
        {"letters in a numeric AI", u"01ABCDEFGHIJKLMN", {Issue::kCharset}, "ABCDEFGHIJKLMN,,"},
        {"batch too short", u"10" + GS + u"39221234", {Issue::kTooShort}, ",,12.34"},
        {"bracketed, wrong length",
         u"(01)0950110153000(3922)12",
         {Issue::kTruncated},
         "0950110153000,,.12"},
        {"bracketed, a bracket that opens no AI",
         u"(x)(3922)1234",
         {Issue::kNotElementString},
         ",,12.34"},
        {"not an element string", u"hello", {Issue::kNotElementString}, ",,"},
        {"Digital Link without a key",
         u"https://example.com/a/b?3922=1234",
         {Issue::kNoKey},
         ",,12.34"},
        {"Digital Link, unknown attribute AI",
         u"https://x.y/01/09501101530003?239=1",
         {Issue::kUnknownAi},
         "09501101530003,,"},
        {"Digital Link, broken percent",
         u"https://x.y/01/09501101530003/10/A%2?3922=1%",
         {Issue::kCharset},
         "09501101530003,A%2,.1%"},
        {"EAN identifier on other data", u"]E0ABC", {Issue::kNotElementString}, ",,"},
        {"huge input", u"10" + big, {Issue::kTooLong}, ",77777777777777777777,"},
        {"huge run of separators", std::u16string(100000, char16_t{0x1D}), {}, ",,"},
        {"empty", u"", {}, ",,"},
        {"identifier only", u"]d2", {}, ",,"},
        {"lone brackets", u"((((((((", {Issue::kNotElementString}, ",,"},
        {"unclosed bracket", u"(3922", {Issue::kNotElementString}, ",,"},
        {"scheme only", u"https://", {Issue::kNoKey}, ",,"},
        {"Digital Link of many short GTINs",
         [] {
             std::u16string l = u"https://h";
             for (int i = 0; i < 200; ++i) l += u"/01/96385074";
             return l;
         }(),
         {},
         "00000096385074,,"},
    };
    for (const auto& c : cases) {
        gs1::Label<char16_t> label;
        const auto start = std::chrono::steady_clock::now();
        label.Parse(c.label);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << c.what;
        const auto got = Issues(label);
        for (Issue i : c.issues) {
            EXPECT_TRUE(got.count(i))
                << c.what << ": finding " << static_cast<int>(i) << " missing";
        }
        if (c.issues.empty()) {
            EXPECT_TRUE(got.empty()) << c.what;
        }
        EXPECT_LE(label.findings.size(), 64u) << c.what;
        EXPECT_EQ(Values(label, {u"01", u"10", u"3922"}), c.values) << c.what;
        for (const auto& f : label.findings) {
            EXPECT_FALSE(gs1::Describe(f, label).empty()) << c.what;  // every finding is worded
        }
    }
}

TEST(Gs1, TheAiTableAgreesWithItself) {
    std::set<std::string> seen;
    for (const auto& a : gs1::AllAis()) {
        const std::string ai = a.ai;
        EXPECT_TRUE(seen.insert(ai).second) << ai << " twice";
        const int len = gs1::AiLength(ai[0] - '0', ai[1] - '0');
        const bool family = a.flags & gs1::kDecimals;
        // The prefix's length is the AI's (a family's stem lacks its last digit).
        EXPECT_EQ(len, static_cast<int>(ai.size()) + (family ? 1 : 0)) << ai;
        EXPECT_LE(a.minLen, a.maxLen) << ai;
        EXPECT_LE(a.digits, a.maxLen) << ai;
        EXPECT_LE(a.checkAt + a.checkLen, a.maxLen) << ai;
        // Predefined lengths are fixed lengths, and only under the prefixes the table names.
        if (a.flags & gs1::kPredefined) {
            EXPECT_EQ(a.minLen, a.maxLen) << ai;
            const int p = (ai[0] - '0') * 10 + (ai[1] - '0');
            EXPECT_TRUE(p <= 4 || (p >= 11 && p <= 20) || (p >= 31 && p <= 36) || p == 41) << ai;
        }
        for (int n = 0; n <= 9; ++n) {
            const std::string member = family ? ai + char('0' + n) : ai;
            EXPECT_EQ(gs1::FindAi(member) == &a, !family || n <= a.maxDecimals) << member;
            if (!family) break;
        }
    }
    for (const char* unknown : {"", "0", "05", "239", "3106", "31000", "7x", "99999"}) {
        EXPECT_EQ(gs1::FindAi(unknown), nullptr) << unknown;
    }
}

TEST(Gs1, LevelMarkers) {
    const struct {
        std::u16string bz;
        bool ok;
        std::u16string ai, substitute;
        bool family;
    } cases[] = {
        {u"GS1:01", true, u"01", u"", false},    {u"GS1:3103", true, u"3103", u"", true},
        {u"GS1:10:~", true, u"10", u"~", false}, {u"GS1:10:{GS}", true, u"10", u"{GS}", false},
        {u"GS1:9999", false, u"", u"", false},   // 99 is an AI of two digits
        {u"GS1:239", true, u"239", u"", false},  // unknown to the table, still a level
        {u"GS1:10:", false, u"", u"", false},    {u"GS1:10:12345", false, u"", u"", false},
        {u"GS1:10x", false, u"", u"", false},    {u"gs1:01", false, u"", u"", false},
        {u"GS1:", false, u"", u"", false},       {u"", false, u"", u"", false},
        {u"remark", false, u"", u"", false},
    };
    for (const auto& c : cases) {
        gs1::LevelSpec level;
        ASSERT_EQ(gs1::ReadMarker(c.bz, level), c.ok) << ToUtf8(c.bz);
        if (!c.ok) continue;
        EXPECT_EQ(gs1::AiText(level.ai), c.ai);
        EXPECT_EQ(std::u16string(level.Substitute()), c.substitute);
        EXPECT_EQ(level.ai.family, c.family);
        EXPECT_EQ(gs1::Marker(c.ai, c.substitute), c.bz);  // written back as read
    }
}

std::u16string Level(const char16_t* gzid, int js, const char16_t* lbid, const char16_t* s,
                     const char16_t* e, const char16_t* bz) {
    return std::u16string(u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws,bz) values ('") +
           gzid + u"'," + ToU16(js) + u",'" + lbid + u"'," + s + u"," + e + u",0," + bz + u")";
}

class Gs1Rules : public ::testing::TestWithParam<StoreParam> {
  protected:
    void SetUp() override {
        store = Targets()[GetParam().target].create(GetParam().schema);
        store->Exec({
            u"insert into txm_gzzb (gzid,gzname,dnmid,txmzws) values ('G','n','',0)",
            Level(u"G", 1, u"A", u"0", u"-1", u"'GS1:01'"),
            Level(u"G", 2, u"W", u"0", u"-1", u"'GS1:3103'"),
            Level(u"G", 3, u"B", u"0", u"-1", u"'GS1:3922'"),
            Level(u"G", 4, u"L", u"0", u"-1", u"'GS1:10'"),
            u"insert into txm_gzzb (gzid,gzname,dnmid,txmzws) values ('T','n','21',0)",
            Level(u"T", 1, u"L", u"0", u"-1", u"'GS1:10:~'"),
            Level(u"T", 2, u"B", u"0", u"-1", u"'GS1:3922:~'"),
            // A position level whose remark looks like a marker stays a position level.
            u"insert into txm_gzzb (gzid,gzname,dnmid,txmzws) values ('P','n','21',10)",
            Level(u"P", 1, u"A", u"1", u"5", u"'GS1:01'"),
            Level(u"P", 2, u"B", u"6", u"10", u"null"),
        });
        analyser.ConnString(store->ConnString());
    }
    void TearDown() override { Module() = ModuleState{}; }
    std::unique_ptr<TestStore> store;
    RecordingBoxes boxes;
    GetAnalyseBarCode analyser;
};

TEST_P(Gs1Rules, ParseBarCodeCutsByAi) {
    const std::u16string label = u"]C10109501101530003310300125039221234" + GS + u"10AB12";
    const struct {
        std::u16string lbid, txm, gzid, expected;
    } cases[] = {
        {u"A,W,B", u"(01)09501101530003(3103)001250(3922)1234(17)270115(10)AB12", u"G",
         u"09501101530003,001.250,12.34"},
        {u"A,W,B,L", label, u"G", u"09501101530003,001.250,12.34,AB12"},
        {u"B,X,A", label, u"G", u"12.34,,09501101530003"},  // a category without a level
        {u"A,W", u"https://id.gs1.org/01/09501101530003?3102=012345", u"G",
         u"09501101530003,0123.45"},
        {u"A,W,B,L", u"(01)09501101530003", u"G", u"09501101530003,,,"},  // not on the label
        {u"L,B", u"10AB~39221234", u"T", u"AB,12.34"},  // the level's substitute separator
        {u"B,L", u"10AB~39221234", u"T", u"12.34,AB"},  // whichever level comes first
        {u"L,B", u"10AB" + GS + u"39221234", u"T", u"AB,12.34"},
        {u"A,B", u"2100123004567", u"P", u"00123,00456"},  // position rules as before
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToUtf8(analyser.ParseBarCode(c.lbid, c.txm, c.gzid)), ToUtf8(c.expected))
            << ToUtf8(c.lbid) << " of " << ToUtf8(c.txm) << " by " << ToUtf8(c.gzid);
    }
    EXPECT_TRUE(boxes.boxes.empty());
    // Each GS1 level's remark is read in the scan's one read, whose commit rides with the last
    // remark: the begin, three level queries, three remark statements, and nothing more.
    int statements = 0, remarksOutside = 0;
    Connection::SetStatementHook([&](const std::u16string& sql) {
        ++statements;
        if (sql.find(u"a.bz as bz") != std::u16string::npos && !DbConn().InTransaction()) {
            ++remarksOutside;
        }
    });
    EXPECT_EQ(ToUtf8(analyser.ParseBarCode(u"A,W,B", cases[0].txm, u"G")),
              ToUtf8(cases[0].expected));
    Connection::SetStatementHook(nullptr);
    EXPECT_EQ(statements, 7);
    EXPECT_EQ(remarksOutside, 0);
    EXPECT_FALSE(DbConn().InTransaction());
}

// What an older copy reads: the positions alone, the remark unread. Its cut of a GS1 level is
// empty for every label and in-store code, whatever the rule's in-store code.
TEST_P(Gs1Rules, ACopyThatDoesNotReadTheRemarkGetsEmptyValues) {
    for (const char16_t* dnmid : {u"", u"2", u"21", u"]C1"}) {
        for (const std::u16string& text :
             {std::u16string(u"(01)09501101530003(3103)001250"), std::u16string(u"2100123004567"),
              u"]C10109501101530003" + GS + u"10AB", std::u16string(u"")}) {
            const SegmentLevel older =
                GetAnalyseBarCode::LevelFromRow(FieldValue::I32(0), FieldValue::I32(-1),
                                                FieldValue::I32(0), FieldValue::Text(dnmid));
            EXPECT_FALSE(older.IsGs1());
            EXPECT_EQ(ToUtf8(GetAnalyseBarCode::CutSegment(older, text)), "");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Stores, Gs1Rules, ::testing::ValuesIn(EveryTargetAndSchema()),
                         StoreParamName);

}  // namespace
