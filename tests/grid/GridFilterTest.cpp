#include "GridFixtures.h"

#include "platform/FormatSettings.h"

#include <gtest/gtest.h>

#include <functional>

using gridtest::PlainGrid;
using gridtest::RatioGrid;

namespace {

std::vector<std::string> Texts(const std::vector<TDropDownEntry>& entries)
{
    std::vector<std::string> out;
    for (const auto& e : entries) out.push_back(Cp1251ToUtf8(e.Text));
    return out;
}

TDropDownEntry ValueEntry(const TGridEngine& g, int column, const std::string& utf8)
{
    for (const auto& e : g.DropDownEntries(column))
        if (e.kind == TDropDownEntry::Value && e.Text == A(utf8)) return e;
    ADD_FAILURE() << "no entry " << utf8;
    return {};
}

TFilterCondition Cond(TFilterOp op, TGridValue v = {}, bool negated = false) { return {op, std::move(v), negated}; }
TGridValue Str(const std::string& utf8)
{
    TGridValue v;
    v.kind = TGridValue::String;
    v.s = A(utf8);
    return v;
}
TGridValue Int(int32_t i)
{
    TGridValue v;
    v.kind = TGridValue::Integer;
    v.i = i;
    return v;
}

} // namespace

TEST(GridFilter, DropDownEntriesAndTheirOrder)
{
    PlainGrid p;
    p.Add(1, 5, 1.5, std::string("pear"));
    p.Add(2, 3, 0.25, std::string("Apple"));
    p.Add(3, 5, 1.5, std::string("apple"));
    p.Add(4, 10, 100.0, std::string("pear"));
    EXPECT_EQ(Texts(p.grid.DropDownEntries(p.cText)),
              (std::vector<std::string>{"(Все)", "(Выбор...)", "Apple", "apple", "pear"}))
        << "no blank: no blank entries";
    EXPECT_EQ(Texts(p.grid.DropDownEntries(p.cNum)), (std::vector<std::string>{"(Все)", "(Выбор...)", "3", "5", "10"}))
        << "numbers numerically";
    EXPECT_EQ(Texts(p.grid.DropDownEntries(p.cReal)),
              (std::vector<std::string>{"(Все)", "(Выбор...)", "0.25", "1.5", "100"}));

    p.Add(5, std::nullopt, std::nullopt, std::string(""));   // empty text is blank
    EXPECT_EQ(Texts(p.grid.DropDownEntries(p.cText)),
              (std::vector<std::string>{"(Все)", "(Выбор...)", "(Пустые)", "(Не пустые)", "Apple", "apple", "pear"}));
    EXPECT_EQ(Texts(p.grid.DropDownEntries(p.cNum)),
              (std::vector<std::string>{"(Все)", "(Выбор...)", "(Пустые)", "(Не пустые)", "3", "5", "10"}));

    // A set-aside row still counts: the blank stays listed while only "pear" is shown.
    p.grid.ChooseDropDownEntry(p.cText, ValueEntry(p.grid, p.cText, "pear"));
    EXPECT_EQ(p.grid.DataRowCount(), 2);
    EXPECT_EQ(p.grid.SetAsideCount(), 3);
    const auto entries = p.grid.DropDownEntries(p.cText);
    EXPECT_EQ(Texts(entries).size(), 7u);
    EXPECT_EQ(Cp1251ToUtf8(entries[static_cast<size_t>(p.grid.CurrentDropDownEntry(p.cText, entries))].Text), "pear");
    EXPECT_EQ(p.grid.CurrentDropDownEntry(p.cNum, p.grid.DropDownEntries(p.cNum)), -1);
}

