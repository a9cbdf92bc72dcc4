// Where things are on the control: lines and the new row among them, columns, the group
// panel's buttons, the layout of the parts, scrolling, and the rectangles it reports.
#include "grid/qt/DataGridPrivate.h"
#include <QFontMetrics>
#include <algorithm>

int TDataGrid::Impl::NewLine() const
{
    if (!e.Inserting())
        return -1;
    if (const TGridNode* before = e.NewRowBefore()) {
        const int l = e.LineOf(before);
        if (l >= 0)
            return l;
    }
    return e.LineCount();
}

TGridLine TDataGrid::Impl::VisualLine(int v, int newLine, bool& isNew) const
{
    isNew = v == newLine;
    if (isNew)
        return {};
    return e.Line(newLine >= 0 && v > newLine ? v - 1 : v);
}

int TDataGrid::Impl::VisualOf(int engineLine) const
{
    const int nl = NewLine();
    return nl >= 0 && engineLine >= nl ? engineLine + 1 : engineLine;
}

int TDataGrid::Impl::EngineOf(int visual) const
{
    const int nl = NewLine();
    return nl >= 0 && visual > nl ? visual - 1 : visual;
}

QRect TDataGrid::Impl::LineRect(int v) const
{
    const int top = TopLine();
    if (v < top)
        return {};
    const QRect r(0, rowsRect.top() + (v - top) * rowH, dataW, rowH);
    return r.intersects(rowsRect) ? r.intersected(rowsRect) : QRect();
}

int TDataGrid::Impl::LineAt(int y) const
{
    if (y < rowsRect.top() || y > rowsRect.bottom())
        return -1;
    const int v = TopLine() + (y - rowsRect.top()) / rowH;
    return v < VisualCount() ? v : -1;
}

int TDataGrid::Impl::HeaderIndex(int column) const
{
    const auto it = std::find(headerCols.begin(), headerCols.end(), column);
    return it == headerCols.end() ? -1 : static_cast<int>(it - headerCols.begin());
}

int TDataGrid::Impl::HeaderIndexAt(int x) const
{
    for (size_t i = 0; i < headerCols.size(); ++i)
        if (x >= colX[i] && x < colX[i + 1])
            return static_cast<int>(i);
    return -1;
}

QRect TDataGrid::Impl::HeaderCell(int i) const
{
    QRect r(colX[i], headerRect.top(), colX[i + 1] - colX[i], headerRect.height());
    if (r.right() >= dataW)
        r.setRight(dataW - 1);
    return r;
}

QRect TDataGrid::Impl::FilterButtonIn(const QRect& cell)
{
    return QRect(cell.right() - 1 - kFilterButtonWidth, cell.top() + 2, kFilterButtonWidth, cell.height() - 5);
}

QRect TDataGrid::Impl::CellIn(const QRect& line, int i, int contentLeft) const
{
    QRect r(colX[i], line.top(), colX[i + 1] - colX[i], line.height());
    if (i == 0 || r.left() < contentLeft)
        r.setLeft(std::max(r.left(), contentLeft));
    if (r.right() >= dataW)
        r.setRight(dataW - 1);
    return r;
}

int TDataGrid::Impl::HeaderGapAt(int x) const
{
    int gap = 0;
    for (size_t i = 0; i < headerCols.size(); ++i)
        if ((colX[i] + colX[i + 1]) / 2 < x)
            gap = static_cast<int>(i) + 1;
    return gap;
}

QRect TDataGrid::Impl::GroupButtonLocal(int level) const
{
    const QFontMetrics fm(headerFont);
    int x = kGroupPanelMargin;
    const int top = (gpRect.height() - headerH) / 2;
    for (int l = 0; l < e.GroupColumnCount(); ++l) {
        const int col = e.GroupColumn(l);
        const int w = std::max(40, fm.horizontalAdvance(AnsiToQString(e.ColumnCaption(col))) + 2 * kTextPad +
                                       kSortGlyphWidth + 10);
        if (l == level)
            return QRect(x, top, w, headerH);
        x += w + kGroupButtonGap;
    }
    return {};
}

