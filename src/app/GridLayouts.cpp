#include "app/GridLayouts.h"
#include "grid/GridEngine.h"
#include "platform/Cp1251.h"

namespace {

TDataGridColumn& AddColumn(TGridEngine& grid, const char* name, const char* captionUtf8,
                           const char* field, int width)
{
    TDataGridColumn& c = grid.AddColumn();
    c.Name = name;
    c.Caption = A(captionUtf8);
    c.FieldName = field;
    c.Width = width;
    return c;
}

} // namespace

void ConfigureCommonGrid(TGridEngine& grid)
{
    grid.ShowHeader = true;
    grid.ShowBands = false;
    grid.ShowGrid = true;
    grid.ShowGroupPanel = true;
    grid.ShowSummaryFooter = true;
    grid.ShowRowFooter = true;
    grid.SummarySeparator = ", ";
    grid.Filter.Active = true;
    grid.Filter.DropDownCount = 12;
    grid.Filter.MaxDropDownCount = 1000;
    grid.ShowPreview = false;
    TGridFont font;
    font.Name = "MS Sans Serif";
    font.Size = 8;
    font.Color = clWindowText;
    grid.Font = font;
    grid.HeaderFont = font;
    grid.BandFont = font;
}

void ConfigureDupGrid(TGridEngine& grid)
{
    ConfigureCommonGrid(grid);
    grid.Name = "m_DupDBGrid";
    grid.KeyField = "tth_id";
    grid.Filter.AutoDataSetFilter = true;
    grid.Filter.CaseInsensitive = true;
    AddColumn(grid, "m_DupDBGridcnt_dup", "Кол-во дублей", "cnt_dup", 63).Sorted = csUp;
    AddColumn(grid, "m_DupDBGridpath_1", "Путь1", "path_1", 149);
    AddColumn(grid, "m_DupDBGridpath_2", "Путь2", "path_2", 167);
    AddColumn(grid, "m_DupDBGridname_max", "Имя1", "name_max", 185);
    AddColumn(grid, "m_DupDBGridname_min", "Имя2", "name_min", 188);
    grid.LayoutChanged();
}

void ConfigureRatioGrid(TGridEngine& grid)
{
    ConfigureCommonGrid(grid);
    grid.Name = "m_vdx_ratio_DBGrid";
    grid.KeyField = "id";
    grid.Filter.AutoDataSetFilter = false;
    grid.Filter.CaseInsensitive = false;

    TDataGridColumn& id = AddColumn(grid, "m_vdx_ratio_DBGridid", "", "id", 248);
    id.Visible = false;
    AddColumn(grid, "m_vdx_ratio_DBGridnick", "Ник", "nick", 141).Sorted = csUp;
    AddColumn(grid, "m_vdx_ratio_DBGriduserip", "IP адрес", "userip", 154);
    for (auto [name, caption, field, width] :
         {std::tuple{"m_vdx_ratio_DBGridupload", "Отдано", "upload", 221},
          std::tuple{"m_vdx_ratio_DBGriddownload", "Принято", "download", 220}}) {
        TDataGridColumn& c = AddColumn(grid, name, caption, field, width);
        c.SummaryFooterType = cstSum;
        c.SummaryFooterFormat = A("Сумма: 0.00");
        c.SummaryGroupName = "m_vdx_ratio_DBGridSummaryGroup1";
    }
    TDataGridColumn& hub = AddColumn(grid, "m_vdx_ratio_DBGridhub", "Хаб", "hub", 2336);
    hub.Visible = false;
    hub.Sorted = csUp;
    hub.GroupIndex = 0;

    TSummaryGroup& group = grid.AddSummaryGroup();
    group.Name = "m_vdx_ratio_DBGridSummaryGroup2";
    group.DefaultGroup = true;
    group.SummaryItems.push_back({"m_vdx_ratio_DBGriddownload", "download", cstSum, "(SUM=0.00)"});
    group.SummaryItems.push_back({"m_vdx_ratio_DBGridupload", "upload", cstSum, "(SUM=0.00)"});
    grid.LayoutChanged();
}

void ConfigureLogGrid(TGridEngine& grid)
{
    ConfigureCommonGrid(grid);
    grid.Name = "m_LogsDBGrid";
    grid.KeyField = "ID";
    grid.Filter.AutoDataSetFilter = true;
    grid.Filter.CaseInsensitive = true;
    grid.PreviewFieldName = "body";
    grid.PreviewLines = 3;
    AddColumn(grid, "m_LogsDBGridsdate", "", "sdate", 164);
    AddColumn(grid, "m_LogsDBGridnick", "", "nick", 95);
    AddColumn(grid, "m_LogsDBGridID", "", "ID", 44).Visible = false;
    AddColumn(grid, "m_LogsDBGridfile", "", "file", 1067).Visible = false;
    AddColumn(grid, "m_LogsDBGridbody", "", "body", 493);
    grid.LayoutChanged();
}