TEST(GridFilter, ChoicesKeepTheRightRows)
{
    PlainGrid p;
    p.Add(1, 5, 1.0, std::string("a"));
    p.Add(2, std::nullopt, 2.0, std::nullopt);
    p.Add(3, 7, 3.0, std::string("b"));
    p.Add(4, 5, 4.0, std::string(""));
    TGridEngine& g = p.grid;
    const auto entries = g.DropDownEntries(p.cText);
    const auto pick = [&](TDropDownEntry::Kind kind) {
        for (const auto& e : entries)
            if (e.kind == kind) return e;
        return TDropDownEntry{};
    };
    struct Case {
        const char* what;
        std::function<void()> choose;
        std::vector<int32_t> keys;
        int current;   // entry pre-selected afterwards
    } cases[] = {
        {"blanks: null and empty text", [&] { g.ChooseDropDownEntry(p.cText, pick(TDropDownEntry::Blanks)); }, {2, 4}, 2},
        {"non-blanks", [&] { g.ChooseDropDownEntry(p.cText, pick(TDropDownEntry::NonBlanks)); }, {1, 3}, 3},
        {"a value", [&] { g.ChooseDropDownEntry(p.cText, ValueEntry(g, p.cText, "b")); }, {3}, 5},
        {"custom does nothing here", [&] { g.ChooseDropDownEntry(p.cText, pick(TDropDownEntry::Custom)); }, {3}, 5},
        {"all", [&] { g.ChooseDropDownEntry(p.cText, pick(TDropDownEntry::All)); }, {1, 2, 3, 4}, -1},
    };
    for (const Case& c : cases) {
        c.choose();
        EXPECT_EQ(p.Keys(), c.keys) << c.what;
        EXPECT_EQ(g.CurrentDropDownEntry(p.cText, entries), c.current) << c.what;
    }
    // Conditions of different columns are joined by AND.
    g.ChooseDropDownEntry(p.cNum, ValueEntry(g, p.cNum, "5"));
    g.ChooseDropDownEntry(p.cText, pick(TDropDownEntry::NonBlanks));
    EXPECT_EQ(p.Keys(), (std::vector<int32_t>{1}));
    EXPECT_TRUE(g.FilterSet());
    g.ClearFilter();
    EXPECT_FALSE(g.FilterSet());
    EXPECT_EQ(p.Keys(), (std::vector<int32_t>{1, 2, 3, 4}));
}

TEST(GridFilter, TheDropDownListsTheFirstThousandMet)
{
    PlainGrid p;
    p.table.FreezeControls();
    // 1500 distinct texts; in table order v1499 ... v0000, so the first met differ from the least.
    for (int i = 1499; i >= 0; --i) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "v%04d", i);
        p.Add(2000 - i, i, 0.0, std::string(buf));
    }
    p.table.ReleaseControls();
    // Sorted by text ascending the tree meets v0000 first: the list is v0000..v0999.
    p.grid.Column(p.cText).Sorted = csUp;
    p.grid.LayoutChanged();
    auto texts = Texts(p.grid.DropDownEntries(p.cText));
    ASSERT_EQ(texts.size(), 1002u);
    EXPECT_EQ(texts[2], "v0000");
    EXPECT_EQ(texts.back(), "v0999");
    // Descending, the tree meets v1499 first: v0500..v1499, still listed ascending.
    p.grid.ClickColumn(p.cText, false);
    ASSERT_EQ(p.grid.Column(p.cText).Sorted, csDown);
    texts = Texts(p.grid.DropDownEntries(p.cText));
    ASSERT_EQ(texts.size(), 1002u);
    EXPECT_EQ(texts[2], "v0500");
    EXPECT_EQ(texts.back(), "v1499");
    // Rows in the tree come before the set-aside ones.
    TColumnFilter f;
    f.Conditions.push_back(Cond(TFilterOp::Less, Int(300)));
    p.grid.SetColumnFilter(p.cNum, f);
    EXPECT_EQ(p.grid.DataRowCount(), 300);
    texts = Texts(p.grid.DropDownEntries(p.cText));
    ASSERT_EQ(texts.size(), 1002u);
    EXPECT_EQ(texts[2], "v0000");     // the 300 shown
    EXPECT_EQ(texts[301], "v0299");
    EXPECT_EQ(texts[302], "v0800");   // then the set-aside ones, met from v1499 down to v0800
    EXPECT_EQ(texts.back(), "v1499");
    p.grid.Filter.MaxDropDownCount = 5;
    EXPECT_EQ(Texts(p.grid.DropDownEntries(p.cText)).size(), 7u);
}

