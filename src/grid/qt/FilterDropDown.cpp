// The filter drop-down: its size (rows shown, width of the widest entry, within the screen),
// its place under the header, and choosing an entry by mouse or key.
#include "grid/qt/FilterDropDown.h"
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>

namespace {

constexpr int kTextMargin = 2;   // each side: the list is 4 pixels wider than its widest text

// Plain rows: the text 2 pixels in, the selection in the highlight colours.
class TDropDownDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette& pal = option.palette;
        painter->fillRect(option.rect, selected ? pal.color(QPalette::Highlight) : pal.color(QPalette::Base));
        painter->setPen(selected ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::Text));
        painter->setFont(option.font);
        painter->drawText(option.rect.adjusted(kTextMargin, 0, -kTextMargin, 0),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          index.data(Qt::DisplayRole).toString());
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QFontMetrics fm(option.font);
        return {fm.horizontalAdvance(index.data(Qt::DisplayRole).toString()) + 2 * kTextMargin, fm.height() + 1};
    }
};

} // namespace

TFilterDropDown::TFilterDropDown(QWidget* parent) : QListWidget(parent)
{
    setObjectName("FilterDropDown");
    setWindowFlags(Qt::Popup);
    setFrameShape(QFrame::Box);
    setLineWidth(1);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setTextElideMode(Qt::ElideNone);
    setMouseTracking(true);
    setItemDelegate(new TDropDownDelegate(this));
}

void TFilterDropDown::Popup(const QStringList& texts, int current, const QRect& headerCell, int visibleRows,
                            const QFont& font)
{
    setFont(font);
    clear();
    addItems(texts);
    const QFontMetrics fm(font);
    int widest = 0;
    for (const QString& t : texts)
        widest = std::max(widest, fm.horizontalAdvance(t));
    const int rows = std::max(1, std::min<int>(visibleRows > 0 ? visibleRows : 1, static_cast<int>(texts.size())));
    const int rowHeight = fm.height() + 1;
    const int frame = 2 * frameWidth();
    const int innerWidth = std::max(headerCell.width(), widest) + 2 * kTextMargin;
    int width = innerWidth + frame;
    if (texts.size() > rows)
        width += verticalScrollBar()->sizeHint().width();
    const int height = rows * rowHeight + frame;

    QPoint at = headerCell.bottomLeft() + QPoint(0, 1);
    QScreen* screen = QGuiApplication::screenAt(headerCell.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect avail = screen->availableGeometry();
        // A very long value must not push the list, and its scroll bar, off the screen.
        width = std::min(width, avail.width());
        if (at.y() + height > avail.bottom() && headerCell.top() - height >= avail.top())
            at.setY(headerCell.top() - height);
        at.setX(std::max(avail.left(), std::min(at.x(), avail.right() - width)));
    }
    setGeometry(QRect(at, QSize(width, height)));
    if (current >= 0 && current < count()) {
        setCurrentRow(current);
        scrollToItem(item(current), QAbstractItemView::PositionAtTop);
    } else {
        setCurrentRow(-1);
        clearSelection();
    }
    show();
    raise();
    activateWindow();
    setFocus(Qt::PopupFocusReason);
}

void TFilterDropDown::Choose(int row)
{
    if (row < 0 || row >= count())
        return;
    hide();
    if (OnChoose)
        OnChoose(row);
}

void TFilterDropDown::focusInEvent(QFocusEvent* event)
{
    // Without a condition nothing is pre-selected; the view would pick the first entry.
    const bool none = currentRow() < 0;
    QListWidget::focusInEvent(event);
    if (none)
        setCurrentRow(-1);
}

void TFilterDropDown::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Choose(currentRow());
        return;
    case Qt::Key_Escape:
        hide();
        return;
    default:
        QListWidget::keyPressEvent(event);
    }
}

void TFilterDropDown::mouseMoveEvent(QMouseEvent* event)
{
    // The entry under the mouse follows it, as in a combo box's list.
    if (QListWidgetItem* it = itemAt(event->position().toPoint()))
        setCurrentItem(it);
    QListWidget::mouseMoveEvent(event);
}

void TFilterDropDown::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        if (QListWidgetItem* it = itemAt(event->position().toPoint())) {
            Choose(row(it));
            return;
        }
    }
    QListWidget::mouseReleaseEvent(event);
}
