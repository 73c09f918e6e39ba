// The editor's test window (F5): for the rule as the fields stand, saved or not, it shows what a
// till gets; after the save, ParseBarCode returns exactly those values.
#include "service/analyser.h"
#include "store/db_helpers.h"
#include "store/module_state.h"
#include "ui/frm_test.h"
#include "ui/picker_dialog.h"
#include "ui_support.h"

using namespace quorvel;
using namespace quorvel::test;
using namespace quorvel::ui;

namespace {

struct Shown {
    std::vector<std::vector<std::u16string>> rows;  // level, category, ..., value
    std::vector<std::u16string> notes;
};

class TestWindowOnTargets : public UiOnTargets {
  protected:
    // F5, the label scanned (typed and Enter), what the window shows, then Esc.
    Shown Test(FrmDefine& editor, const std::u16string& label) {
        Shown s;
        Control* before = editor.Focused();
        host.scripts.push_back([&](Window& w) {
            auto& t = static_cast<FrmTest&>(w);
            EXPECT_EQ(t.Focused(), &t.txtTxm);
            t.Type(label);
            t.PressKey(key::kEnter);
            for (int32_t r = 1; r < t.vsfLevels.Rows(); ++r) {
                std::vector<std::u16string> row;
                for (int32_t c = 1; c < t.vsfLevels.Cols(); ++c)
                    row.push_back(t.vsfLevels.TextMatrix(r, c));
                s.rows.push_back(std::move(row));
            }
            for (int32_t i = 0; i < t.lstNotes.ListCount(); ++i)
                s.notes.push_back(t.lstNotes.List(i));
            t.PressKey(key::kEsc);
            EXPECT_FALSE(t.IsOpen());
        });
        editor.PressKey(key::kF5);
        EXPECT_EQ(host.shown.back(), u"FrmTest");
        EXPECT_EQ(editor.Focused(), before) << "the focus is back where it was";
        return s;
    }
    void LoadLevel(FrmDefine& w, int js) {
        w.vsfGrid.SetRow(RowOfLevel(w.vsfGrid, js));
        w.PressKey(key::kF3);
    }
    static bool Has(const Shown& s, std::u16string_view note) {
        for (const auto& n : s.notes) {
            if (n.find(note) != std::u16string::npos) return true;
        }
        return false;
    }
};

TEST_P(TestWindowOnTargets, ShowsWhatParseBarCodeReturnsOnceSaved) {
    SeedR4();  // in-store code 21; A 1-4, B 5-8 (2), W 9-12 (3), P 13-14
    Exec({u"insert into glsx (id,name,fid) values ('C','件数',1006)"});
    struct Case {
        const char* what;
        std::function<void(FrmDefine&)> edit;
        std::u16string label;
        std::u16string note;  // a note the window must show; empty for none
    };
    const Case cases[] = {
        {"level 2 widened with a point moved: the levels behind it move",
         [&](FrmDefine& w) {
             LoadLevel(w, 2);
             Retype(w, w.txtEndWs, u"9");
             Retype(w, w.txtXsWs, u"1");
         },
         u"2112345678901234567", u""},
        {"the in-store code changed while a level is loaded",
         [&](FrmDefine& w) {
             LoadLevel(w, 1);
             Retype(w, w.txtDnmid, u"2");
         },
         u"2123456789012345", u""},
        {"a new level, and a label that ends inside it",
         [&](FrmDefine& w) {
             w.ClickOn(w.txtClassId);
             w.Type(u"C");
             Retype(w, w.txtEndWs, u"18");
             Retype(w, w.txtXsWs, u"2");
         },
         u"211234567890123456", u"第 5 级 (C)：条码太短"},
        {"the in-store code changed while a level is appended: the stored one stays",
         [&](FrmDefine& w) {
             Retype(w, w.txtDnmid, u"9");
             w.ClickOn(w.txtClassId);
             w.Type(u"C");
             Retype(w, w.txtEndWs, u"15");
         },
         u"2100001111222233445", u"仍是 21"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Exec({u"delete from txm_gzmx", u"delete from txm_gzzb"});
        SeedR4();
        auto w = OpenEditor(false, u"R4");
        c.edit(*w);
        const std::u16string stored = Dump();
        const Shown s = Test(*w, c.label);
        EXPECT_EQ(Dump(), stored) << "testing stores nothing";
        if (!c.note.empty()) {
            EXPECT_TRUE(Has(s, c.note)) << ToUtf8(c.note);
        }

        w->ClickOn(w->CmdSave);
        ASSERT_EQ(s.rows.size(), Levels(u"R4").size());
        GetAnalyseBarCode a;
        for (const auto& row : s.rows) {
            const std::u16string lbid = row.at(1).substr(0, row.at(1).find(u' '));
            EXPECT_EQ(row.back(), a.ParseBarCode(lbid, c.label, u"R4"))
                << "level " << ToUtf8(row[0]) << " " << ToUtf8(lbid);
        }
        OpenConnection(Module().ConnString);  // the analyser's object closed the shared one
    }
}

TEST_P(TestWindowOnTargets, SaysCheckDigitStoreCodeVerifierAndFindingsInStaffWords) {
    Exec({
        u"insert into txm_gzzb (gzid,gzname,dnmid,txmzws) values ('V','称重','29',10)",
        u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws) values ('V',1,'A',1,4,0)",
        u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws) values ('V',2,'W',6,10,3)",
    });
    auto w = OpenEditor(false, u"V");
    w->ClickOn(w->txtClassId);
    w->Type(u"P");
    Retype(*w, w->txtEndWs, u"11");  // unsaved: a third level, one digit with three decimals
    Retype(*w, w->txtXsWs, u"3");
    const std::vector<std::u16string> valid = {
        u"校验位：0 是有效的 EAN-13 校验位", u"店内码：条码以店内码 29 开头",
        u"第 2 级 (W)：前面的第 5 位 7 是 01250 的有效计量校验位",  // W is 重量: a measure
    };
    Shown s = Test(*w, u"2912347012500");
    EXPECT_EQ(std::vector<std::u16string>(s.notes.begin(), s.notes.begin() + 3), valid);
    EXPECT_TRUE(Has(s, u"规则检查：第 3 级 (P)：小数位数与位数不符，小数点不会插入"));
    EXPECT_EQ(s.rows.at(1).back(), u"01.250");

