// The .xlsx writer: the same cells as the BIFF4 file, read back by python3-openpyxl, the
// choice of writer by the file name, and the same safety as the BIFF4 writer.
#include "support/DbFixture.h"
#include "ExportFixture.h"
#include "export/GridExportXlsx.h"
#include "platform/Cp1251.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace exporttest;

namespace {

std::string ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Exception& e) {
        return e.Message;
    }
    return "(no error)";
}

void AddHubs(TGridFixture& f)
{
    f.AddRows({{1, 100.0, 7.0, "10.0.0.1", std::string("Борис"), std::string("Хаб-Ёлка")},
               {2, 200.0, 0.5, "10.0.0.2", std::string("Анна"), std::string("Хаб-Ёлка")},
               {3, 1536.0, 2.25, "192.168.100.200", std::string("zed"), std::string("Hub 2")},
               {4, {}, 3.0, "::1", std::string("ящик «в кавычках»"), std::string("Hub 2")}});
}

// Both files of one grid; the compare script's verdict.
void ExpectSameCells(const TGridEngine& grid, const std::string& name)
{
    vdxtest::TempFolder folder;
    const std::string xls = folder.File(name + ".xls"), xlsx = folder.File(name + ".xlsx");
    SaveToXLS(grid, xls, true);
    SaveToXLSX(grid, xlsx, true);
    const TScriptResult compared = RunSheetScript("compare '" + xls + "' '" + xlsx + "'");
    EXPECT_EQ(compared.Status, 0) << compared.Output;
}

} // namespace

TEST(Xlsx, StatisticsGridHoldsTheCellsOfTheBiff4File)
{
    TGridFixture f;
    ConfigureRatioLike(f);
    AddHubs(f);
    ExpectSameCells(f.Grid, "grouped");
}
