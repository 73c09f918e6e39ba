// The analyser the host calls for each scanned barcode. It keeps nothing of its own: its
// properties write the shared module state, and every method returns a text whatever happens.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "service/gs1.h"

namespace quorvel {

class FieldValue;
class RuleRead;

// One category's level as the analyser reads it: start S, end E, decimal places X, and L, the
// length of the rule's in-store code. `read` is false when reading it failed: the value is then
// always empty. `queryFailed` tells a store that could not answer (no such table, not a database)
// from a level whose values a till cannot use.
//
// A GS1 level takes its value from an AI of an element string instead of positions. It is
// stored as a level at positions 0 to -1, which every copy of the analyser cuts as an empty
// value, with its AI in the remark `bz` that older copies never read (gs1.h, ReadMarker): an
// older copy meets a GS1 rule as a rule that gives empty values.
struct SegmentLevel {
    bool read = false;
    bool queryFailed = false;
    int16_t s = 0, e = 0, x = 0, l = 0;
    gs1::LevelSpec gs1;
    bool IsGs1() const { return gs1.ai.len != 0; }
};

class GetAnalyseBarCode {
  public:
    GetAnalyseBarCode() = default;
    ~GetAnalyseBarCode();  // closes the shared connection, for every object on the thread
    GetAnalyseBarCode(const GetAnalyseBarCode&) = delete;
    GetAnalyseBarCode& operator=(const GetAnalyseBarCode&) = delete;

    // Write-only properties.
    void ConnString(const std::u16string& value);
    void TxmGZ(const std::u16string& value);
    void TXMName(const std::u16string& value);
    void ConnectionTime(int16_t value);

    std::u16string ParseBarCode(const std::u16string& lbid, const std::u16string& Txm = u"",
                                const std::u16string& Gzid = u"") noexcept;
    std::u16string StoreCode(const std::u16string& Gzid = u"") noexcept;

    // Exposed for tests; the host reaches them only through ParseBarCode.
    static std::u16string GetSegmentValue(const std::u16string& lbid, const std::u16string& txm,
                                          const std::u16string& gzid);
    // GetSegmentValue's two steps: the level query on the shared connection, inside the scan's
    // read of the rule, and the cut it makes. A compiled rule reads each level once and cuts
    // every barcode with it.
    static SegmentLevel ReadSegmentLevel(const std::u16string& lbid, const std::u16string& gzid,
                                         RuleRead& read);
    // The levels of a scan's categories, of one version of the rule. The read of a last GS1
    // level's AI comes after the read's commit when only position levels came before it (its
    // kind shows only once its row is read): it may then pair that AI with a later version of
    // the others, and the levels are read once more, that read expected.
    static std::vector<SegmentLevel> ReadScanLevels(const std::vector<std::u16string>& items,
                                                    const std::u16string& gzid);
    // The level query for a category and rule, exactly as the analyser sends it; and the level
    // from the columns of its first row (throws DbError where the analyser's reading fails).
    // The rule tools ask the store with these, so that they see the row and the numbers a till
    // sees.
    static std::u16string SegmentLevelSql(const std::u16string& lbid, const std::u16string& gzid);
    // A level at positions 0 to -1 may be a GS1 level: its remark, read with this statement
    // (the first such level of the category), names the AI.
    static bool MayBeGs1(const SegmentLevel& level);
    static std::u16string Gs1MarkerSql(const std::u16string& lbid, const std::u16string& gzid);
    static SegmentLevel LevelFromRow(const FieldValue& startws, const FieldValue& endws,
                                     const FieldValue& xsws, const FieldValue& dnmid,
                                     const FieldValue* bz = nullptr);
    static std::u16string CutSegment(const SegmentLevel& level, const std::u16string& txm);
    // A GS1 level's value from a label parsed with the level's substitute separator; the empty
    // value when the label does not carry the AI.
    static std::u16string CutGs1(const SegmentLevel& level, const gs1::Label<char16_t>& label);
    // Throws when the segment is shorter than the decimal places or they are negative.
    static std::u16string InsertDecimalPoint(const std::u16string& segment, int16_t places);
};

// The category list as ParseBarCode splits it: at every comma, items not trimmed, empty items
// kept; an empty list has no items.
std::vector<std::u16string> SplitCategories(const std::u16string& lbid);

}  // namespace quorvel