    s = Test(*w, u"1912340012501");
    EXPECT_EQ(s.notes.at(0), u"校验位：1 不是有效的 EAN-13 校验位，应为 8");
    EXPECT_EQ(s.notes.at(1), u"店内码：条码不以店内码 29 开头，收银台照样截取");
    EXPECT_EQ(s.notes.at(2),
              u"第 2 级 (W)：前面的第 5 位 0 不是 01250 的有效计量校验位，应为 7，收银台照样截取");
}

// A GS1 rule typed in by keyboard alone, the AI typed, narrowed from what was typed, or picked
// from the whole table; the window then cuts a scanned 2D label by AI as ParseBarCode does, and
// says what is wrong with the label in staff's words.
TEST_P(TestWindowOnTargets, AGs1RuleDefinedByKeyboardCutsScannedLabels) {
    auto w = OpenEditor(true);
    for (const char16_t* header : {u"G", u"生鲜", u""}) {
        w->Type(header);
        w->PressKey(key::kEnter);
    }
    const struct {
        std::u16string category, typed, picked, shown, title;
        size_t offered;  // rows the AI list offered; 0: not shown
    } levels[] = {
        // Full-width, as an input method left in Chinese mode types it.
        {u"A", u"０１", u"", u"01", u"GTIN", 0},
        {u"W", u"31", u"3103", u"3103", u"NET WEIGHT (kg)", 42},  // 310n to 316n, six each
        {u"B", u"", u"3922", u"3922", u"PRICE", 0},
    };
    for (const auto& l : levels) {
        SCOPED_TRACE(ToUtf8(l.category));
        ASSERT_EQ(w->Focused(), &w->txtClassId);
        picker.choose = [&](const ScriptedPicker::Call&) { return std::optional<size_t>(0); };
        w->Type(l.category);
        w->PressKey(key::kEnter);
        w->PressKey(key::kF6);
        ASSERT_EQ(w->Focused(), &w->txtAi);
        size_t offered = 0;
        if (!l.picked.empty()) {
            host.scripts.push_back([&](Window& win) {
                auto& p = static_cast<FrmPicker&>(win);
                offered = static_cast<size_t>(p.vsfList.Rows() - 1);
                for (int32_t r = 1; r < p.vsfList.Rows(); ++r) {
                    if (p.vsfList.TextMatrix(r, 1) == l.picked) p.vsfList.SetRow(r);
                }
                p.PressKey(key::kEnter);
            });
        }
        w->Type(l.typed);
        w->PressKey(key::kEnter);
        EXPECT_EQ(w->txtAi.Text(), l.shown);
        EXPECT_EQ(w->txtAiName.Text(), l.title);
        if (l.offered) {
            EXPECT_EQ(offered, l.offered);
        }
        if (l.typed.empty()) {
            EXPECT_GT(offered, 300u) << "every AI of the table";
        }
        ASSERT_EQ(w->Focused(), &w->CmdSave) << "a GS1 level has no positions to type";
        w->PressKey(key::kEnter);
    }
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(Levels(u"G"), (std::vector<LevelRow>{
                                {u"G", 1, u"A", 0, -1, 0},
                                {u"G", 2, u"W", 0, -1, 0},
                                {u"G", 3, u"B", 0, -1, 0},
                            }));
    std::vector<std::u16string> remarks;
    const auto stored = Query(u"select bz from txm_gzmx where gzid='G' order by js");
    for (const auto& r : stored->rows) remarks.push_back(FieldText(r[0]));
    EXPECT_EQ(remarks, (std::vector<std::u16string>{u"GS1:01", u"GS1:3103", u"GS1:3922"}));
    EXPECT_EQ(w->txtAi.Text(), u"") << "the next level is one of positions until told else";
    EXPECT_EQ(Header(u"G").at(3), u"0") << "a rule of GS1 levels alone has no positions";
    EXPECT_EQ(w->txtStartWs.Text(), u"1");

    const std::u16string gs(1, 0x1D);
    const struct {
        std::u16string label;
        std::vector<std::u16string> findings;
    } cases[] = {
        {u"]d2" + gs + u"0109501101530003310300125039221234" + gs + u"17270115",
         {u"GS1 标签：没有发现问题"}},
        {u"(01)09501101530004(3103)001250(3922)1234(17)271315",
         {u"GS1 标签：AI 01 (GTIN) 09501101530004 的校验位不正确",
          u"GS1 标签：AI 17 (USE BY or EXPIRY) 271315 不是有效日期（YYMMDD）"}},
    };
    GetAnalyseBarCode analyser;
    analyser.ConnString(store->ConnString());
    for (const auto& c : cases) {
        Shown s = Test(*w, c.label);
        ASSERT_EQ(s.rows.size(), 3u);
        const std::u16string tillGets = analyser.ParseBarCode(u"A,W,B", c.label, u"G");
        EXPECT_EQ(s.rows[0].back() + u"," + s.rows[1].back() + u"," + s.rows[2].back(), tillGets);
        for (const auto& f : c.findings) EXPECT_TRUE(Has(s, f)) << ToUtf8(f);
    }
    EXPECT_EQ(analyser.ParseBarCode(u"A,W,B", cases[0].label, u"G"),
              u"09501101530003,001.250,12.34");

    // Amending a GS1 level shows its AI; a scanner's substitute for GS is typed after a colon.
    LoadLevel(*w, 2);
    EXPECT_EQ(w->Focused(), &w->txtAi);
    EXPECT_EQ(w->txtAi.Text(), u"3103");
    EXPECT_EQ(w->txtAiName.Text(), u"NET WEIGHT (kg)");
    w->Type(u"3102：～");  // the colon and tilde of an input method in Chinese mode
    const Shown s = Test(*w, u"0109501101530003~3102012345~10X");
    EXPECT_EQ(s.rows.at(1).back(), u"0123.45") << "the window cuts the rule as the fields stand";
    w->PressKey(key::kEnter);
    w->PressKey(key::kEnter);
    EXPECT_EQ(FieldText(Query(u"select bz from txm_gzmx where gzid='G' and js=2")->rows[0][0]),
              u"GS1:3102:~");
    EXPECT_EQ(Levels(u"G").at(1), (LevelRow{u"G", 2, u"W", 0, -1, 0}));
}

