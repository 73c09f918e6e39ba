// The maintenance entry and the rule browser, driven through ClsUse.Show like the host does.
#include "store/db_helpers.h"
#include "store/module_state.h"
#include "ui/cls_use.h"
#include "ui_support.h"

using namespace quorvel;
using namespace quorvel::test;
using namespace quorvel::ui;

namespace {

FrmTXM& Browser(Window& w) {
    return dynamic_cast<FrmTXM&>(w);
}
FrmDefine& Editor(Window& w) {
    return dynamic_cast<FrmDefine&>(w);
}

class BrowserOnTargets : public UiOnTargets {
  protected:
    void Show(std::function<void(FrmTXM&)> script) {
        host.scripts.push_back([script](Window& w) { script(Browser(w)); });
        ClsUse use;
        use.ConnString(store->ConnString());
        use.ConnectionTime(5);
        use.Show();
    }
};

TEST_P(BrowserOnTargets, DefineThroughTheBrowserThenDeleteTheRule) {
    Exec({u"insert into txm_gzzb (gzid,gzname,dnmid,txmzws) values ('ab1','小写','2',0)"});
    Show([&](FrmTXM& b) {
        ASSERT_EQ(b.LstGz.ListCount(), 1);
        EXPECT_EQ(b.LstGz.Text(), u"ab1|小写");
        EXPECT_EQ(b.vsfGrid.Rows(), 1);

        host.scripts.push_back([&](Window& e) {
            FrmDefine& d = Editor(e);
            EXPECT_TRUE(d.NewRuleMode);
            EXPECT_EQ(d.CurGzid, u"");
            d.Type(u"Z7");
            d.PressKey(key::kEnter);
            d.Type(u"名");
            d.PressKey(key::kEnter);
            d.PressKey(key::kEnter);
            d.Type(u"a");
            picker.choose = [](const auto&) { return std::optional<size_t>(0); };
            d.PressKey(key::kEnter);
            d.PressKey(key::kEnter);
            d.PressKey(key::kEnter);
            d.PressKey(key::kEnter);  // the button: the preset end 0 lies before the start 1
            d.PressKey(key::kEsc);
        });
        b.PressKey(key::kEnter);
        EXPECT_EQ(b.Editor(), nullptr);     // the editor dropped itself
        EXPECT_EQ(b.LstGz.ListCount(), 1);  // the end 0 was refused, nothing stored

        host.scripts.push_back([&](Window& e) {
            FrmDefine& d = Editor(e);
            EXPECT_FALSE(d.NewRuleMode);
            EXPECT_EQ(d.CurGzid, u"AB1");  // the list part comes back upper-cased
            EXPECT_EQ(d.TxtGZName.Text(), u"小写");
            d.txtClassId.SetText(u"A");
            d.txtEndWs.SetText(u"3");
            d.ClickOn(d.CmdSave);
        });
        b.PressKey(key::kF3, shift::kShift);
        EXPECT_EQ(b.LstGz.ListIndex(), 0);
        EXPECT_EQ(b.vsfGrid.Rows(), 2);
        EXPECT_EQ(b.vsfGrid.TextMatrix(0, 2), u"级数");
        EXPECT_EQ(b.vsfGrid.TextMatrix(1, 0), u"");
        EXPECT_EQ(b.vsfGrid.TextMatrix(1, 3), u"商品编码");

        boxes.answers = {mb::kYes};
        b.PressKey(key::kDelete);
        EXPECT_EQ(b.LstGz.ListCount(), 0);
        EXPECT_EQ(b.vsfGrid.Rows(), 1);
    });
    EXPECT_EQ(host.shown, (std::vector<std::u16string>{u"FrmTXM", u"FrmDefine", u"FrmDefine"}));
    ASSERT_GE(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[0].prompt, u"结束位数必须大于开始位数！");
    EXPECT_EQ(boxes.boxes.back().prompt, u"您确定要删除规则编号为[AB1]的所有数据吗？[Y/N]");
    EXPECT_EQ(boxes.boxes.back().buttons, 292);
    EXPECT_TRUE(Header(u"ab1").empty());
    EXPECT_TRUE(Levels(u"ab1").empty());
    EXPECT_EQ(Module().DbConn, nullptr);  // ClsUse's end closed the shared connection
}

INSTANTIATE_TEST_SUITE_P(Stores, BrowserOnTargets, ::testing::Range<size_t>(0, Targets().size()),
                         [](const auto& info) { return Targets()[info.param].name; });

class RuleBrowser : public UiScenario {
  protected:
    void Show(std::function<void(FrmTXM&)> script) {
        host.scripts.push_back([script](Window& w) { script(Browser(w)); });
        ClsUse use;
        use.ConnString(store->ConnString());
        use.Show();
    }
};

TEST_F(RuleBrowser, AnEmptyTableStillOffersEveryAction) {
    Show([&](FrmTXM& b) {
        EXPECT_EQ(b.LstGz.ListCount(), 0);
        EXPECT_EQ(b.vsfGrid.Rows(), 1);
        EXPECT_EQ(b.vsfGrid.TextMatrix(0, 1), u"规则编号");
        host.scripts.push_back([](Window& e) { EXPECT_TRUE(Editor(e).NewRuleMode); });
        b.PressKey(key::kEnter);
        host.scripts.push_back([](Window& e) {
            EXPECT_FALSE(Editor(e).NewRuleMode);
            EXPECT_EQ(Editor(e).CurGzid, u"");
            EXPECT_TRUE(Editor(e).TxtGZID.Enabled());
        });
        b.ClickToolbar(b.Tlb, u"修改");
        b.PressKey(key::kDelete);
        b.ClickToolbar(b.Tlb, u"删除");
    });
    EXPECT_EQ(host.shown.size(), 3u);
    EXPECT_TRUE(boxes.boxes.empty());  // the deletes asked nothing
}

TEST_F(RuleBrowser, ListEntriesAndTheLevelsOfTheCurrentRule) {
    SeedR4();
    Exec({u"insert into txm_gzzb (gzid,gzname,dnmid,txmzws) values ('S|X',null,'',0)",
          u"insert into txm_gzzb (gzid,gzname,dnmid,txmzws) values ('T','a|b','',0)",
          u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws) values ('T',1,'A',1,2,null)",
          u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws) values ('T',2,'K',3,4,0)",
          u"insert into txm_gzmx (gzid,js,lbid,startws,endws,xsws) values ('T',3,'GONE',5,6,0)"});
    Show([&](FrmTXM& b) {
        std::vector<std::u16string> items;
        for (int32_t i = 0; i < b.LstGz.ListCount(); ++i) items.push_back(b.LstGz.List(i));
        std::sort(items.begin(), items.end());
        EXPECT_EQ(items, (std::vector<std::u16string>{u"R4|四级", u"S|X|", u"T|a|b"}));
        EXPECT_EQ(b.LstGz.ListIndex(), 0);
        for (int32_t i = 0; i < b.LstGz.ListCount(); ++i) {
            if (b.LstGz.List(i) != u"T|a|b") continue;
            b.ClickOn(b.LstGz);
            b.LstGz.SetListIndex(i);
        }
        // Only the level with a segment category shows; a missing xsws shows as 0.
        ASSERT_EQ(b.vsfGrid.Rows(), 2);
        EXPECT_EQ(b.vsfGrid.TextMatrix(1, 1), u"T");
        EXPECT_EQ(b.vsfGrid.TextMatrix(1, 6), u"0");
        host.scripts.push_back([](Window& e) { EXPECT_EQ(Editor(e).CurGzid, u"T"); });
        b.PressKey(key::kF3);               // a name holding the delimiter does not change the id
        EXPECT_EQ(b.LstGz.ListIndex(), 0);  // refilled, the first rule current again
    });
}