TEST(GridFilter, CaseInsensitiveGridsMatchAndListUpperCase)
{
    struct Case {
        bool ci;
        std::vector<int32_t> keys;
        std::vector<std::string> listed;
    } cases[] = {
        {true, {1, 2, 4}, {"(Все)", "(Выбор...)", "ЁЛКА", "ПРИВЕТ"}},   // 1251: Ё is A8, П is CF
        {false, {1}, {"(Все)", "(Выбор...)", "ЁЛКА", "Ёлка", "ёлка", "ПРИВЕТ", "привет"}},
    };
    for (const Case& c : cases) {
        PlainGrid p(c.ci);
        p.Add(1, 0, 0.0, std::string("ёлка"));
        p.Add(2, 0, 0.0, std::string("ЁЛКА"));
        p.Add(3, 0, 0.0, std::string("привет"));
        p.Add(4, 0, 0.0, std::string("Ёлка"));
        p.Add(5, 0, 0.0, std::string("ПРИВЕТ"));
        EXPECT_EQ(Texts(p.grid.DropDownEntries(p.cText)), c.listed) << c.ci;
        TColumnFilter f;
        f.Conditions.push_back(Cond(TFilterOp::Equal, Str("ёлка")));
        p.grid.SetColumnFilter(p.cText, f);
        EXPECT_EQ(p.Keys(), c.keys) << c.ci;
        if (c.ci) {
            const auto entries = p.grid.DropDownEntries(p.cText);
            const int current = p.grid.CurrentDropDownEntry(p.cText, entries);
            ASSERT_GE(current, 0);
            EXPECT_EQ(Cp1251ToUtf8(entries[static_cast<size_t>(current)].Text), "ЁЛКА");
        }
    }
}