// What the save refuses of a GS1 level, and what deleting or widening a position level of a rule
// that mixes both kinds does to its GS1 levels: nothing.
TEST_P(TestWindowOnTargets, Gs1LevelsTheSaveRefusesAndTheShiftsOfPositionLevelsLeaveAlone) {
    SeedR4();
    Exec({u"insert into glsx (id,name,fid) values ('C','批号',1006)",
          u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws,bz) values "
          u"('R4',5,'C',0,-1,0,'GS1:10')"});
    auto w = OpenEditor(false, u"R4");
    const struct {
        int amend;  // the level loaded first; 0: appended
        std::u16string ai, refusal;
    } refused[] = {
        {0, u"12345", u"GS1 AI 无效"},
        {0, u"10:abcde", u"GS1 AI 无效"},  // a substitute of more than four characters
        {5, u"", u"GS1 明细不能改为按位数截取的明细"},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(ToUtf8(r.ai));
        if (r.amend) LoadLevel(*w, r.amend);
        w->ClickOn(w->txtClassId);
        w->Type(u"P");
        w->ClickOn(w->txtAi);
        if (r.ai.empty()) {
            w->PressKey(key::kBack);
        } else {
            w->Type(r.ai);
        }
        Retype(*w, w->txtEndWs, u"20");
        const std::u16string stored = Dump();
        const Shown s = Test(*w, u"10ABC");
        EXPECT_TRUE(Has(s, u"保存会被拒绝")) << "F5 says so before the save";
        boxes.boxes.clear();
        w->ClickOn(w->CmdSave);
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_NE(boxes.boxes[0].prompt.find(r.refusal), std::u16string::npos);
        EXPECT_EQ(w->Focused(), &w->txtAi);
        EXPECT_EQ(Dump(), stored);
    }

    w = OpenEditor(false, u"R4");
    LoadLevel(*w, 1);
    Retype(*w, w->txtEndWs, u"5");  // the levels behind move by one
    w->ClickOn(w->CmdSave);
    boxes.answers.push_back(mb::kYes);
    w->vsfGrid.SetRow(RowOfLevel(w->vsfGrid, 2));
    w->PressKey(key::kDelete);  // and back by the four of level 2
    EXPECT_EQ(Levels(u"R4"), (std::vector<LevelRow>{
                                 {u"R4", 1, u"A", 1, 5, 0},
                                 {u"R4", 3, u"W", 6, 9, 3},
                                 {u"R4", 4, u"P", 10, 11, 0},
                                 {u"R4", 5, u"C", 0, -1, 0},
                             }));
}

INSTANTIATE_TEST_SUITE_P(Stores, TestWindowOnTargets, ::testing::Range<size_t>(0, Targets().size()),
                         [](const auto& info) { return Targets()[info.param].name; });

}  // namespace
