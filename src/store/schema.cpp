#include "store/schema.h"

#if QUORVEL_WITH_SQLITE
#include <sqlite3.h>
#endif

#include <filesystem>

#include "store/connstring.h"
#include "store/error.h"
#include "store/text.h"

namespace quorvel {

std::vector<std::u16string> SchemaStatements(Dialect dialect) {
    // Ids compare without regard to case, as the host's server does.
    std::u16string ci;
    std::u16string text = u"varchar";
    std::vector<std::u16string> out;
    switch (dialect) {
        case Dialect::Sqlite:
            ci = u" COLLATE NOCASE";
            break;
        case Dialect::PostgreSql:
            // citext lives in an extension that each database must have created before a table
            // uses it.
            out.push_back(u"CREATE EXTENSION IF NOT EXISTS citext");
            text = u"citext";
            break;
        case Dialect::SqlServer:
            break;
    }
    auto col = [&](const char16_t* name, int width) {
        std::u16string c = name;
        c += u" ";
        c += text;
        if (text == u"varchar") c += u"(" + ToU16(width) + u")";
        c += ci;
        return c;
    };
    out.insert(out.end(),
               {
                   u"CREATE TABLE txm_gzzb (" + col(u"gzid", 20) + u" NOT NULL PRIMARY KEY, " +
                       col(u"gzname", 50) + u", " + col(u"dnmid", 20) + u", txmzws int)",
                   u"CREATE TABLE txm_gzmx (" + col(u"gzid", 20) + u" NOT NULL, js int NOT NULL, " +
                       col(u"lbid", 20) + u", startws int, endws int, xsws int, " + col(u"bz", 50) +
                       u", PRIMARY KEY (gzid, js))",
                   u"CREATE INDEX ix_txm_gzmx_lbid ON txm_gzmx (gzid, lbid)",
                   u"CREATE TABLE glsx (" + col(u"id", 20) + u" NOT NULL, " + col(u"name", 50) +
                       u", fid int NOT NULL, PRIMARY KEY (fid, id))",
               });
    return out;
}

std::vector<std::u16string> DemoStatements() {
    return {
        // Segment categories, and rows of other attribute families that must never show up.
        u"insert into glsx (id,name,fid) values ('A','商品编码',1006)",
        u"insert into glsx (id,name,fid) values ('B','金额',1006)",
        u"insert into glsx (id,name,fid) values ('W','重量',1006)",
        u"insert into glsx (id,name,fid) values ('P','单价',1006)",
        u"insert into glsx (id,name,fid) values ('A','红色',1001)",
        u"insert into glsx (id,name,fid) values ('K','千克',1002)",
        u"insert into glsx (id,name,fid) values ('G','克',1002)",
        // The worked example: in-store code 21, item code at 1-5, amount at 6-10 with 2 decimals.
        u"insert into txm_gzzb (gzid,gzname,dnmid,txmzws) values ('R01','示例规则','21',10)",
        u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws,bz) values ('R01',1,'A',1,5,0,'')",
        u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws,bz) values ('R01',2,'B',6,10,2,'')",
        // A weighing scale's 18-digit label: 28, item code, weight in kg (3 decimals), price
        // (2 decimals), check digit.
        u"insert into txm_gzzb (gzid,gzname,dnmid,txmzws) values ('CZ18','电子秤条码','28',15)",
        u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws,bz) values ('CZ18',1,'A',1,5,0,'')",
        u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws,bz) values "
        u"('CZ18',2,'W',6,10,3,'')",
        u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws,bz) values "
        u"('CZ18',3,'B',11,15,2,'')",
    };
}

void CreateSchema(Connection& conn, Dialect dialect) {
    for (const auto& s : SchemaStatements(dialect)) conn.Execute(s);
}

void InsertDemoData(Connection& conn) {
    conn.BeginTrans();
    try {
        for (const auto& s : DemoStatements()) conn.Execute(s);
        conn.CommitTrans();
    } catch (...) {
        conn.RollbackTrans();
        throw;
    }
}

void CreateRuleTables(Connection& conn, bool demo) {
    std::u16string present;
    for (const char16_t* table : {u"txm_gzzb", u"txm_gzmx", u"glsx"}) {
        try {
            conn.Query(u"select * from " + std::u16string(table) + u" where 1=0");
            present += (present.empty() ? u"" : u", ") + std::u16string(table);
        } catch (const DbError&) {
            // Not there: the table is made below.
        }
    }
    if (!present.empty()) {
        throw DbError(err::kProviderError, u"The database has rule tables already (" + present +
                                               u"); nothing was changed.");
    }
    const Dialect dialect = conn.DatabaseDialect().value_or(Dialect::SqlServer);
    conn.BeginTrans();
    try {
        CreateSchema(conn, dialect);
        if (demo) {
            for (const auto& s : DemoStatements()) conn.Execute(s);
        }
        conn.CommitTrans();
    } catch (...) {
        // Some servers end the transaction themselves on a failed CREATE: the failure to report
        // is the CREATE's, not the rollback's.
        try {
            conn.RollbackTrans();
        } catch (...) {
        }
        throw;
    }
}

#if QUORVEL_WITH_SQLITE
void CreateSqliteStore(const std::string& path, bool demo) {
    std::u16string connString = EmbeddedConnString(path);  // refuses a path that is not UTF-8
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        throw DbError(err::kProviderError, u"The store exists already: " + FromUtf8(path));
    }
    sqlite3* db = nullptr;
    int rc =
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    // Write-ahead logging: a till paused inside its read then keeps neither a manager's commit
    // nor the other tills waiting (docs/shared-database.md). The mode stays with the file.
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    std::u16string msg = (rc != SQLITE_OK && db) ? FromUtf8(sqlite3_errmsg(db)) : u"";
    sqlite3_close_v2(db);
    if (rc != SQLITE_OK) {
        if (db) std::filesystem::remove(path, ec);
        throw DbError(err::kProviderError, msg + u": " + FromUtf8(path));
    }
    try {
        Connection conn;
        conn.Open(connString);
        conn.BeginTrans();
        CreateSchema(conn, Dialect::Sqlite);
        if (demo) {
            for (const auto& s : DemoStatements()) conn.Execute(s);
        }
        conn.CommitTrans();
    } catch (...) {
        std::filesystem::remove(path, ec);  // leave no half-made store behind
        throw;
    }
}

#else
void CreateSqliteStore(const std::string& path, bool) {
    throw DbError(err::kProviderNotFound,
                  u"This build has no embedded store, so it cannot create " + FromUtf8(path));
}
#endif

}  // namespace quorvel
