#include "service/analyser.h"

#include "store/db_helpers.h"
#include "store/dialect.h"
#include "store/error.h"
#include "store/module_state.h"
#include "store/rule_guard.h"
#include "store/value.h"

namespace quorvel {

GetAnalyseBarCode::~GetAnalyseBarCode() {
    CloseConnection();
}

void GetAnalyseBarCode::ConnString(const std::u16string& value) {
    Module().ConnString = value;
}
void GetAnalyseBarCode::TxmGZ(const std::u16string& value) {
    Module().TxmGZ = value;
}
void GetAnalyseBarCode::TXMName(const std::u16string& value) {
    Module().TXMName = value;
}
void GetAnalyseBarCode::ConnectionTime(int16_t value) {
    Module().ConnectionTime = value;
}

std::u16string GetAnalyseBarCode::ParseBarCode(const std::u16string& lbid,
                                               const std::u16string& Txm,
                                               const std::u16string& Gzid) noexcept {
    try {
        auto& m = Module();
        std::u16string txm = Txm.empty() ? m.TXMName : Txm;
        std::u16string gzid = Gzid.empty() ? m.TxmGZ : Gzid;
        if (!OpenConnection(m.ConnString)) return u"";
        std::u16string acc;
        const std::vector<std::u16string> items = SplitCategories(lbid);
        if (!items.empty()) {
            // Every category of the scan from one version of the rule (rule_guard.h).
            const std::vector<SegmentLevel> levels = ReadScanLevels(items, gzid);
            // A GS1 label is parsed once for all its levels (again only for a level that names
            // another substitute separator: each level's value depends on it and the label alone).
            gs1::Label<char16_t> label;
            bool parsed = false;
            std::u16string_view parsedSub;
            for (const auto& level : levels) {
                if (level.read && level.IsGs1()) {
                    if (!parsed || parsedSub != level.gs1.Substitute()) {
                        parsedSub = level.gs1.Substitute();
                        label.Parse(std::u16string_view(txm), parsedSub);
                        parsed = true;
                    }
                    acc += CutGs1(level, label);
                } else {
                    acc += CutSegment(level, txm);
                }
                acc += u',';
            }
        }
        if (!acc.empty()) acc.pop_back();
        return acc;
    } catch (...) {
        return u"";  // only resource exhaustion gets here; the host still gets a text
    }
}

std::vector<std::u16string> SplitCategories(const std::u16string& lbid) {
    std::vector<std::u16string> items;
    if (lbid.empty()) return items;
    size_t start = 0;
    for (;;) {
        size_t comma = lbid.find(u',', start);
        items.push_back(lbid.substr(
            start, comma == std::u16string::npos ? std::u16string::npos : comma - start));
        if (comma == std::u16string::npos) return items;
        start = comma + 1;
    }
}

std::u16string GetAnalyseBarCode::GetSegmentValue(const std::u16string& lbid,
                                                  const std::u16string& txm,
                                                  const std::u16string& gzid) {
    RuleRead read(gzid, 1);
    return CutSegment(ReadSegmentLevel(lbid, gzid, read), txm);
}

std::u16string GetAnalyseBarCode::SegmentLevelSql(const std::u16string& lbid,
                                                  const std::u16string& gzid) {
    return u"select top 1 isnull(startws,0) as startws,isnull(endws,0) as endws,isnull(xsws,0) as "
           u"xsws,dnmid as dnmid from txm_gzmx a inner join txm_gzzb b on a.gzid=b.gzid where "
           u"lbid=" +
           SqlQuote(lbid) + u" and a.gzid=" + SqlQuote(gzid);
}

std::u16string GetAnalyseBarCode::Gs1MarkerSql(const std::u16string& lbid,
                                               const std::u16string& gzid) {
    return u"select top 1 a.bz as bz from txm_gzmx a inner join txm_gzzb b on a.gzid=b.gzid "
           u"where lbid=" +
           SqlQuote(lbid) + u" and a.gzid=" + SqlQuote(gzid) + u" and a.startws=0 and a.endws=-1";
}

bool GetAnalyseBarCode::MayBeGs1(const SegmentLevel& level) {
    return level.s == 0 && level.e == -1;
}

SegmentLevel GetAnalyseBarCode::LevelFromRow(const FieldValue& startws, const FieldValue& endws,
                                             const FieldValue& xsws, const FieldValue& dnmid,
                                             const FieldValue* bz) {
    SegmentLevel level;
    level.s = startws.ToInt16();
    level.e = endws.ToInt16();
    level.x = xsws.ToInt16();
    std::u16string code = FieldText(dnmid);
    if (code.size() > static_cast<size_t>(INT16_MAX)) err::Raise(err::kOverflow);
    level.l = static_cast<int16_t>(code.size());
    // Only a level that every copy cuts as empty can be a GS1 level: a position level's remark
    // never changes its cut.
    if (bz && MayBeGs1(level) && !bz->IsNull()) {
        gs1::ReadMarker(FieldText(*bz), level.gs1);
    }
    level.read = true;
    return level;
}

SegmentLevel GetAnalyseBarCode::ReadSegmentLevel(const std::u16string& lbid,
                                                 const std::u16string& gzid, RuleRead& read) {
    SegmentLevel level;
    try {
        auto& m = Module();
        // A scan that has met a GS1 level so far most likely ends with one too: the statement
        // that reads the last level's remark then carries the read's commit, so that the AI is
        // of the same version as the rest (a position level there leaves the commit to End).
        const bool oneMoreAhead = read.metExtraReads && read.NextIsLast();
        if (oneMoreAhead) read.ExpectOneMore();
        m.SqlText = SegmentLevelSql(lbid, gzid);
        m.DbRs = read.OpenReadOnlyRs(m.SqlText);
        if (!m.DbRs) {
            level.queryFailed = true;
            err::Raise(err::kObjectNotSet);
        }
        if (m.DbRs->RecordCount() > 0) {
            level = LevelFromRow(m.DbRs->Fields(u"startws").Value, m.DbRs->Fields(u"endws").Value,
                                 m.DbRs->Fields(u"xsws").Value, m.DbRs->Fields(u"dnmid").Value);
        }
        level.read = true;
        // Only a level that every copy cuts as empty (positions 0 to -1) can be a GS1 level: its
        // AI is read from the remark by a statement of its own, in the same read of the rule, so
        // that the level query of every position level stays as it always was.
        if (MayBeGs1(level)) {
            read.metExtraReads = true;
            if (!oneMoreAhead) read.ExpectOneMore();
            m.SqlText = Gs1MarkerSql(lbid, gzid);
            m.DbRs = read.OpenReadOnlyRs(m.SqlText);
            if (m.DbRs && m.DbRs->RecordCount() > 0) {
                const FieldValue& bz = m.DbRs->Fields(u"bz").Value;
                if (!bz.IsNull()) gs1::ReadMarker(FieldText(bz), level.gs1);
            }
        }
    } catch (...) {
        // The value stays empty; the read shows the failure's message when it ends.
        level.read = false;
    }
    return level;
}

std::vector<SegmentLevel> GetAnalyseBarCode::ReadScanLevels(
    const std::vector<std::u16string>& items, const std::u16string& gzid) {
    std::vector<SegmentLevel> levels;
    levels.reserve(items.size());
    bool again = false;
    {
        RuleRead read(gzid, items.size());
        for (const auto& item : items) levels.push_back(ReadSegmentLevel(item, gzid, read));
        // A single level has nothing to be paired with; after a failure its boxes have been
        // shown, and a second read would show them again.
        again = items.size() > 1 && read.ReadAfterCommit() && !read.Failed();
        read.End();
    }
    if (again) {
        levels.clear();
        RuleRead read(gzid, items.size());
        read.metExtraReads = true;
        for (const auto& item : items) levels.push_back(ReadSegmentLevel(item, gzid, read));
        read.End();
    }
    return levels;
}

std::u16string GetAnalyseBarCode::CutSegment(const SegmentLevel& level, const std::u16string& txm) {
    std::u16string segment;
    if (!level.read) return segment;
    if (level.IsGs1()) {
        gs1::Label<char16_t> label;
        label.Parse(std::u16string_view(txm), level.gs1.Substitute());
        return CutGs1(level, label);
    }
    try {
        int16_t from = Add16(level.s, level.l);
        int16_t count = Add16(Sub16(level.e, level.s), 1);
        segment = Mid(txm, from, count);
        if (level.x != 0) {
            try {
                segment = InsertDecimalPoint(segment, level.x);
            } catch (const DbError&) {
                // fewer characters than decimal places: the segment is used as cut
            }
        }
    } catch (...) {
        // an overflow or an impossible cut: the value stays as far as it got
    }
    return segment;
}

std::u16string GetAnalyseBarCode::CutGs1(const SegmentLevel& level,
                                         const gs1::Label<char16_t>& label) {
    std::u16string value;
    if (const auto* f = label.Find(level.gs1.ai)) gs1::AppendValue(*f, value);
    return value;
}

std::u16string GetAnalyseBarCode::InsertDecimalPoint(const std::u16string& segment,
                                                     int16_t places) {
    if (places < 0 || segment.size() < static_cast<size_t>(places)) {
        err::Raise(err::kInvalidProcedureCall);
    }
    size_t head = segment.size() - static_cast<size_t>(places);
    return segment.substr(0, head) + u"." + segment.substr(head);
}

std::u16string GetAnalyseBarCode::StoreCode(const std::u16string& Gzid) noexcept {
    try {
        auto& m = Module();
        m.SqlText = u"select dnmid from txm_gzzb where gzid=" + SqlQuote(Gzid);
        return FieldText(GetFieldValue(m.SqlText, u"dnmid"));
    } catch (...) {
        return u"";
    }
}

}  // namespace quorvel