TEST(GridFilter, CustomFilterConditions)
{
    const auto comma = FormatSettings().DecimalSeparator;
    FormatSettings().DecimalSeparator = ',';
    PlainGrid p;
    p.Add(1, 1, 0.5, std::string("a"));
    p.Add(2, 2, 1.5, std::string(""));
    p.Add(3, 3, 2.5, std::string("c"));
    p.Add(4, std::nullopt, std::nullopt, std::string("d"));
    TGridEngine& g = p.grid;
    struct Case {
        const char* what;
        int column;
        TCustomFilterInput in;
        std::vector<int32_t> keys;
    } cases[] = {
        {"int >=", p.cNum, {TCustomOp::GreaterEqual, "2", false, TCustomOp::None, "", {}, {}}, {2, 3}},
        {"int not equal: nulls pass", p.cNum, {TCustomOp::NotEqual, "2", false, TCustomOp::None, "", {}, {}}, {1, 3, 4}},
        {"int < with null first", p.cNum, {TCustomOp::Less, "2", false, TCustomOp::None, "", {}, {}}, {1, 4}},
        {"float in the locale", p.cReal, {TCustomOp::Greater, "1,5", false, TCustomOp::None, "", {}, {}}, {3}},
        {"two with OR", p.cNum, {TCustomOp::Equal, "1", true, TCustomOp::Equal, "3", {}, {}}, {1, 3}},
        {"two with AND", p.cNum, {TCustomOp::Greater, "1", false, TCustomOp::LessEqual, "3", {}, {}}, {2, 3}},
        {"empty with equal: blanks", p.cText, {TCustomOp::Equal, "", false, TCustomOp::None, "", {}, {}}, {2}},
        {"empty with not equal: non-blanks", p.cText, {TCustomOp::NotEqual, "", false, TCustomOp::None, "", {}, {}}, {1, 3, 4}},
        {"blank operator", p.cNum, {TCustomOp::Blank, "", false, TCustomOp::None, "", {}, {}}, {4}},
        {"non-blank operator", p.cNum, {TCustomOp::NotBlank, "", false, TCustomOp::None, "", {}, {}}, {1, 2, 3}},
        {"text <=", p.cText, {TCustomOp::LessEqual, "c", false, TCustomOp::None, "", {}, {}}, {1, 2, 3}},
    };
    for (const Case& c : cases) {
        g.ClearFilter();
        g.ApplyCustomFilter(c.column, c.in);
        EXPECT_EQ(p.Keys(), c.keys) << c.what;
        // The dialog reopens with what was set.
        const TCustomFilterInput back = g.CustomFilterInputOf(c.column);
        if (c.in.Op1 != TCustomOp::NotEqual || !c.in.Value1.empty()) {
            EXPECT_EQ(back.Op2 == TCustomOp::None, c.in.Op2 == TCustomOp::None) << c.what;
            EXPECT_EQ(back.OrJoin, c.in.OrJoin) << c.what;
        }
    }
    // A value that does not convert: the error names its editor and the filter stays.
    g.ClearFilter();
    g.ApplyCustomFilter(p.cNum, {TCustomOp::Equal, "1", false, TCustomOp::None, "", {}, {}});
    struct Bad {
        int column;
        TCustomFilterInput in;
        int editor;
    } bad[] = {
        {p.cNum, {TCustomOp::Equal, "x", false, TCustomOp::None, "", {}, {}}, 1},
        {p.cNum, {TCustomOp::Equal, "1", false, TCustomOp::Less, "1.5", {}, {}}, 2},
        {p.cReal, {TCustomOp::Equal, "1.5", false, TCustomOp::None, "", {}, {}}, 1},
    };
    for (const Bad& b : bad) {
        try {
            g.ApplyCustomFilter(b.column, b.in);
            ADD_FAILURE() << "no error";
        } catch (const TFilterValueError& e) {
            EXPECT_EQ(e.Editor, b.editor);
            EXPECT_EQ(e.Message, A("Неверное значение"));
        }
        EXPECT_EQ(p.Keys(), (std::vector<int32_t>{1}));
    }
    const TCustomFilterInput start = g.CustomFilterInputOf(p.cNum);
    EXPECT_EQ(start.Op1, TCustomOp::Equal);
    EXPECT_EQ(start.Value1, "1");
    FormatSettings().DecimalSeparator = comma;
}

TEST(GridFilter, StatusBarWordsAndHandOver)
{
    TRecordTable t;
    t.AddField("ID", ftInteger);
    t.AddField("file name", ftString, 50);
    t.AddField("nick", ftString, 50);
    TDataSource src(&t);
    TGridEngine g;
    g.Filter.AutoDataSetFilter = true;
    g.Filter.CaseInsensitive = true;
    for (auto [field, caption] : {std::pair{"ID", ""}, std::pair{"file name", "Файл"}, std::pair{"nick", "Ник"}}) {
        TDataGridColumn& c = g.AddColumn();
        c.FieldName = field;
        c.Caption = A(caption);
    }
    g.LayoutChanged();
    g.SetDataSource(&src);
    t.OpenTable();

    struct Case {
        const char* what;
        std::vector<std::pair<int, TColumnFilter>> filters;
        std::string words, expression;
    } cases[] = {
        {"one condition", {{2, {{Cond(TFilterOp::Equal, Str("bob"))}, false}}}, "(Ник = bob)", "(nick = 'bob')"},
        {"negated", {{2, {{Cond(TFilterOp::Equal, Str("bob"), true)}, false}}}, "(NOT (Ник = bob))",
         "(NOT (nick = 'bob'))"},
        {"two with OR",
         {{1, {{Cond(TFilterOp::Greater, Str("a b")), Cond(TFilterOp::IsNull)}, true}}},
         "((Файл > a b) OR (Файл Is Null))",
         "(([file name] > 'a b') OR ([file name] Is Null))"},
        {"two columns, AND, quote doubled",
         {{0, {{Cond(TFilterOp::LessEqual, Int(7)), Cond(TFilterOp::IsNull, {}, true)}, false}},
          {2, {{Cond(TFilterOp::Equal, Str("o'k"))}, false}}},
         "((ID <= 7) AND (NOT (ID Is Null))) AND (Ник = o'k)",
         "((ID <= 7) AND (NOT (ID Is Null))) AND (nick = 'o''k')"},
    };
    for (const Case& c : cases) {
        g.ClearFilter();
        for (const auto& [col, f] : c.filters) g.SetColumnFilter(col, f);
        EXPECT_EQ(Cp1251ToUtf8(g.FilterStatusText()), c.words) << c.what;
        EXPECT_EQ(g.FilterExpressionText(), c.expression) << c.what;
        EXPECT_EQ(t.FilterExpression(), c.expression) << c.what;
        EXPECT_TRUE(t.Filtered()) << c.what;
        EXPECT_TRUE(t.FilterCaseInsensitive()) << c.what;
    }
    g.ClearFilter();
    EXPECT_EQ(g.FilterStatusText(), "");
    EXPECT_EQ(t.FilterExpression(), "");
    EXPECT_FALSE(t.Filtered());
}

