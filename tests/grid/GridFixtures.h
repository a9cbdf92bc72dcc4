#pragma once
// Record tables and grids shaped like the statistics and log pages, for the engine's tests.
#include "grid/GridEngine.h"
#include "platform/Cp1251.h"
#include "table/RecordTable.h"

#include <optional>
#include <string>
#include <vector>

namespace gridtest {

// The statistics table and a grid configured as the statistics page's: hidden id, nick
// sorted ascending, IP, upload and download with footer sums, hidden hub as group level 0,
// and a default summary group with the sums under upload and download.
struct RatioGrid {
    TRecordTable table;
    TRecordField& id = table.AddField("ID", ftInteger);
    TRecordField& upload = table.AddField("upload", ftFloat);
    TRecordField& download = table.AddField("download", ftFloat);
    TRecordField& userip = table.AddField("userip", ftString, 45);
    TRecordField& nick = table.AddField("nick", ftString, 100);
    TRecordField& hub = table.AddField("hub", ftString, 100);
    TDataSource source{&table};
    TGridEngine grid;
    int cId, cNick, cIp, cUp, cDown, cHub;

    RatioGrid()
    {
        id.DisplayLabel = "id";
        grid.Name = "m_vdx_ratio_DBGrid";
        grid.KeyField = "id";
        const auto column = [&](const char* name, const char* caption, const char* field, int width) {
            TDataGridColumn& c = grid.AddColumn();
            c.Name = name;
            c.Caption = A(caption);
            c.FieldName = field;
            c.Width = width;
            return c.Index();
        };
        cId = column("m_vdx_ratio_DBGridid", "", "id", 248);
        grid.Column(cId).Visible = false;
        cNick = column("m_vdx_ratio_DBGridnick", "Ник", "nick", 141);
        grid.Column(cNick).Sorted = csUp;
        cIp = column("m_vdx_ratio_DBGriduserip", "IP адрес", "userip", 154);
        cUp = column("m_vdx_ratio_DBGridupload", "Отдано", "upload", 221);
        cDown = column("m_vdx_ratio_DBGriddownload", "Принято", "download", 220);
        for (int c : {cUp, cDown}) {
            grid.Column(c).SummaryFooterType = cstSum;
            grid.Column(c).SummaryFooterFormat = A("Сумма: 0.00");
            grid.Column(c).SummaryGroupName = "m_vdx_ratio_DBGridSummaryGroup1";
        }
        cHub = column("m_vdx_ratio_DBGridhub", "Хаб", "hub", 2336);
        grid.Column(cHub).Visible = false;
        grid.Column(cHub).Sorted = csUp;
        grid.Column(cHub).GroupIndex = 0;
        TSummaryGroup& g = grid.AddSummaryGroup();
        g.Name = "m_vdx_ratio_DBGridSummaryGroup2";
        g.DefaultGroup = true;
        g.SummaryItems.push_back({"m_vdx_ratio_DBGriddownload", "download", cstSum, "(SUM=0.00)"});
        g.SummaryItems.push_back({"m_vdx_ratio_DBGridupload", "upload", cstSum, "(SUM=0.00)"});
        grid.LayoutChanged();
        grid.SetDataSource(&source);
    }

    struct Row {
        int32_t id;
        std::optional<double> up, down;
        std::string ip, nick, hub;   // UTF-8; stored as 1251
    };

    // A load as the page does it: close, open, freeze, append, release.
    void Load(const std::vector<Row>& rows)
    {
        table.CloseTable();
        table.OpenTable();
        table.FreezeControls();
        for (const Row& r : rows) {
            table.BeginAppend();
            table.SetInteger(id, r.id);
            if (r.up) table.SetFloat(upload, *r.up);
            if (r.down) table.SetFloat(download, *r.down);
            table.SetString(userip, A(r.ip));
            table.SetString(nick, A(r.nick));
            table.SetString(hub, A(r.hub));
            table.PostRecord();
        }
        table.ReleaseControls();
    }
};

// A one-column-per-kind table with a plain grid (no groups, no sort) and its key field.
struct PlainGrid {
    TRecordTable table;
    TRecordField& key = table.AddField("ID", ftInteger);
    TRecordField& num = table.AddField("num", ftInteger);
    TRecordField& real = table.AddField("real", ftFloat);
    TRecordField& text = table.AddField("text", ftString, 50);
    TDataSource source{&table};
    TGridEngine grid;
    int cKey, cNum, cReal, cText;

    explicit PlainGrid(bool caseInsensitive = false, bool handOver = false)
    {
        grid.KeyField = "ID";
        grid.Filter.CaseInsensitive = caseInsensitive;
        grid.Filter.AutoDataSetFilter = handOver;
        const auto column = [&](const char* field) {
            TDataGridColumn& c = grid.AddColumn();
            c.Name = std::string("col") + field;
            c.FieldName = field;
            c.Width = 50;
            return c.Index();
        };
        cKey = column("ID");
        cNum = column("num");
        cReal = column("real");
        cText = column("text");
        grid.LayoutChanged();
        grid.SetDataSource(&source);
        table.OpenTable();
    }

    void Add(int32_t k, std::optional<int32_t> n, std::optional<double> r, std::optional<std::string> t)
    {
        table.BeginAppend();
        table.SetInteger(key, k);
        if (n) table.SetInteger(num, *n);
        if (r) table.SetFloat(real, *r);
        if (t) table.SetString(text, A(*t));
        table.PostRecord();
    }

    // Keys of the rows in display order.
    std::vector<int32_t> Keys() const
    {
        std::vector<int32_t> out;
        for (int i = 0; i < grid.LineCount(); ++i) {
            const TGridLine l = grid.Line(i);
            if (l.Footer < 0 && !TGridEngine::IsGroup(l.Node)) out.push_back(table.GetInteger(grid.Record(l.Node), key));
        }
        return out;
    }
};

} // namespace gridtest
