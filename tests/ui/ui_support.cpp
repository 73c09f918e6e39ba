#include "ui_support.h"

#include <algorithm>

#include "store/connection.h"
#include "store/db_helpers.h"
#include "store/dialect.h"
#include "store/error.h"
#include "store/module_state.h"
#include "store/text.h"

namespace quorvel::test {

ScriptedHost::ScriptedHost() {
    ui::SetWindowHost(this);
}
ScriptedHost::~ScriptedHost() {
    ui::SetWindowHost(nullptr);
}

void ScriptedHost::ShowModal(ui::Window& w) {
    shown.push_back(w.Name());
    if (w.BeginModal() && !scripts.empty()) {
        auto script = std::move(scripts.front());
        scripts.pop_front();
        script(w);
    }
    w.EndModal();
}

namespace {

class PickerObject final : public ui::RecordPicker {
  public:
    explicit PickerObject(ScriptedPicker& owner) : owner_(owner) {}
    void SetConnString(const std::u16string& cs) override { call_.connString = cs; }
    void SetSql(const std::u16string& sql) override { call_.sql = sql; }
    void SetOption(int16_t option) override { call_.option = option; }
    void Show() override {
        Connection c;
        c.Open(call_.connString);
        auto data = c.Query(call_.sql);
        for (const auto& row : data->rows) {
            std::vector<std::u16string> texts;
            for (const auto& v : row) texts.push_back(v.IsNull() ? u"" : v.ToText());
            call_.rows.push_back(std::move(texts));
        }
        owner_.calls.push_back(call_);
        if (owner_.fixedResult) {
            result_ = *owner_.fixedResult;
            return;
        }
        std::optional<size_t> pick = owner_.choose ? owner_.choose(call_) : std::nullopt;
        if (pick && *pick < call_.rows.size()) {
            const auto& r = call_.rows[*pick];
            result_ = std::vector<FieldValue>{FieldValue::I16(1), FieldValue::Text(r.at(0)),
                                              FieldValue::Text(r.at(1))};
        } else {
            result_ = std::vector<FieldValue>{FieldValue::I16(0), FieldValue::Text(u""),
                                              FieldValue::Text(u"")};
        }
    }
    ui::PickValue Result() const override { return result_; }

