// Menus, the clipboard and tool tips: copying a cell or the whole grid, the rows' and the
// header's context menus (columns shown, all groups opened or closed), clipped texts.
#include "grid/qt/DataGridPrivate.h"
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QToolTip>

void TDataGrid::Impl::CopyCell()
{
    QGuiApplication::clipboard()->setText(AnsiToQString(e.FocusedCellText()));
}

void TDataGrid::Impl::CopyAll()
{
    QGuiApplication::clipboard()->setText(AnsiToQString(e.CopyAllText()));
}

void TDataGrid::Impl::RowsMenu(const QPoint& pos, const QPoint& global)
{
    // The row under the mouse takes the focus first, as a left click would.
    const int v = LineAt(pos.y());
    if (v >= 0 && !editing) {
        bool isNew = false;
        const TGridLine l = VisualLine(v, NewLine(), isNew);
        if (!isNew && l.Footer < 0 && l.Node) {
            e.SetFocusedNode(l.Node);
            const int i = HeaderIndexAt(pos.x());
            if (!TGridEngine::IsGroup(l.Node) && i >= 0)
                e.SetFocusedColumn(headerCols[i]);
        }
    }
    QMenu menu(q);
    menu.setObjectName("RowsMenu");
    QAction* copy = menu.addAction(QString::fromUtf8("Копировать"), [this] { RunHandler([this] { CopyCell(); }, q); });
    copy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    copy->setEnabled(e.FocusedNode() != nullptr);
    QAction* all =
        menu.addAction(QString::fromUtf8("Копировать всё"), [this] { RunHandler([this] { CopyAll(); }, q); });
    all->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    menu.exec(global);
}

void TDataGrid::Impl::HeaderMenu(const QPoint& global)
{
    QMenu menu(q);
    menu.setObjectName("HeaderMenu");
    const std::vector<int> header = e.HeaderColumns();
    for (int c = 0; c < e.ColumnCount(); ++c) {
        const TDataGridColumn& column = e.Column(c);
        QAction* a = menu.addAction(AnsiToQString(e.ColumnCaption(c)));
        a->setCheckable(true);
        a->setChecked(column.Visible);
        // The header keeps at least one column.
        a->setEnabled(!(column.Visible && column.GroupIndex < 0 && header.size() == 1));
        QObject::connect(a, &QAction::triggered, q, [this, c] {
            RunHandler([this, c] { ShowColumn(c, !e.Column(c).Visible); }, q);
        });
    }
    menu.addSeparator();
    menu.addAction(QString::fromUtf8("Развернуть все"), [this] { RunHandler([this] { e.ExpandAll(); }, q); });
    menu.addAction(QString::fromUtf8("Свернуть все"), [this] {
        RunHandler(
            [this] {
                e.CollapseAll();
                EnsureFocusVisible();
            },
            q);
    });
    menu.exec(global);
}

void TDataGrid::Impl::ShowColumn(int column, bool visible)
{
    e.Column(column).Visible = visible;
    e.LayoutChanged();
    Layout();
    EnsureFocusVisible();
}

bool TDataGrid::Impl::ToolTip(const QPoint& pos, const QPoint& global)
{
    const int v = rowsRect.contains(pos) ? LineAt(pos.y()) : -1;
    QString text;
    QRect cell;
    QFont cellFont = font;
    if (v >= 0) {
        bool isNew = false;
        const TGridLine l = VisualLine(v, NewLine(), isNew);
        const QRect line = LineRect(v);
        if (!isNew && l.Node && l.Footer < 0) {
            if (TGridEngine::IsGroup(l.Node)) {
                cell = GroupTextCellOn(line, TGridEngine::Level(l.Node));
                text = AnsiToQString(e.GroupRowText(l.Node));
            } else if (const int i = HeaderIndexAt(pos.x()); i >= 0) {
                cell = CellIn(line, i, DataContentLeft());
                text = AnsiToQString(e.DisplayText(l.Node, headerCols[i]));
                cellFont = ToQFont(e.ColumnFont(headerCols[i]));
            }
        }
    }
    // Only a text the cell cuts short.
    if (text.isEmpty() || QFontMetrics(cellFont).horizontalAdvance(text) <= cell.width() - 2 * kTextPad - 1) {
        QToolTip::hideText();
        return false;
    }
    QToolTip::showText(global, text, q, cell);
    return true;
}