TEST_F(RuleBrowser, AnsweringNoDeletesNothingButRefreshes) {
    SeedR4();
    const std::u16string before = Dump();
    Show([&](FrmTXM& b) {
        EXPECT_EQ(b.vsfGrid.Rows(), 5);
        boxes.answers = {mb::kNo};
        b.ClickToolbar(b.Tlb, u"删除");
        EXPECT_EQ(b.LstGz.ListIndex(), 0);
        EXPECT_EQ(b.vsfGrid.Rows(), 1);  // emptied all the same
        b.ClickToolbar(b.Tlb, u"退出");
        EXPECT_FALSE(b.IsOpen());
    });
    EXPECT_EQ(Dump(), before);
    EXPECT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(Module().DbRs, nullptr);  // released on unload
}

TEST_F(RuleBrowser, EscClosesAndShowAgainGivesAFreshWindow) {
    SeedR4();
    host.scripts.push_back([](Window& w) {
        w.PressKey(key::kEsc);
        EXPECT_FALSE(w.IsOpen());
    });
    ClsUse use;
    use.ConnString(store->ConnString());
    use.Show();
    EXPECT_FALSE(use.Showing());
    Exec({u"delete from txm_gzzb"});
    host.scripts.push_back([](Window& w) { EXPECT_EQ(Browser(w).LstGz.ListCount(), 0); });
    use.Show();
    EXPECT_EQ(host.shown.size(), 2u);
    // A Show while the browser is open returns at once and leaves the open browser alone.
    host.scripts.push_back([&](Window& w) {
        use.Show();
        EXPECT_TRUE(w.IsOpen());
        EXPECT_EQ(Browser(w).LstGz.ListCount(), 0);
    });
    use.Show();
    EXPECT_EQ(host.shown.size(), 3u);
    EXPECT_NE(Module().DbConn, nullptr);  // the connection stays open until the object ends
}

TEST_F(RuleBrowser, AConnectionFailureStillOpensTheBrowser) {
    host.scripts.push_back([](Window& w) {
        EXPECT_EQ(Browser(w).LstGz.ListCount(), 0);
        EXPECT_EQ(Browser(w).vsfGrid.Rows(), 1);
    });
    ClsUse use;
    use.ConnString(u"Provider=Nothing;Data Source=nowhere");
    use.Show();
    EXPECT_EQ(host.shown.size(), 1u);
    ASSERT_GE(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[0].prompt, u"数据库连接失败,请与管理员联系!");
    EXPECT_EQ(boxes.boxes[0].title, u"错误：");
    bool listMessage = false;
    for (const auto& box : boxes.boxes) {
        if (box.title == u"提示:" && box.prompt.ends_with(u"\n添加列表失败,请与管理员联系！"))
            listMessage = true;
    }
    EXPECT_TRUE(listMessage);
}

}  // namespace
