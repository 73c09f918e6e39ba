// Many tills and a manager on one database (store/rule_guard.h): scans while a rule flips between
// two versions, two changes of one rule at once, and a change that cannot get the rule's lock; on
// every store target, on tables made with keys and without.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <latch>
#include <mutex>
#include <thread>
#include <tuple>

#include "service/analyser.h"
#include "store/connection.h"
#include "store/db_helpers.h"
#include "store/dialect.h"
#include "store/error.h"
#include "store/module_state.h"
#include "store/rule_guard.h"
#include "store/text.h"
#include "support.h"
#include "tools/transfer.h"

using namespace quorvel;
using namespace quorvel::test;
using namespace std::chrono_literals;

namespace {

constexpr char16_t kCode[] = u"21093670758246";
// Rule FL in two versions whose every category cuts differently, and their cuts of kCode.
tools::RuleSet Version(int v) {
    tools::StoredRule r;
    r.gzid = u"FL";
    r.gzname = u"flip";
    r.dnmid = u"21";
    r.txmzws = 12;
    const int64_t a = v == 1 ? 1 : 5, b = v == 1 ? 5 : 9, c = v == 1 ? 9 : 1;
    const std::tuple<const char16_t*, int64_t, int64_t> cuts[] = {
        {u"A", a, 0}, {u"B", b, v == 1 ? 2 : 1}, {u"C", c, 0}};
    for (const auto& [lbid, start, places] : cuts) {
        tools::StoredLevel l;
        l.js = static_cast<int64_t>(r.levels.size()) + 1;
        l.lbid = lbid;
        l.startws = start;
        l.endws = start + 3;
        l.xsws = places;
        l.bz = u"";
        r.levels.push_back(std::move(l));
    }
    tools::RuleSet set;
    set.rules = {r};
    return set;
}
const std::u16string kCut[] = {u"", u"0936,70.75,8246", u"7075,824.6,0936"};

class SharedDatabase : public ::testing::TestWithParam<StoreParam> {
  protected:
    void SetUp() override {
        store = Targets()[GetParam().target].create(GetParam().schema);
        store->Exec({u"insert into glsx (id,name,fid) values ('A','a',1006)",
                     u"insert into glsx (id,name,fid) values ('B','b',1006)",
                     u"insert into glsx (id,name,fid) values ('C','c',1006)"});
        cs = store->ConnString();
    }
    void TearDown() override {
        Connection::SetStatementHook(nullptr);
        Module() = ModuleState{};
    }
    // Imports a version on a connection of its own: empty when it was imported, else why not.
    std::u16string Import(int v, bool replace, long timeout = kDefaultCommandTimeout) {
        return Import(Version(v), replace, timeout);
    }
    std::u16string Import(const tools::RuleSet& set, bool replace,
                          long timeout = kDefaultCommandTimeout) {
        try {
            Connection c;
            c.CommandTimeout = timeout;
            c.Open(cs);
            auto r = tools::ImportRules(c, set, replace);
            return r.imported ? u"" : r.refusals.empty() ? u"(no reason)" : r.refusals[0];
        } catch (const DbError& e) {
            return e.Description().empty() ? u"(no description)" : e.Description();
        }
    }
    // The version FL is stored in: 1 or 2, or 0 when it is neither exactly, with one header.
    int Stored() {
        Connection c;
        c.Open(cs);
        std::vector<std::u16string> missing;
        auto rules = tools::LoadRules(c, {u"FL"}, missing);
        if (rules.size() != 1 || rules[0].headers != 1) return 0;
        for (int v : {1, 2}) {
            tools::RuleSet stored;
            stored.rules = rules;
            if (tools::ToJson(stored) == tools::ToJson(Version(v))) return v;
        }
        return 0;
    }

