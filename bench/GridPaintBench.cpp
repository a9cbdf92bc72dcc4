// Painting costs what is in view: a repaint and a page-down at a million rows against a
// thousand, in grids grouped and expanded, rendered offscreen at the designed grid size.
#include "Bench.h"
#include "app/GridLayouts.h"
#include "grid/qt/DataGrid.h"
#include "platform/Cp1251.h"
#include "table/RecordTable.h"
#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

void EnsureApplication()
{
    if (qApp)
        return;
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "vandrix-bench";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
}

// A statistics-like grid: users grouped by hub, with group footers and footer sums.
struct TBenchGrid {
    TRecordTable table;
    TDataSource source{&table};
    std::unique_ptr<TDataGrid> grid;
    QImage image;

    explicit TBenchGrid(int rows)
    {
        TRecordField& id = table.AddField("id", ftInteger);
        TRecordField& upload = table.AddField("upload", ftFloat);
        TRecordField& download = table.AddField("download", ftFloat);
        TRecordField& userip = table.AddField("userip", ftString, 16);
        TRecordField& nick = table.AddField("nick", ftString, 100);
        TRecordField& hub = table.AddField("hub", ftString, 100);

        grid = std::make_unique<TDataGrid>();
        TGridEngine& e = grid->Engine();
        ConfigureRatioGrid(e);   // the statistics grid as the window has it
        e.SetDataSource(&source);

        table.OpenTable();
        table.FreezeControls();
        for (int i = 0; i < rows; ++i) {
            table.BeginAppend();
            table.SetInteger(id, i);
            table.SetFloat(upload, (i % 977) * 1024.0);
            table.SetFloat(download, (i % 613) * 512.0);
            table.SetString(userip, "10.0." + std::to_string(i % 256) + "." + std::to_string(i / 256 % 256));
            table.SetString(nick, "user" + std::to_string(static_cast<long long>(i) * 7919 % rows));
            table.SetString(hub, "hub" + std::to_string(i % 40));
            table.PostRecord();
        }
        table.ReleaseControls();
        e.ExpandAll();
        grid->SettingsChanged();
        grid->resize(766, 473);
        grid->show();
        QApplication::processEvents();
        image = QImage(grid->size(), QImage::Format_ARGB32_Premultiplied);
    }

    ~TBenchGrid() { grid.reset(); }

    void Repaint() { grid->render(&image); }

    void Key(int key)
    {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(grid.get(), &press);
    }
};

double PaintMs(TBenchGrid& g)
{
    for (int i = 0; i < 3; ++i)
        g.Repaint();
    std::vector<double> times;
    for (int i = 0; i < 31; ++i) {
        const double t0 = BenchNowMs();
        g.Repaint();
        times.push_back(BenchNowMs() - t0);
    }
    return BenchMedian(times);
}

// One page-down from the top: the focus and the view move a page, then the grid repaints.
double PageDownMs(TBenchGrid& g)
{
    std::vector<double> times;
    for (int i = 0; i < 34; ++i) {
        g.Key(Qt::Key_Home);
        g.Repaint();
        const double t0 = BenchNowMs();
        g.Key(Qt::Key_PageDown);
        g.Repaint();
        if (i >= 3)
            times.push_back(BenchNowMs() - t0);
    }
    return BenchMedian(times);
}

struct TGridFigures {
    double paintSmall, paintLarge, scrollSmall, scrollLarge;
};

const TGridFigures& Figures()
{
    static TGridFigures f = [] {
        EnsureApplication();
        TGridFigures out{};
        {
            TBenchGrid small(1000);
            out.paintSmall = PaintMs(small);
            out.scrollSmall = PageDownMs(small);
        }
        {
            TBenchGrid large(1000000);
            out.paintLarge = PaintMs(large);
            out.scrollLarge = PageDownMs(large);
        }
        return out;
    }();
    return f;
}

VDX_BENCH("grid_paint")
{
    const TGridFigures& f = Figures();
    Report("grid_paint", 1000000, "ms", f.paintLarge, f.paintSmall);
}

VDX_BENCH("grid_scroll")
{
    const TGridFigures& f = Figures();
    Report("grid_scroll", 1000000, "ms", f.scrollLarge, f.scrollSmall);
}

} // namespace