int TDataGrid::Impl::GroupButtonAt(const QPoint& gridPos) const
{
    const QPoint local = gridPos - gpRect.topLeft();
    for (int l = 0; l < e.GroupColumnCount(); ++l)
        if (GroupButtonLocal(l).contains(local))
            return l;
    return -1;
}

int TDataGrid::Impl::GroupDropLevel(int x, int excluded) const
{
    int level = 0;
    for (int l = 0; l < e.GroupColumnCount(); ++l) {
        if (l == excluded)
            continue;
        if (GroupButtonLocal(l).center().x() + gpRect.left() < x)
            ++level;
    }
    return level;
}

void TDataGrid::Impl::Layout()
{
    if (layingOut)
        return;
    layingOut = true;
    font = ToQFont(e.Font);
    headerFont = ToQFont(e.HeaderFont);
    const QFontMetrics fm(font), hfm(headerFont);
    rowH = std::max(fm.height() + 4, kExpandBox + 6);
    headerH = std::max(hfm.height() + 6, 16);
    const int w = q->width(), h = q->height();
    const int gpH = e.ShowGroupPanel ? headerH + 2 * kGroupPanelMargin : 0;
    const bool filtered = e.FilterSet();
    const int statusH = filtered ? std::max(fm.height() + 8, 20) : 0;
    const int footerH = e.ShowSummaryFooter ? rowH + 4 : 0;
    const int hdrH = e.ShowHeader ? headerH : 0;
    gpRect = QRect(0, 0, w, gpH);
    statusRect = QRect(0, h - statusH, w, statusH);
    const int rowsTop = gpH + hdrH;
    const int rowsH = std::max(0, h - statusH - footerH - rowsTop);
    const int sbW = vbar->sizeHint().width();
    const int perPage = rowH > 0 ? rowsH / rowH : 0;
    barShown = VisualCount() > perPage && rowsH > 0;
    dataW = std::max(0, w - (barShown ? sbW : 0));
    headerRect = QRect(0, gpH, dataW, hdrH);
    rowsRect = QRect(0, rowsTop, dataW, rowsH);
    footerRect = QRect(0, rowsTop + rowsH, dataW, footerH);

    groupPanel->setGeometry(gpRect);
    groupPanel->setVisible(gpH > 0);
    statusBar->setGeometry(statusRect);
    statusBar->setVisible(filtered);
    statusBar->setFont(font);
    statusText->setText(filtered ? AnsiToQString(e.FilterStatusText()) : QString());
    vbar->setGeometry(dataW, rowsTop, sbW, rowsH);
    vbar->setVisible(barShown);

    const int viewWidth = std::max(0, dataW - kIndicatorWidth);
    if (e.ViewWidth() != viewWidth)
        e.SetViewWidth(viewWidth);
    ComputeColumns();
    layingOut = false;
    UpdateScroll();
    PlaceEditor();
    q->update();
    groupPanel->update();
}

void TDataGrid::Impl::ComputeColumns()
{
    headerCols = e.HeaderColumns();
    colX.assign(1, kIndicatorWidth);
    for (int c : headerCols)
        colX.push_back(colX.back() + std::max(0, e.DisplayWidth(c)));
}

void TDataGrid::Impl::UpdateScroll()
{
    const int count = VisualCount();
    const int page = LinesPerPage();
    const bool wanted = count > page && rowsRect.height() > 0;
    if (wanted != barShown && !layingOut) {
        Layout();
        return;
    }
    vbar->setRange(0, std::max(0, count - page));
    vbar->setPageStep(std::max(1, page));
    vbar->setSingleStep(1);
}

void TDataGrid::Impl::EnsureVisible(int v)
{
    if (v < 0)
        return;
    const int page = std::max(1, LinesPerPage());
    const int top = TopLine();
    if (v < top)
        vbar->setValue(v);
    else if (v >= top + page)
        vbar->setValue(v - page + 1);
}

