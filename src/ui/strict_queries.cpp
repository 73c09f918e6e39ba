#include "ui/strict_queries.h"

#include "store/error.h"
#include "store/module_state.h"
#include "store/text.h"

namespace quorvel::ui {

namespace {

std::shared_ptr<Recordset> Detached(const std::u16string& sql, int lockType) {
    Recordset rs;
    rs.Open(sql, Module().DbConn, kOpenStatic, lockType, kCmdText);
    std::shared_ptr<Recordset> clone = rs.Clone();
    rs.Close();
    return clone;
}

void OpenLookup(Recordset& rs, const std::u16string& sql) {
    rs.CursorLocation = kUseClient;
    rs.CacheSize = 600;
    rs.Open(sql, Module().DbConn, kOpenStatic, kLockReadOnly, kCmdText);
}

FieldValue TypedDefault(short type) {
    if (adtype::IsNumeric(type)) return FieldValue::I16(0, type);
    if (adtype::IsDate(type)) {
        double d = 0;
        ParseDate(u"1900-01-01", d);
        return FieldValue::Date(d, type);
    }
    return FieldValue::Text(u"", type);
}

}  // namespace

std::shared_ptr<Recordset> QueryReadOnly(const std::u16string& sql) {
    return Detached(sql, kLockReadOnly);
}

std::shared_ptr<Recordset> QueryEditable(const std::u16string& sql) {
    return Detached(sql, kLockOptimistic);
}

FieldValue QueryFieldValue(const std::u16string& sql, std::u16string_view fieldName) {
    Recordset rs;
    OpenLookup(rs, sql);
    if (rs.RecordCount() > 0) {
        rs.MoveFirst();
        Field f = rs.Fields(fieldName);
        return f.Value.IsNull() ? TypedDefault(f.Type) : f.Value;
    }
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

}  // namespace quorvel::ui
