#include "ui/frm_test.h"

#include <algorithm>

#include "store/text.h"
#include "tools/explain.h"
#include "tools/label_digits.h"
#include "ui/window_helpers.h"

namespace quorvel::ui {

namespace {

std::u16string Num(int64_t n) {
    return ToU16(n);
}

const tools::StoredLevel* LevelNumbered(const tools::StoredRule& rule, const tools::Number& js) {
    for (const auto& l : rule.levels) {
        if (js && l.js == js) return &l;
    }
    return nullptr;
}

std::u16string Where(const tools::StoredLevel& l) {
    std::u16string s = u"第 " + (l.js ? Num(*l.js) : u"?") + u" 级";
    if (l.lbid) s += u" (" + *l.lbid + u")";
    return s + u"：";
}

}  // namespace

std::u16string StaffWords(const tools::Finding& f, const tools::StoredRule& rule) {
    const tools::StoredLevel* l = LevelNumbered(rule, f.level);
    const std::u16string where = l ? Where(*l) : u"";
    const std::string& c = f.code;
    std::u16string what;
    if (c == "no-levels") {
        what = u"规则没有明细，收银台每个类别都得到空值";
    } else if (c == "no-category") {
        what = u"没有类别，收银台永远找不到这一级";
    } else if (c == "outside-16-bit" || c == "overflow") {
        what = u"位数超出范围，收银台总是得到空值";
    } else if (c == "end-before-start") {
        what = u"结束位数在开始位数之前，收银台总是得到空值";
    } else if (c == "start-below-1") {
        what = u"开始位数小于 1，收银台得到空值或店内码的字符";
    } else if (c == "decimals") {
        what = u"小数位数与位数不符，小数点不会插入";
    } else if (c == "overlap") {
        what = u"与别的级截取相同的位数，收银台在两个值里都得到这些字符";
    } else if (c == "duplicate-category") {
        what = u"收银台永远用不到这一级：同一类别，数据库先返回别的级";
    } else if (c == "comma-category") {
        what = u"类别编号含逗号，收银台无法请求这个类别";
    } else if (c == "unreadable") {
        what = u"位数不是收银台能读的数字，收银台总是得到空值";
    } else if (c == "not-whole") {
        what = u"数值不是整数，编辑窗口无法按原值显示";
    } else if (c == "duplicate-header") {
        what = u"规则有多条表头记录，收银台取数据库先返回的那条的店内码";
    } else if (c == "duplicate-level-number") {
        what = u"级数重复，修改和删除会同时作用于这些级；收银台不受影响";
    } else if (c == "undefined-category") {
        what = u"类别不是已定义的代表类别，收银台仍然截取，但规则窗口不显示这一级";
    } else if (c == "total") {
        what = u"条形码总位数与最后的结束位数不一致，收银台不受影响";
    } else if (c == "gs1-unknown-ai") {
        what = u"GS1 标签里没有这个 AI 的定义，收银台取它到下一个分隔符为止的数据";
    } else if (c == "gs1-substitute") {
        what = u"分隔符的替代字符含字母或数字，收银台会在数据中间断开字段";
    } else if (c == "gs1-substitutes") {
        what = u"与别的 GS1 级的分隔符替代字符不同，同一标签在这些级读出的字段不同";
    } else if (c == "gs1-decimals") {
        what = u"GS1 级的小数位数不起作用，小数由 AI 决定";
    } else if (c == "gs1-marker") {
        what = u"备注像 GS1 级但不是，收银台按位数截取";
    } else if (c == "mixed-levels") {
        what = u"规则同时有 GS1 级和按位数截取的级";
    } else {
        what = f.problem;  // a finding without words of its own yet
    }
    return where + what;
}

std::u16string StaffWords(const gs1::Finding& f, const gs1::Label<char16_t>& label) {
    const gs1::Field<char16_t>* field =
        f.field < label.fields.size() ? &label.fields[f.field] : nullptr;
    std::u16string ai, data;
    if (field) {
        ai = u"AI " + gs1::AiText({field->ai, field->aiLen, false}) +
             (field->info ? u" (" + gs1::Title(*field->info) + u")" : u"") + u" ";
        data.assign(field->data, field->len);
    }
    switch (f.issue) {
        case gs1::Issue::kUnknownAi:
            return field ? ai + u"不在 GS1 表中，数据 " + data + u" 取到下一个分隔符为止"
                         : u"标签中有不是 AI 开头的字符，已跳过";
        case gs1::Issue::kTruncated:
            return field ? ai + u"的数据不完整，标签被截断了" : u"标签在 AI 中间结束，被截断了";
        case gs1::Issue::kTooLong:
            return ai + u"超过最大长度，缺少分隔符，按最大长度截取";
        case gs1::Issue::kTooShort:
            return ai + u"的数据短于最小长度";
        case gs1::Issue::kMissingSeparator:
            return ai + u"后面缺少分隔符";
        case gs1::Issue::kMisplacedSeparator:
            return field ? ai + u"的定长数据中间有分隔符" : u"连续两个分隔符";
        case gs1::Issue::kCheckDigit:
            return ai + data + u" 的校验位不正确";
        case gs1::Issue::kDate:
            return ai + data.substr(0, 6) + u" 不是有效日期（YYMMDD）";
        case gs1::Issue::kCharset:
            return ai + data + u" 含有格式不允许的字符";
        case gs1::Issue::kNotElementString:
            return u"标签不是 GS1 数据串";
        case gs1::Issue::kNoKey:
            return u"GS1 数字链接的路径中没有 GS1 主键";
    }
    return gs1::Describe(f, label);
}

FrmTest::FrmTest(tools::StoredRule rule, tools::CategoryLookup categories,
                 std::vector<std::u16string> notes)
    : Window(u"FrmTest"),
      LblTxm(Add<Label>(u"LblTxm")),
      txtTxm(Add<ScanBox>(u"txtTxm")),
      LblRule(Add<Label>(u"LblRule")),
      vsfLevels(Add<Grid>(u"vsfLevels", 1, 8)),
      lstNotes(Add<ListBox>(u"lstNotes")),
      StatusBar1(Add<StatusBar>(u"StatusBar1")),
      rule_(std::move(rule)),
      categories_(std::move(categories)),
      notes_(std::move(notes)) {
    caption = u"测试条码";
    clientWidth = 8400;
    clientHeight = 5400;
    font.points = 10.5;
    keyPreview = true;

    LblTxm.SetCaption(u"条码:");
    LblTxm.rect = {180, 195, 855, 210};
    LblTxm.font.points = 10.5;
    txtTxm.rect = {1080, 135, 4500, 315};
    txtTxm.tabIndex = 1;
    txtTxm.font.points = 10.5;
    const std::u16string code = rule_.dnmid.value_or(u"");
    LblRule.SetCaption(u"规则 " + rule_.gzid + u" " + rule_.gzname.value_or(u"") +
                       (code.empty() ? u"，没有店内码" : u"，店内码 " + code) +
                       u"（按保存后的样子）");
    LblRule.rect = {180, 570, 8040, 210};
    LblRule.font.points = 10.5;
    vsfLevels.rect = {30, 870, 8340, 2100};
    vsfLevels.tabIndex = 2;
    lstNotes.rect = {30, 3030, 8340, 1935};
    lstNotes.tabIndex = 3;
    StatusBar1.rect = {0, clientHeight - 375, clientWidth, 375};
    StatusBar1.tabIndex = 4;
    StatusBar1.panelText = u"Enter → 测试 | Tab → 明细和结果 |  ESC → 返回 ";

    txtTxm.KeyDown = [this](int16_t& k, int16_t /*shift*/) {
        if (k == key::kEnter) {
            TestLabel();
            SelectAllText(txtTxm);  // the next scan replaces this label
        }
    };
}

void FrmTest::Form_Load() {
    TestLabel();
}

void FrmTest::Form_KeyDown(int16_t& keyCode, int16_t /*shift*/) {
    if (keyCode == key::kEsc) Unload();
}

void FrmTest::TestLabel() {
    const std::u16string label = txtTxm.Text();
    // The analyser's own cut, level by level, as the command's explanation makes it.
    const tools::Explanation e = tools::Explain(rule_, categories_, label);
    const std::u16string code = rule_.dnmid.value_or(u"");
    const auto length = static_cast<int64_t>(code.size());
    std::vector<std::vector<std::u16string>> rows;
    std::vector<std::u16string> notes;
    for (size_t i = 0; i < rule_.levels.size() && i < e.rows.size(); ++i) {
        const tools::StoredLevel& l = rule_.levels[i];
        std::u16string category;
        if (l.lbid) {
            const auto c = categories_(*l.lbid);
            category = *l.lbid + (c ? u" " + c->name.value_or(u"") : u" (未定义)");
        }
        auto num = [](const tools::Number& n) { return n ? Num(*n) : u""; };
        rows.push_back({e.rows[i].level, category, num(l.startws), num(l.endws),
                        e.rows[i].characters, e.rows[i].cut, e.rows[i].value});
        const int64_t s = l.startws.value_or(0), end = l.endws.value_or(0);
        if (!label.empty() && !e.rows[i].characters.empty()) {
            const auto size = static_cast<int64_t>(label.size());
            if (size < s + length) {
                notes.push_back(Where(l) + u"条码在这一级之前就结束了，收银台得到空值");
            } else if (size < end + length) {
                notes.push_back(Where(l) + u"条码太短，只截到条码末尾");
            }
        }
    }
    vsfLevels.SetCells(
        {u"级数", u"代表名称", u"开始位数", u"结束位数", u"条码字符", u"截取", u"值"}, rows);

    std::vector<std::u16string> lines;
    if (!label.empty()) {
        const tools::CheckDigit c = tools::TestCheckDigit(label);
        const std::u16string last(1, label.back());
        if (!c.kind) {
            lines.push_back(u"校验位：未检查（只检查 8、12 或 13 位数字的条码）");
        } else if (c.valid) {
            lines.push_back(u"校验位：" + last + u" 是有效的 " + c.kind + u" 校验位");
        } else {
            lines.push_back(u"校验位：" + last + u" 不是有效的 " + c.kind + u" 校验位，应为 " +
                            std::u16string(1, c.expected));
        }
        if (code.empty()) {
            lines.push_back(u"店内码：规则没有店内码，第 1 位就是条码的第 1 个字符");
        } else if (label.compare(0, code.size(), code) == 0) {
            lines.push_back(u"店内码：条码以店内码 " + code + u" 开头");
        } else {
            lines.push_back(u"店内码：条码不以店内码 " + code + u" 开头，收银台照样截取");
        }
        for (const auto& v : tools::VerifierChecks(rule_, label, categories_)) {
            const std::u16string at = Where(*v.level) + u"前面的第 " + Num(v.position) + u" 位";
            const std::u16string kind = v.measure ? u"计量校验位" : u"价格校验位";
            if (v.expected < 0 || v.found == 0) {
                lines.push_back(at + u"可能是" + kind + u"，条码在那里没有足够的数字，未检查");
            } else if (v.Valid()) {
                lines.push_back(at + u" " + std::u16string(1, v.found) + u" 是 " + v.digits +
                                u" 的有效" + kind);
            } else {
                lines.push_back(at + u" " + std::u16string(1, v.found) + u" 不是 " + v.digits +
                                u" 的有效" + kind + u"，应为 " + Num(v.expected) +
                                u"，收银台照样截取");
            }
        }
    }
    // A GS1 label: its findings, parsed as each substitute separator of the rule reads it.
    std::vector<std::u16string> read;
    for (const auto& l : rule_.levels) {
        if (label.empty() || !l.till.read || !l.till.IsGs1()) continue;
        const std::u16string sub(l.till.gs1.Substitute());
        if (std::find(read.begin(), read.end(), sub) != read.end()) continue;
        read.push_back(sub);
        gs1::Label<char16_t> parsed;
        parsed.Parse(std::u16string_view(label), sub);
        if (parsed.findings.empty()) lines.push_back(u"GS1 标签：没有发现问题");
        for (const auto& f : parsed.findings)
            lines.push_back(u"GS1 标签：" + StaffWords(f, parsed));
    }
    lines.insert(lines.end(), notes.begin(), notes.end());
    for (const auto& f : tools::CheckRule(rule_, categories_)) {
        lines.push_back(u"规则检查：" + StaffWords(f, rule_));
    }
    lines.insert(lines.end(), notes_.begin(), notes_.end());
    lstNotes.Clear();
    for (auto& line : lines) lstNotes.AddItem(std::move(line));
}

}  // namespace quorvel::ui