void TDataGrid::Impl::EnsureFocusVisible()
{
    if (const TGridNode* f = e.FocusedNode()) {
        const int l = e.LineOf(f);
        if (l >= 0)
            EnsureVisible(VisualOf(l));
    }
}

void TDataGrid::Impl::RowsChanged()
{
    if (editing && !e.Inserting())
        CloseEditor();
    UpdateScroll();
    PlaceEditor();
    q->update();
}

QRect TDataGrid::Impl::ExpandBoxOn(const QRect& line, int level) const
{
    const int x = kIndicatorWidth + level * kLevelIndent + (kLevelIndent - kExpandBox) / 2;
    return QRect(x, line.top() + (line.height() - kExpandBox) / 2, kExpandBox, kExpandBox);
}

QRect TDataGrid::Impl::GroupTextCellOn(const QRect& line, int level) const
{
    const int left = kIndicatorWidth + (level + 1) * kLevelIndent;
    return QRect(left, line.top(), std::max(0, dataW - left), line.height());
}

QRect TDataGrid::Impl::FooterCell(int i) const
{
    QRect r(colX[i], footerRect.top() + 2, colX[i + 1] - colX[i], rowH);
    if (r.right() >= dataW)
        r.setRight(dataW - 1);
    return r.adjusted(1, 0, -2, 0);
}

int TDataGrid::Impl::GroupLevelOf(int column) const
{
    for (int l = 0; l < e.GroupColumnCount(); ++l)
        if (e.GroupColumn(l) == column)
            return l;
    return -1;
}

bool TDataGrid::Impl::InHeaderZone(const QPoint& pos) const
{
    return headerRect.height() > 0 && pos.y() >= headerRect.top() - 4 && pos.y() <= headerRect.bottom() + 8 &&
           pos.x() >= 0 && pos.x() < q->width();
}

QRect TDataGrid::HeaderCellRect(int column) const
{
    const int i = d->HeaderIndex(column);
    return i < 0 || d->headerRect.height() <= 0 ? QRect() : d->HeaderCell(i);
}

QRect TDataGrid::FilterButtonRect(int column) const
{
    const QRect cell = HeaderCellRect(column);
    return cell.isEmpty() || !engine_.Filter.Active ? QRect() : Impl::FilterButtonIn(cell);
}

QRect TDataGrid::GroupButtonRect(int level) const
{
    if (d->gpRect.isEmpty())
        return {};
    const QRect r = d->GroupButtonLocal(level);
    return r.isEmpty() ? r : r.translated(d->gpRect.topLeft());
}

QRect TDataGrid::CellRect(const TGridNode* node, int column) const
{
    if (!node)
        return {};
    const int l = engine_.LineOf(node);
    if (l < 0)
        return {};
    const QRect line = d->LineRect(d->VisualOf(l));
    if (line.isEmpty())
        return {};
    if (TGridEngine::IsGroup(node))
        return d->GroupTextCellOn(line, TGridEngine::Level(node)).intersected(line);
    const int i = d->HeaderIndex(column);
    return i < 0 ? QRect() : d->CellIn(line, i, d->DataContentLeft());
}

QRect TDataGrid::ExpandButtonRect(const TGridNode* node) const
{
    if (!node || !TGridEngine::IsGroup(node))
        return {};
    const int l = engine_.LineOf(node);
    const QRect line = l < 0 ? QRect() : d->LineRect(d->VisualOf(l));
    return line.isEmpty() ? QRect() : d->ExpandBoxOn(line, TGridEngine::Level(node));
}

QRect TDataGrid::NewRowCellRect(int column) const
{
    return d->NewRowCell(column);
}

QRect TDataGrid::SummaryFooterCellRect(int column) const
{
    const int i = d->HeaderIndex(column);
    return i < 0 || d->footerRect.height() <= 0 ? QRect() : d->FooterCell(i);
}

int TDataGrid::TopLine() const
{
    return d->TopLine();
}

int TDataGrid::LinesPerPage() const
{
    return d->LinesPerPage();
}