TEST(GridFilter, StatisticsGridKeepsOnlyExactMatchesAndSumsWhatIsShown)
{
    RatioGrid r;
    const std::vector<RatioGrid::Row> rows = {
        {1, 10, 1, "", "Bob", "H1"}, {2, 20, 2, "", "bob", "H1"}, {3, 40, 4, "", "Bob", "H2"}, {4, 80, 8, "", "amy", "H1"}};
    r.Load(rows);
    TGridEngine& g = r.grid;
    g.ChooseDropDownEntry(r.cNick, ValueEntry(g, r.cNick, "Bob"));
    EXPECT_EQ(g.DataRowCount(), 2);
    EXPECT_EQ(g.SummaryFooterText(r.cUp), A("Сумма: 50.00"));
    ASSERT_EQ(g.TopCount(), 2);
    TGridNode* h1 = g.Top(0);
    ASSERT_EQ(TGridEngine::ChildCount(h1), 1);
    EXPECT_EQ(g.GetFooterCellText(TGridEngine::Child(h1, 0), 0, r.cUp), "(SUM=10.00)");
    EXPECT_EQ(r.table.FilterExpression(), "") << "the statistics grid hands nothing over";

    // A filter that leaves a hub without rows removes its group row.
    g.ChooseDropDownEntry(r.cNick, ValueEntry(g, r.cNick, "amy"));
    EXPECT_EQ(g.TopCount(), 1);
    EXPECT_EQ(g.GroupRowText(g.Top(0)), A("Хаб : H1 "));

    // A reload keeps the filter.
    r.Load({{5, 1, 1, "", "amy", "H9"}, {6, 2, 2, "", "zoe", "H9"}, {7, 4, 4, "", "amy", "H9"}});
    EXPECT_EQ(g.DataRowCount(), 2);
    EXPECT_EQ(g.SummaryFooterText(r.cUp), A("Сумма: 5.00"));
    EXPECT_EQ(g.SetAsideCount(), 1);
    g.ClearFilter();
    EXPECT_EQ(g.SummaryFooterText(r.cUp), A("Сумма: 7.00"));
}

