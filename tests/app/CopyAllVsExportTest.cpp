// Ctrl+Shift+C on the statistics page holds the very cells that an export of the same grid
// holds, as Debian's python3-xlrd reads the exported file back.
#include "support_qt/AppFixture.h"
#include "app/VandrixDiscover.h"
#include "export/GridExport.h"
#include "grid/qt/DataGrid.h"
#include "platform/Cp1251.h"
#include "platform/FormatSettings.h"
#include <QClipboard>
#include <QGuiApplication>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

// Tab-separated lines with quoted cells, as a spreadsheet reads a paste.
std::vector<std::vector<std::string>> ParsePaste(const std::string& text)
{
    std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
    for (size_t k = 0; k < text.size(); ++k) {
        const char c = text[k];
        std::string& cell = rows.back().back();
        if (c == '"' && cell.empty()) {
            for (++k; k < text.size(); ++k) {
                if (text[k] == '"' && k + 1 < text.size() && text[k + 1] == '"') {
                    cell += '"';
                    ++k;
                } else if (text[k] == '"') {
                    break;
                } else {
                    cell += text[k];
                }
            }
        } else if (c == '\t') {
            rows.back().emplace_back();
        } else if (c == '\n') {
            rows.emplace_back(1);
        } else {
            cell += c;
        }
    }
    if (rows.back().size() == 1 && rows.back()[0].empty()) rows.pop_back();
    return rows;
}

struct Cell {
    std::string kind, value;
};

std::string Unescape(const std::string& s)
{
    std::string out;
    for (size_t k = 0; k < s.size(); ++k) {
        if (s[k] == '\\' && k + 1 < s.size()) {
            const char n = s[++k];
            out += n == 't' ? '\t' : n == 'n' ? '\n' : n;
        } else {
            out += s[k];
        }
    }
    return out;
}

// Cells of the first sheet by (row, column), read by xlrd.
std::map<std::pair<int, int>, Cell> ReadBack(const std::string& file)
{
    std::map<std::pair<int, int>, Cell> cells;
    const std::string command =
        "/usr/bin/python3 '" VDX_SOURCE_DIR "/tests/export/xls_dump.py' '" + file + "'";
    FILE* p = popen(command.c_str(), "r");
    if (!p) return cells;
    std::string all;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) all.append(buf, n);
    pclose(p);
    size_t start = 0;
    while (start < all.size()) {
        const size_t end = all.find('\n', start);
        const std::string line = all.substr(start, end - start);
        start = end == std::string::npos ? all.size() : end + 1;
        std::vector<std::string> f;
        size_t a = 0;
        for (size_t b; (b = line.find('\t', a)) != std::string::npos; a = b + 1) f.push_back(line.substr(a, b - a));
        f.push_back(line.substr(a));
        if (f.size() == 6 && f[0] == "cell") cells[{std::stoi(f[1]), std::stoi(f[2])}] = {f[3], Unescape(f[5])};
    }
    return cells;
}

} // namespace

TEST(CopyAll, HoldsTheCellsOfAnExportOfTheSameGrid)
{
    ClientFolder folder;
    folder.MakeClientDatabases();
    folder.ExecMain("insert into ratio values(1, 1536, 7, '10.0.0.1', 'Борис', 'Хаб-Ёлка');"
                    "insert into ratio values(2, 200, 9007199256509756, '10.0.0.2', 'tab\there', 'Хаб-Ёлка');"
                    "insert into ratio values(3, NULL, 1, '::1', 'say \"hi\"', 'Hub 2');"
                    "insert into ratio values(4, 5, 2, '10.0.0.4', 'ящик', 'Hub 2');");
    TVandrixDiscover window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTabBar* bar = window.m_MainPageControl->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
    TDataGrid* grid = window.m_vdx_ratio_DBGrid;
    ASSERT_EQ(grid->Engine().DataRowCount(), 4);
    ASSERT_FALSE(TGridEngine::Expanded(grid->Engine().Top(0))) << "copied with its groups collapsed";

    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    const std::string pasted = QGuiApplication::clipboard()->text().toStdString();
    const std::vector<std::vector<std::string>> rows = ParsePaste(pasted);

    const std::string file = folder.Path() + "/copy.xls";
    SaveToXLS(grid->Engine(), file, true);
    const std::map<std::pair<int, int>, Cell> book = ReadBack(file);
    ASSERT_FALSE(book.empty()) << "xlrd read nothing";

    int lastRow = 0, lastCol = 0;
    for (const auto& [at, cell] : book) {
        lastRow = std::max(lastRow, at.first);
        lastCol = std::max(lastCol, at.second);
    }
    ASSERT_EQ(static_cast<int>(rows.size()), lastRow + 1);
    const char separator = FormatSettings().DecimalSeparator;
    for (int r = 0; r <= lastRow; ++r) {
        ASSERT_EQ(static_cast<int>(rows[r].size()), lastCol + 1) << "row " << r;
        for (int c = 0; c <= lastCol; ++c) {
            SCOPED_TRACE("cell " + std::to_string(r) + "," + std::to_string(c));
            const std::string& copied = rows[r][c];
            const auto it = book.find({r, c});
            if (it == book.end() || it->second.kind == "blank") {
                EXPECT_EQ(copied, "");
            } else if (r == lastRow) {
                // The summary footer: a formula in the file, its painted text in the paste.
                EXPECT_EQ(copied, Cp1251ToUtf8(grid->Engine().SummaryFooterText(grid->Engine().HeaderColumns()[c - 1])));
            } else if (it->second.kind == "text") {
                EXPECT_EQ(copied, it->second.value);
            } else {
                std::string number = copied;
                std::replace(number.begin(), number.end(), separator, '.');
                EXPECT_EQ(std::stod(number), std::stod(it->second.value)) << copied;
            }
        }
    }
    EXPECT_NE(pasted.find("\"tab\there\""), std::string::npos);
    EXPECT_NE(pasted.find("9007199256509756"), std::string::npos) << "every digit";
}