  private:
    ScriptedPicker& owner_;
    ScriptedPicker::Call call_;
    ui::PickValue result_;
};

}  // namespace

ScriptedPicker::ScriptedPicker() {
    ui::SetRecordPickerFactory([this]() -> std::unique_ptr<ui::RecordPicker> {
        if (failToCreate) return nullptr;
        return std::make_unique<PickerObject>(*this);
    });
}
ScriptedPicker::~ScriptedPicker() {
    ui::SetRecordPickerFactory(nullptr);
}

StatementTrap::StatementTrap(int failAt) {
    Connection::SetStatementHook([this, failAt](const std::u16string& sql) {
        ++count;
        statements.push_back(sql);
        if (count == failAt) {
            fired = true;
            throw DbError(err::kProviderError, kInjected);
        }
    });
}
StatementTrap::~StatementTrap() {
    Connection::SetStatementHook(nullptr);
}

void PrintTo(const LevelRow& r, std::ostream* os) {
    *os << ToUtf8(r.gzid) << "/" << r.js << " " << ToUtf8(r.lbid) << " " << r.startws << "-"
        << r.endws << "." << r.xsws;
}

void UiScenario::SetUp() {
    Module() = ModuleState{};
    store = Targets()[target_].create(Schema::Ours);
    Exec({
        u"insert into glsx (id,name,fid) values ('A','商品编码',1006)",
        u"insert into glsx (id,name,fid) values ('B','金额',1006)",
        u"insert into glsx (id,name,fid) values ('W','重量',1006)",
        u"insert into glsx (id,name,fid) values ('P','单价',1006)",
        u"insert into glsx (id,name,fid) values ('K','千克',1002)",
    });
    Module().ConnString = store->ConnString();
}

void UiScenario::TearDown() {
    Connection::SetStatementHook(nullptr);
    CloseConnection();
    Module() = ModuleState{};
    store.reset();
}

std::shared_ptr<const ResultData> UiScenario::Query(const std::u16string& sql) {
    Connection c;
    c.Open(store->ConnString());
    return c.Query(sql);
}

namespace {
std::u16string CellText(const FieldValue& v) {
    return v.IsNull() ? u"<null>" : v.ToText();
}
}  // namespace

std::u16string UiScenario::Dump() {
    std::u16string out;
    for (const char16_t* sql :
         {u"select gzid,gzname,dnmid,txmzws from txm_gzzb order by gzid",
          u"select gzid,js,lbid,startws,endws,xsws,bz from txm_gzmx order by gzid,js"}) {
        const auto data = Query(sql);
        for (const auto& row : data->rows) {
            for (const auto& v : row) out += CellText(v) + u"|";
            out += u"\n";
        }
        out += u"--\n";
    }
    return out;
}

std::vector<LevelRow> UiScenario::Levels(const std::u16string& gzid) {
    std::vector<LevelRow> out;
    auto data = Query(u"select gzid,js,lbid,startws,endws,xsws from txm_gzmx where gzid=" +
                      SqlQuote(gzid) + u" order by js");
    auto n = [](const FieldValue& v) { return v.IsNull() ? -1 : v.ToInt32(); };
    for (const auto& r : data->rows) {
        out.push_back({r[0].ToText(), n(r[1]), r[2].ToText(), n(r[3]), n(r[4]), n(r[5])});
    }
    return out;
}

std::vector<std::u16string> UiScenario::Header(const std::u16string& gzid) {
    auto data =
        Query(u"select gzid,gzname,dnmid,txmzws from txm_gzzb where gzid=" + SqlQuote(gzid));
    if (data->rows.empty()) return {};
    std::vector<std::u16string> out;
    for (const auto& v : data->rows[0]) out.push_back(CellText(v));
    return out;
}

void UiScenario::SeedR4() {
    Exec({
        u"insert into txm_gzzb (gzid,gzname,dnmid,txmzws) values ('R4','四级','21',14)",
        u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws,bz) values ('R4',1,'A',1,4,0,'x')",
        u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws,bz) values ('R4',2,'B',5,8,2,'x')",
        u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws,bz) values ('R4',3,'W',9,12,3,'x')",
        u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws,bz) values "
        u"('R4',4,'P',13,14,0,'x')",
    });
}

std::unique_ptr<ui::FrmDefine> UiScenario::OpenEditor(bool newRule, const std::u16string& gzid) {
    OpenConnection(Module().ConnString);
    auto w = std::make_unique<ui::FrmDefine>();
    w->NewRuleMode = newRule;
    if (!newRule) w->Gzid(FieldValue::Text(gzid));
    EXPECT_TRUE(w->BeginModal());
    w->TickTimers();
    return w;
}

int32_t UiScenario::RowOfLevel(const ui::Grid& grid, int js) {
    for (int32_t r = 1; r < grid.Rows(); ++r) {
        if (grid.TextMatrix(r, 2) == ToU16(js)) return r;
    }
    ADD_FAILURE() << "no grid row for level " << js;
    return 1;
}

std::vector<int> UiScenario::GridLevels(const ui::Grid& grid) {
    std::vector<int> out;
    for (int32_t r = 1; r < grid.Rows(); ++r)
        out.push_back(FieldValue::Text(grid.TextMatrix(r, 2)).ToInt16());
    std::sort(out.begin(), out.end());
    return out;
}

void UiScenario::Retype(ui::Window& w, ui::TextBox& box, std::u16string_view text) {
    if (!box.HasFocus()) w.ClickOn(box);
    if (!box.HasFocus()) {
        // Keys would go elsewhere: erasing until the box is empty would never end.
        ADD_FAILURE() << "the focus does not reach " << ToUtf8(box.Name());
        return;
    }
    EXPECT_EQ(box.SelText(), box.Text()) << "entering a numeric box selects its whole text";
    w.Type(text);
}

}  // namespace quorvel::test
