// How long the editor and the browser take on the embedded store: a save that moves every
// later level, opening the editor on a long rule, and refilling the browser's list.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "store/connection.h"
#include "store/connstring.h"
#include "store/db_helpers.h"
#include "store/message_box.h"
#include "store/module_state.h"
#include "store/schema.h"
#include "store/text.h"
#include "ui/frm_define.h"
#include "ui/frm_txm.h"

using namespace quorvel;

namespace {

class SilentBoxes final : public MessageBoxes {
  public:
    int Show(std::u16string_view, int, std::u16string_view) override {
        ++shown;
        return mb::kOk;
    }
    int shown = 0;
};

// A fresh store with `rules` rules of `levels` two-digit levels each.
class Store {
  public:
    Store(int rules, int levels) {
        path_ = (std::filesystem::temp_directory_path() /
                 ("quorvel-ui-bench-" + std::to_string(getpid()) + "-" +
                  std::to_string(++counter_) + ".db"))
                    .string();
        CreateSqliteStore(path_, false);
        Connection c;
        c.Open(ConnString());
        c.BeginTrans();
        c.Execute(u"insert into glsx (id,name,fid) values ('A','商品编码',1006)");
        for (int r = 0; r < rules; ++r) {
            std::u16string id = u"R";  // appended: GCC 12 at -O3 misreads "R" + text
            id += ToU16(r);
            c.Execute(u"insert into txm_gzzb (gzid,gzname,dnmid,txmzws) values ('" + id +
                      u"','n','2'," + ToU16(levels * 2) + u")");
            for (int j = 1; j <= levels; ++j) {
                c.Execute(u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws) values ('" + id +
                          u"'," + ToU16(j) + u",'A'," + ToU16(2 * j - 1) + u"," + ToU16(2 * j) +
                          u",0)");
            }
        }
        c.CommitTrans();
        c.Close();
        Module() = ModuleState{};
        Module().ConnString = ConnString();
        OpenConnection(ConnString());
        SetMessageBoxes(&boxes);
    }
    ~Store() {
        SetMessageBoxes(nullptr);
        CloseConnection();
        Module() = ModuleState{};
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    std::u16string ConnString() const { return EmbeddedConnString(path_); }
    SilentBoxes boxes;

  private:
    std::string path_;
    static inline int counter_ = 0;
};

void BM_SaveAmendShiftingLaterLevels(benchmark::State& state) {
    const int levels = static_cast<int>(state.range(0));
    Store store(1, levels);
    ui::FrmDefine w;
    w.Gzid(FieldValue::Text(u"R0"));
    w.BeginModal();
    bool longer = true;
    for (auto _ : state) {
        w.vsfGrid.SetRow(1);
        w.vsfGrid_DblClick();
        w.txtEndWs.SetText(longer ? u"3" : u"2");
        longer = !longer;
        w.CmdSave_Click();
    }
    if (store.boxes.shown != 0) state.SkipWithError("the save complained");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SaveAmendShiftingLaterLevels)->Arg(4)->Arg(100)->Unit(benchmark::kMicrosecond);

void BM_OpenEditorOnARule(benchmark::State& state) {
    const int levels = static_cast<int>(state.range(0));
    Store store(1, levels);
    for (auto _ : state) {
        ui::FrmDefine w;
        w.Gzid(FieldValue::Text(u"R0"));
        w.BeginModal();
        benchmark::DoNotOptimize(w.vsfGrid.Rows());
        w.EndModal();
    }
    if (store.boxes.shown != 0) state.SkipWithError("the load complained");
}
BENCHMARK(BM_OpenEditorOnARule)->Arg(4)->Arg(100)->Unit(benchmark::kMicrosecond);

void BM_FillRuleList(benchmark::State& state) {
    const int rules = static_cast<int>(state.range(0));
    Store store(rules, 2);
    ui::FrmTXM browser;
    browser.BeginModal();
    for (auto _ : state) {
        ui::FillRuleList(browser);
        benchmark::DoNotOptimize(browser.LstGz.ListCount());
    }
    if (browser.LstGz.ListCount() != rules) state.SkipWithError("the list is incomplete");
    browser.EndModal();
}
BENCHMARK(BM_FillRuleList)->Arg(10)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
