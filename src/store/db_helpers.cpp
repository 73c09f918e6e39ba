#include "store/db_helpers.h"

#include "store/error.h"
#include "store/message_box.h"
#include "store/module_state.h"
#include "store/text.h"

namespace quorvel {

namespace {

constexpr char16_t kConnectFailed[] = u"数据库连接失败,请与管理员联系!";
constexpr char16_t kTitleConnect[] = u"错误：";
constexpr char16_t kTitleLookup[] = u"系统提示";
constexpr char16_t kTitleRs[] = u"Error:";

// The value a column of this type stands for when it is Null or there is no row.
FieldValue TypedDefault(short type) {
    if (adtype::IsNumeric(type)) return FieldValue::I16(0, type);
    if (adtype::IsDate(type)) {
        double d = 0;
        ParseDate(u"1900-01-01", d);
        return FieldValue::Date(d, type);
    }
    return FieldValue::Text(u"", type);
}

// A client-side static read-only recordset on DbConn, as the lookups open it.
void OpenLookup(Recordset& rs, const std::u16string& sql) {
    rs.CursorLocation = kUseClient;
    rs.CacheSize = 600;
    rs.Open(sql, Module().DbConn, kOpenStatic, kLockReadOnly, kCmdText);
}

std::shared_ptr<Recordset> QueryDetached(const std::u16string& sql, int lockType) {
    Recordset rs;
    rs.Open(sql, Module().DbConn, kOpenStatic, lockType, kCmdText);
    std::shared_ptr<Recordset> clone = rs.Clone();
    rs.Close();
    return clone;
}

std::shared_ptr<Recordset> ReportingDetached(const std::u16string& sql, int lockType) {
    try {
        return QueryDetached(sql, lockType);
    } catch (...) {
        ReportRsFailure(DescribeCurrentException());
        return nullptr;
    }
}

}  // namespace

void ReportRsFailure(const std::u16string& description) {
    MsgBox(description, mb::kCritical, kTitleRs);
}

bool OpenConnection(const std::u16string& connString) {
    auto& m = Module();
    try {
        m.DbConn = std::make_shared<Connection>();
        m.DbConn->ConnectionTimeout = m.ConnectionTime;
        m.DbConn->CommandTimeout = m.CommandTimeout;
        m.DbConn->Open(connString, u"", u"");
        return true;
    } catch (...) {
        MsgBox(kConnectFailed, mb::kExclamation, kTitleConnect);
        return false;
    }
}

void CloseConnection() noexcept {
    auto& m = Module();
    try {
        if (m.DbConn && m.DbConn->State() == kStateOpen) m.DbConn->Close();
    } catch (...) {
    }
    m.DbConn.reset();
}

FieldValue GetFieldValue(const std::u16string& sql, std::u16string_view fieldName) {
    try {
        return QueryFieldValue(sql, fieldName);
    } catch (...) {
        MsgBox(DescribeCurrentException(), mb::kExclamation, kTitleLookup);
        return FieldValue();
    }
}

int16_t GetRecordCount(const std::u16string& sql) {
    try {
        return QueryRecordCount(sql);
    } catch (...) {
        MsgBox(DescribeCurrentException(), mb::kExclamation, kTitleLookup);
        return 0;
    }
}

std::shared_ptr<Recordset> OpenReadOnlyRs(const std::u16string& sql) {
    return ReportingDetached(sql, kLockReadOnly);
}

std::shared_ptr<Recordset> OpenEditableRs(const std::u16string& sql) {
    return ReportingDetached(sql, kLockOptimistic);
}

std::shared_ptr<Recordset> QueryReadOnly(const std::u16string& sql) {
    return QueryDetached(sql, kLockReadOnly);
}

std::shared_ptr<Recordset> QueryEditable(const std::u16string& sql) {
    return QueryDetached(sql, kLockOptimistic);
}

FieldValue QueryFieldValue(const std::u16string& sql, std::u16string_view fieldName) {
    Recordset rs;  // closed with its scope, after a failure too
    OpenLookup(rs, sql);
    if (rs.RecordCount() > 0) {
        rs.MoveFirst();
        Field f = rs.Fields(fieldName);
        return f.Value.IsNull() ? TypedDefault(f.Type) : f.Value;
    }
    // No row: the column's type still decides the default.
    for (const Column& c : rs.Columns()) {
        if (EqualsNoCase(c.name, fieldName)) return TypedDefault(c.type);
    }
    err::Raise(err::kItemNotFound);
}

int16_t QueryRecordCount(const std::u16string& sql) {
    Recordset rs;
    OpenLookup(rs, sql);
    long n = rs.RecordCount();
    return n > 0 ? FieldValue::I32(static_cast<int32_t>(n)).ToInt16() : int16_t{0};
}

std::u16string GetListPart(std::u16string_view text, std::u16string_view delimiter, int16_t index) {
    try {
        std::u16string t = UCase(text);
        std::u16string d = UCase(delimiter);
        if (t.empty() || index < 0) return u"";
        if (d.empty()) return index == 0 ? TrimSpaces(t) : u"";
        size_t start = 0;
        for (int16_t i = 0;; ++i) {
            size_t hit = t.find(d, start);
            if (i == index) {
                return TrimSpaces(std::u16string_view(t).substr(
                    start, hit == std::u16string::npos ? std::u16string::npos : hit - start));
            }
            if (hit == std::u16string::npos) return u"";
            start = hit + d.size();
        }
    } catch (...) {
        return u"";
    }
}

}  // namespace quorvel