TEST(GridFilter, SubstringOperatorsKeepTheirRowsAndNameThemWithLike)
{
    for (const bool ci : {true, false}) {
        PlainGrid p(ci, true);
        p.Add(1, 12, 1.5, std::string("Загрузка файла"));
        p.Add(2, 312, 2.5, std::string("ошибка ЗАГРУЗКИ"));
        p.Add(3, 7, std::nullopt, std::string("it's done"));
        p.Add(4, std::nullopt, 12.25, std::nullopt);
        TGridEngine& g = p.grid;
        struct Case {
            const char* what;
            int column;
            TCustomOp op;
            const char* value;
            std::vector<int32_t> keys, keysExact;   // case-insensitive, exact
            const char* words;
            const char* expression;
        } cases[] = {
            {"contains", p.cText, TCustomOp::Contains, "агруз", {1, 2}, {1}, "(text LIKE %агруз%)",
             "(text LIKE '%агруз%')"},
            {"not contains: blanks pass", p.cText, TCustomOp::NotContains, "агруз", {3, 4}, {2, 3, 4},
             "(NOT (text LIKE %агруз%))", "(NOT (text LIKE '%агруз%'))"},
            {"begins with", p.cText, TCustomOp::BeginsWith, "ЗАГР", {1}, {}, "(text LIKE ЗАГР%)",
             "(text LIKE 'ЗАГР%')"},
            {"quote doubled", p.cText, TCustomOp::Contains, "it's", {3}, {3}, "(text LIKE %it's%)",
             "(text LIKE '%it''s%')"},
            {"a number by its text", p.cNum, TCustomOp::Contains, "12", {1, 2}, {1, 2}, "(num LIKE %12%)",
             "(num LIKE '%12%')"},
            {"a float by its text", p.cReal, TCustomOp::BeginsWith, "12", {4}, {4}, "(real LIKE 12%)",
             "(real LIKE '12%')"},
        };
        for (const Case& c : cases) {
            g.ClearFilter();
            g.ApplyCustomFilter(c.column, {c.op, A(c.value), false, TCustomOp::None, "", {}, {}});
            EXPECT_EQ(p.Keys(), ci ? c.keys : c.keysExact) << c.what << " ci=" << ci;
            EXPECT_EQ(Cp1251ToUtf8(g.FilterStatusText()), c.words) << c.what;
            EXPECT_EQ(Cp1251ToUtf8(p.table.FilterExpression()), c.expression) << c.what;
            // The dialog opens again with the same operator and text.
            const TCustomFilterInput back = g.CustomFilterInputOf(c.column);
            EXPECT_EQ(back.Op1, c.op) << c.what;
            EXPECT_EQ(Cp1251ToUtf8(back.Value1), c.value) << c.what;
        }
    }
}

TEST(GridFilter, TheDialogsStartValuesGiveTheSameRowsBack)
{
    PlainGrid p;
    // 15 digits show 9.00719925650976E15 for both of these.
    p.Add(1, 1, 9007199256509756.0, std::string("a"));
    p.Add(2, 2, 9007199256509758.0, std::string("b"));
    p.Add(3, 3, 2.5, std::string("c"));
    TGridEngine& g = p.grid;
    const std::vector<TDropDownEntry> entries = g.DropDownEntries(p.cReal);
    const auto it = std::find_if(entries.begin(), entries.end(), [](const TDropDownEntry& e) {
        return e.kind == TDropDownEntry::Value && e.ValueOf.f == 9007199256509756.0;
    });
    ASSERT_NE(it, entries.end());
    g.ChooseDropDownEntry(p.cReal, *it);
    ASSERT_EQ(p.Keys(), (std::vector<int32_t>{1}));

    TCustomFilterInput in = g.CustomFilterInputOf(p.cReal);
    ASSERT_TRUE(in.Kept1.has_value());
    g.ApplyCustomFilter(p.cReal, in);   // OK unchanged
    EXPECT_EQ(p.Keys(), (std::vector<int32_t>{1}));
    in.Op1 = TCustomOp::GreaterEqual;   // another operator keeps the exact value too
    g.ApplyCustomFilter(p.cReal, in);
    EXPECT_EQ(p.Keys(), (std::vector<int32_t>{1, 2}));
    // A text the user typed is read as typed.
    g.ApplyCustomFilter(p.cReal, {TCustomOp::Less, A("3"), false, TCustomOp::None, "", {}, {}});
    EXPECT_EQ(p.Keys(), (std::vector<int32_t>{3}));
}
