// The grid control as a widget: building its child widgets, wiring the engine's
// notifications, and handing Qt's events to the files that handle them.
#include "grid/qt/DataGridPrivate.h"
#include <QApplication>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

namespace {

QPixmap CloseGlyph()
{
    QPixmap pm(10, 10);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(QPen(Qc(clBtnText), 2));
    p.drawLine(1, 1, 8, 8);
    p.drawLine(8, 1, 1, 8);
    return pm;
}

} // namespace

QFont ToQFont(const TGridFont& font)
{
    QFont f(AnsiToQString(font.Name));
    f.setPointSize(font.Size > 0 ? font.Size : 8);
    f.setBold(font.Bold);
    f.setItalic(font.Italic);
    f.setUnderline(font.Underline);
    f.setStrikeOut(font.StrikeOut);
    return f;
}

TDataGrid::TDataGrid(QWidget* parent) : QWidget(parent), d(std::make_unique<Impl>(this, engine_))
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);

    d->groupPanel = new QWidget(this);
    d->groupPanel->setObjectName("GroupPanel");
    d->groupPanel->setMouseTracking(true);
    d->groupPanel->installEventFilter(this);

    d->vbar = new QScrollBar(Qt::Vertical, this);
    d->vbar->setObjectName("VerticalScrollBar");
    d->vbar->hide();
    connect(d->vbar, &QScrollBar::valueChanged, this, [this] {
        d->PlaceEditor();
        update();
    });

    d->statusBar = new QWidget(this);
    d->statusBar->setObjectName("FilterStatusBar");
    d->statusBar->setAutoFillBackground(true);
    auto* statusLayout = new QHBoxLayout(d->statusBar);
    statusLayout->setContentsMargins(2, 1, 2, 1);
    statusLayout->setSpacing(4);
    d->clearButton = new QToolButton(d->statusBar);
    d->clearButton->setObjectName("FilterClearButton");
    d->clearButton->setAutoRaise(true);
    d->clearButton->setIcon(QIcon(CloseGlyph()));
    d->clearButton->setToolTip(QString::fromUtf8("Очистить фильтр"));
    d->clearButton->setFocusPolicy(Qt::NoFocus);
    d->statusText = new QLabel(d->statusBar);
    d->statusText->setObjectName("FilterStatusText");
    d->statusText->setMinimumWidth(1);
    statusLayout->addWidget(d->clearButton);
    statusLayout->addWidget(d->statusText, 1);
    d->statusBar->hide();
    connect(d->clearButton, &QToolButton::clicked, this, [this] { RunHandler([this] { d->ClearFilter(); }, this); });

    d->dragImage = new QLabel(this);
    d->dragImage->setObjectName("DragImage");
    d->dragImage->setFrameShape(QFrame::Box);
    d->dragImage->setAlignment(Qt::AlignCenter);
    d->dragImage->setAutoFillBackground(true);
    d->dragImage->setAttribute(Qt::WA_TransparentForMouseEvents);
    d->dragImage->hide();

    d->editor = new QLineEdit(this);
    d->editor->setObjectName("CellEditor");
    d->editor->setFrame(false);
    d->editor->hide();
    d->editor->installEventFilter(this);

    d->dropDown = new TFilterDropDown(this);
    d->dropDown->OnChoose = [this](int index) { RunHandler([this, index] { d->ChooseDropDown(index); }, this); };

    d->focusConnection = connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        RunHandler([this, now] { d->FocusChanged(now); }, this);
    });

    engine_.OnChanged = [this] { d->RowsChanged(); };
    engine_.OnLayoutChanged = [this] { d->Layout(); };
    d->Layout();
}

TDataGrid::~TDataGrid()
{
    disconnect(d->focusConnection);
    engine_.OnChanged = nullptr;
    engine_.OnLayoutChanged = nullptr;
    d->editing = false;
    // Children go before the state they paint from.
    delete d->dropDown;
    delete d->editor;
    delete d->groupPanel;
    delete d->statusBar;
    delete d->dragImage;
    delete d->vbar;
}

void TDataGrid::SettingsChanged()
{
    d->Layout();
}