    std::unique_ptr<TestStore> store;
    std::u16string cs;
};

TEST_P(SharedDatabase, EveryScanCutsByOneWholeVersionWhileTheRuleFlips) {
    ASSERT_EQ(Import(1, false), u"");
    std::atomic<bool> done{false};
    std::atomic<int> scans{0};
    std::mutex mutex;
    std::vector<std::string> wrong;
    auto till = [&] {
        RecordingBoxes boxes;
        // A pause before each category's query: room for a change to commit between two of them.
        Connection::SetStatementHook([](const std::u16string& sql) {
            if (sql.find(u"lbid=") != std::u16string::npos) std::this_thread::sleep_for(1ms);
        });
        GetAnalyseBarCode analyser;
        analyser.ConnString(cs);
        while (!done) {
            const std::u16string got = analyser.ParseBarCode(u"A,B,C", kCode, u"FL");
            ++scans;
            if (got != kCut[1] && got != kCut[2]) {
                std::lock_guard lock(mutex);
                wrong.push_back(ToUtf8(got));
            }
        }
        std::lock_guard lock(mutex);
        for (const auto& b : boxes.boxes) wrong.push_back("box: " + ToUtf8(b.prompt));
    };
    std::vector<std::thread> tills;
    for (int i = 0; i < 3; ++i) tills.emplace_back(till);
    std::vector<std::u16string> refused;
    const auto until = std::chrono::steady_clock::now() + 1500ms;
    for (int i = 0; (i < 40 || scans < 30) && std::chrono::steady_clock::now() < until; ++i) {
        const std::u16string why = Import(i % 2 ? 1 : 2, true);
        if (!why.empty()) refused.push_back(why);
    }
    done = true;
    for (auto& t : tills) t.join();
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " of " << scans
                               << " scans were no version: " << wrong.front();
    EXPECT_TRUE(refused.empty()) << ToUtf8(refused.front());
    EXPECT_GT(scans.load(), 0);
    EXPECT_NE(Stored(), 0);
}

TEST_P(SharedDatabase, TwoChangesOfOneRuleAtOnceLeaveExactlyOneOfThem) {
    for (int round = 0; round < 6; ++round) {
        const bool replace = round % 2 == 0;  // else both define the rule anew
        SCOPED_TRACE(replace ? "two replacements" : "two new definitions");
        store->Exec({u"delete from txm_gzmx", u"delete from txm_gzzb"});
        if (replace) {
            ASSERT_EQ(Import(1 + round / 2 % 2, false), u"");
        }
        std::latch start(2);
        std::u16string why[2];
        auto manager = [&](int i) {
            // A pause inside the change: room for the other one to come in between.
            Connection::SetStatementHook([](const std::u16string& sql) {
                if (sql.starts_with(u"insert into txm_gzzb")) std::this_thread::sleep_for(5ms);
            });
            start.arrive_and_wait();
            why[i] = Import(i + 1, replace);
        };
        std::thread first(manager, 0), second(manager, 1);
        first.join();
        second.join();
        const int stored = Stored();
        EXPECT_NE(stored, 0);
        if (replace) {
            EXPECT_EQ(ToUtf8(why[0] + why[1]), "");
        } else {
            ASSERT_TRUE(why[0].empty() != why[1].empty()) << ToUtf8(why[0] + u" / " + why[1]);
            EXPECT_EQ(why[stored % 2], u"FL: the rule exists (--replace replaces it)");
        }
    }
}

// Who holds what while a manager imports FL (command timeout 1 s) and, a moment later, a till
// scans it: what each sees and how long each waits. A wait never ends in a bare driver message,
// and never lasts more than the timeout once.
TEST_P(SharedDatabase, LockWaitsEndInWordsAPersonUnderstands) {
    // A host's SQLite file keeps the rollback journal it has; stores made here log ahead.
    const bool journal = Targets()[GetParam().target].name == "OdbcSqlite3";
    enum Holder { Change, OpenUpdate, PausedTill };
    const struct {
        Holder holder;
        const char* what;
        bool refused;    // the manager's import
        bool tillWaits;  // the other till's scan, behind the manager's commit
    } cases[] = {
        {Change, "another manager's change under way", true, false},
        {OpenUpdate, "another program's uncommitted update", true, false},
        {PausedTill, "a till paused inside its read", journal, journal},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        store->Exec({u"delete from txm_gzmx", u"delete from txm_gzzb"});
        ASSERT_EQ(Import(1, false), u"");
        Connection other;
        std::thread pausedTill;
        std::latch inside(1), release(1);
        if (c.holder == PausedTill) {
            pausedTill = std::thread([&] {
                RecordingBoxes boxes;
                Connection::SetStatementHook([&, n = 0](const std::u16string& sql) mutable {
                    if (sql.find(u"lbid=") != std::u16string::npos && ++n == 2) {
                        inside.count_down();
                        release.wait();
                    }
                });
                GetAnalyseBarCode analyser;
                analyser.ConnString(cs);
                EXPECT_EQ(analyser.ParseBarCode(u"A,B,C", kCode, u"FL"), kCut[1]);
            });
            inside.wait();
        } else {
            other.Open(cs);
            if (c.holder == Change) {
                BeginRuleChange(other, {u"fl"});
            } else {
                other.BeginTrans();
            }
            other.Execute(u"update txm_gzmx set startws=startws+1 where gzid='FL'");
        }
        std::u16string why;
        std::chrono::steady_clock::duration managerWaited{};
        std::thread manager([&] {
            const auto t0 = std::chrono::steady_clock::now();
            why = Import(2, true, 1);
            managerWaited = std::chrono::steady_clock::now() - t0;
        });
        std::this_thread::sleep_for(200ms);
        {
            RecordingBoxes boxes;
            Module().CommandTimeout = 1;
            GetAnalyseBarCode analyser;
            analyser.ConnString(cs);
            const auto t0 = std::chrono::steady_clock::now();
            const std::u16string got = analyser.ParseBarCode(u"A,B,C", kCode, u"FL");
            const auto tillWaited = std::chrono::steady_clock::now() - t0;
            EXPECT_TRUE(got == kCut[1] || got == kCut[2]) << ToUtf8(got);
            EXPECT_TRUE(boxes.boxes.empty());
            EXPECT_LT(tillWaited, c.tillWaits ? 1900ms : 800ms);
            Module() = ModuleState{};
        }
        manager.join();
        if (c.refused) {
            EXPECT_TRUE(
                why.starts_with(u"Rule FL is being changed elsewhere and did not become "
                                u"free within 1 second; nothing was changed. ("))
                << ToUtf8(why);
        } else {
            EXPECT_EQ(ToUtf8(why), "");
        }
        EXPECT_LT(managerWaited, 1900ms);
        if (c.holder == PausedTill) {
            release.count_down();
            pausedTill.join();
        } else {
            other.RollbackTrans();
            other.Close();
        }
        EXPECT_EQ(Stored(), c.refused ? 1 : 2);
    }
}

// Whether the module's connection is inside a transaction, asked of the database itself.
bool DatabaseHasTransactionOpen() {
    Connection& c = DbConn();
    switch (c.DatabaseDialect().value_or(Dialect::SqlServer)) {
        case Dialect::Sqlite:
            try {
                c.Execute(u"BEGIN");  // refused inside a transaction
            } catch (const DbError&) {
                return true;
            }
            c.Execute(u"ROLLBACK");
            return false;
        case Dialect::PostgreSql:  // a statement in autocommit begins its own transaction
            return c.Query(u"select case when now() = statement_timestamp() then 0 else 1 end")
                       ->rows.at(0)
                       .at(0)
                       .ToInt32() != 0;
        case Dialect::SqlServer:
            return c.Query(u"select @@TRANCOUNT")->rows.at(0).at(0).ToInt32() != 0;
    }
    return true;
}

// However a scan ends, it leaves no read open behind it on the till's connection (which stays
// open until the next call): no lock held for the managers, no old version kept for the next
// scan. A clean scan sends its begin and its queries, and nothing else: no commit of its own.
TEST_P(SharedDatabase, AScanLeavesNoReadOpenHoweverItEnds) {
    ASSERT_EQ(Import(1, false), u"");
    const struct {
        const char* what;
        int failAt;  // the query of the scan that fails: 0 none
        long number;
        std::u16string cut;
    } cases[] = {
        {"a clean scan", 0, 0, kCut[1]},
        {"its second query fails", 2, err::kProviderError, u"0936,,8246"},
        {"its second query's wait runs out", 2, err::kTimeout, u"0936,,"},
        {"its last query fails", 3, err::kProviderError, u"0936,70.75,"},
    };
    {
        RecordingBoxes warm;  // what the database says of itself is read by the first scan
        GetAnalyseBarCode analyser;
        analyser.ConnString(cs);
        ASSERT_EQ(analyser.ParseBarCode(u"A,B,C", kCode, u"FL"), kCut[1]);
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingBoxes boxes;
        int statements = 0, queries = 0;
        Connection::SetStatementHook([&](const std::u16string& sql) {
            ++statements;
            if (sql.find(u"lbid=") != std::u16string::npos && ++queries == c.failAt) {
                throw DbError(c.number, u"injected");
            }
        });
        GetAnalyseBarCode analyser;
        analyser.ConnString(cs);
        EXPECT_EQ(analyser.ParseBarCode(u"A,B,C", kCode, u"FL"), c.cut);
        Connection::SetStatementHook(nullptr);
        if (c.failAt == 0) {
            EXPECT_EQ(statements, 4);  // the begin and three queries
            EXPECT_TRUE(boxes.boxes.empty());
        } else {
            EXPECT_EQ(boxes.boxes.size(), 1u);
        }
        EXPECT_FALSE(DbConn().InTransaction());
        EXPECT_FALSE(DatabaseHasTransactionOpen());
        // A manager's change goes through at once, and the till's next scan sees it.
        const auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(ToUtf8(Import(2, true, 1)), "");
        EXPECT_LT(std::chrono::steady_clock::now() - t0, 900ms);
        EXPECT_EQ(analyser.ParseBarCode(u"A,B,C", kCode, u"FL"), kCut[2]);
        ASSERT_EQ(ToUtf8(Import(1, true)), "");
    }
}

// Rule MX mixes the two kinds, its GS1 level last: A at positions 1-4 and C from AI 01 in version
// 1, A at 5-8 and C from AI 17 in version 2. The GS1 level's AI is read by a statement of its own
// once its row shows its kind, which for the last level is after the read's commit; a change
// committed just then must not pair that AI with the older positions.
TEST_P(SharedDatabase, AMixedRuleWhoseGs1LevelIsLastIsCutByOneVersion) {
    auto mixed = [](int v) {
        tools::RuleSet set;
        tools::StoredRule r;
        r.gzid = u"MX";
        r.gzname = u"mixed";
        r.dnmid = u"";
        r.txmzws = 8;
        const int64_t start = v == 1 ? 1 : 5;
        for (int i = 0; i < 2; ++i) {
            tools::StoredLevel l;
            l.js = i + 1;
            l.lbid = i == 0 ? u"A" : u"C";
            l.startws = i == 0 ? start : 0;
            l.endws = i == 0 ? start + 3 : -1;
            l.xsws = 0;
            l.bz = i == 0 ? u"" : v == 1 ? u"GS1:01" : u"GS1:17";
            r.levels.push_back(std::move(l));
        }
        set.rules = {r};
        return set;
    };
    const std::u16string label = u"(01)09501101530003(17)270115";
    const std::u16string cut[] = {u"", u"(01),09501101530003", u"0950,270115"};
    for (int v : {1, 2}) {
        ASSERT_EQ(ToUtf8(Import(mixed(v), true)), "");
        GetAnalyseBarCode a;
        a.ConnString(cs);
        ASSERT_EQ(a.ParseBarCode(u"A,C", label, u"MX"), cut[v]);
    }
    ASSERT_EQ(ToUtf8(Import(mixed(1), true)), "");
    bool changed = false;
    Connection::SetStatementHook([&](const std::u16string& sql) {
        if (changed || sql.find(u"a.endws=-1") == std::u16string::npos) return;
        changed = true;  // before the import, whose statements come through here too
        EXPECT_EQ(ToUtf8(Import(mixed(2), true)), "");
    });
    RecordingBoxes boxes;
    GetAnalyseBarCode a;
    a.ConnString(cs);
    EXPECT_EQ(a.ParseBarCode(u"A,C", label, u"MX"), cut[2]);
    EXPECT_TRUE(changed);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_P(SharedDatabase, CheckReportsTwoHeadersAndALevelNumberTwiceAndReplaceLeavesOneHeader) {
    if (GetParam().schema == Schema::Ours) GTEST_SKIP() << "the keys refuse such rows";
    store->Exec({u"insert into txm_gzzb (gzid,gzname,dnmid,txmzws) values ('FL','x','21',8)",
                 u"insert into txm_gzzb (gzid,gzname,dnmid,txmzws) values ('FL','x','21',8)",
                 u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws,bz) values "
                 u"('FL',1,'A',1,4,0,'')",
                 u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws,bz) values "
                 u"('FL',1,'B',5,8,0,'')"});
    Connection c;
    c.Open(cs);
    std::vector<std::u16string> missing;
    const auto rules = tools::LoadRules(c, {}, missing);
    ASSERT_EQ(rules.size(), 1u);
    std::vector<std::string> codes;
    for (const auto& f : tools::CheckRule(rules[0], tools::StoreCategories(c))) {
        codes.push_back(f.code + (f.breaks ? "" : " (tills unaffected)"));
    }
    EXPECT_EQ(codes, (std::vector<std::string>{"duplicate-header",
                                               "duplicate-level-number (tills unaffected)"}));
    EXPECT_EQ(Import(2, true), u"");
    EXPECT_EQ(Stored(), 2);
}

INSTANTIATE_TEST_SUITE_P(Stores, SharedDatabase, ::testing::ValuesIn(EveryTargetAndSchema()),
                         StoreParamName);

}  // namespace