void TDataGrid::paintEvent(QPaintEvent* event)
{
    const qreal dpr = devicePixelRatioF();
    const QSize need = size() * dpr;
    if (d->buffer.size() != need) {
        d->buffer = QPixmap(need);
        d->buffer.setDevicePixelRatio(dpr);
    }
    {
        QPainter bp(&d->buffer);
        bp.setClipRect(event->rect());
        try {
            d->Paint(bp);
        } catch (const std::exception& ex) {
            d->PaintFailed(ex);
        }
    }
    QPainter p(this);
    p.drawPixmap(event->rect(), d->buffer,
                 QRectF(event->rect().topLeft() * dpr, event->rect().size() * dpr).toRect());
}

void TDataGrid::resizeEvent(QResizeEvent*)
{
    RunHandler([this] { d->Layout(); }, this);
}

void TDataGrid::mousePressEvent(QMouseEvent* event)
{
    RunHandler([&] { d->Press(event->position().toPoint(), event->button(), event->modifiers()); }, this);
}

void TDataGrid::mouseMoveEvent(QMouseEvent* event)
{
    RunHandler([&] { d->Move(event->position().toPoint(), event->buttons()); }, this);
}

void TDataGrid::mouseReleaseEvent(QMouseEvent* event)
{
    RunHandler([&] { d->Release(event->position().toPoint(), event->button(), event->modifiers()); }, this);
}

void TDataGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    RunHandler([&] { d->DoubleClick(event->position().toPoint(), event->button(), event->modifiers()); }, this);
}

void TDataGrid::wheelEvent(QWheelEvent* event)
{
    const int steps = event->angleDelta().y() / 40;
    if (steps != 0)
        d->vbar->setValue(d->vbar->value() - steps);
    event->accept();
}

void TDataGrid::keyPressEvent(QKeyEvent* event)
{
    bool handled = false;
    RunHandler([&] { handled = d->Key(event); }, this);
    if (!handled)
        QWidget::keyPressEvent(event);
}

void TDataGrid::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    update();
}

void TDataGrid::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    update();
}

void TDataGrid::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    if (d->drag.kind == Impl::TDrag::None)
        unsetCursor();
}

void TDataGrid::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        RunHandler([this] { d->Layout(); }, this);
}

void TDataGrid::contextMenuEvent(QContextMenuEvent* event)
{
    const QPoint pos = event->pos();
    if (d->headerRect.contains(pos))
        RunHandler([&] { d->HeaderMenu(event->globalPos()); }, this);
    else if (d->rowsRect.contains(pos))
        RunHandler([&] { d->RowsMenu(pos, event->globalPos()); }, this);
    event->accept();
}

bool TDataGrid::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        bool shown = false;
        RunHandler([&] { shown = d->ToolTip(help->pos(), help->globalPos()); }, this);
        if (!shown)
            event->ignore();
        return true;
    }
    return QWidget::event(event);
}

bool TDataGrid::eventFilter(QObject* watched, QEvent* event)
{
    if (!d)
        return false;
    if (watched == d->groupPanel) {
        auto* panel = d->groupPanel;
        switch (event->type()) {
        case QEvent::Paint: {
            QPainter p(panel);
            try {
                d->PaintGroupPanel(p);
            } catch (const std::exception& ex) {
                d->PaintFailed(ex);
            }
            return true;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            auto* me = static_cast<QMouseEvent*>(event);
            const QPoint pos = panel->mapTo(this, me->position().toPoint());
            RunHandler([&] { d->Press(pos, me->button(), me->modifiers()); }, this);
            return true;
        }
        case QEvent::MouseMove: {
            auto* me = static_cast<QMouseEvent*>(event);
            const QPoint pos = panel->mapTo(this, me->position().toPoint());
            RunHandler([&] { d->Move(pos, me->buttons()); }, this);
            return true;
        }
        case QEvent::MouseButtonRelease: {
            auto* me = static_cast<QMouseEvent*>(event);
            const QPoint pos = panel->mapTo(this, me->position().toPoint());
            RunHandler([&] { d->Release(pos, me->button(), me->modifiers()); }, this);
            return true;
        }
        case QEvent::ContextMenu: {
            auto* ce = static_cast<QContextMenuEvent*>(event);
            RunHandler([&] { d->HeaderMenu(ce->globalPos()); }, this);
            return true;
        }
        default:
            return false;
        }
    }
    if (watched == d->editor && event->type() == QEvent::KeyPress) {
        bool handled = false;
        RunHandler([&] { handled = d->EditorKey(static_cast<QKeyEvent*>(event)); }, this);
        return handled;
    }
    return QWidget::eventFilter(watched, event);
}
