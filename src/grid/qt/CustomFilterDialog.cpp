// The custom filter dialog: its controls as designed, its start values and the hand-over
// of what the user chose to the engine.
#include "grid/qt/CustomFilterDialog.h"
#include "grid/qt/DataGrid.h"
#include "platform/qt/QtPlatform.h"
#include <QComboBox>
#include <algorithm>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

namespace {

// In the order of TCustomOp after None.
const char* const kOperators[] = {"равно", "неравно", "больше", "больше или равно", "меньше", "меньше или равно",
                                  "пустые", "не пустые", "содержит", "не содержит", "начинается с"};

QComboBox* OperatorList(QWidget* parent, bool withNone)
{
    auto* box = new QComboBox(parent);
    if (withNone)
        box->addItem(QString());
    for (const char* op : kOperators)
        box->addItem(QString::fromUtf8(op));
    box->setMaxVisibleItems(12);
    return box;
}

} // namespace

TCustomFilterDialog::TCustomFilterDialog(TGridEngine& engine, int column, QWidget* parent)
    : QDialog(parent), engine_(engine), column_(column)
{
    setObjectName("CustomFilterDialog");
    setWindowTitle(QString::fromUtf8("Пользовательский автофильтр"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(412, 166);
    setFont(ToQFont(engine.Font));

    auto* prompt = new QLabel(QString::fromUtf8("Показывать только те строки, значения которых:"), this);
    prompt->setObjectName("Prompt");
    prompt->setGeometry(8, 8, 396, 16);

    auto* caption = new QLabel(AnsiToQString(engine.ColumnCaption(column)) + " ", this);
    caption->setObjectName("ColumnCaption");
    QFont bold = font();
    bold.setBold(true);
    caption->setFont(bold);
    const int captionWidth = std::min(300, caption->sizeHint().width());
    caption->setGeometry(16, 28, captionWidth, 16);

    auto* line = new QFrame(this);
    line->setObjectName("Separator");
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(16 + captionWidth + 2, 35, 404 - (16 + captionWidth + 2), 2);

    op1_ = OperatorList(this, false);
    op1_->setObjectName("Operator1");
    op1_->setGeometry(16, 50, 150, 22);
    value1_ = new QLineEdit(this);
    value1_->setObjectName("Value1");
    value1_->setGeometry(174, 50, 230, 22);

    and_ = new QRadioButton(QString::fromUtf8("&И"), this);
    and_->setObjectName("AndButton");
    and_->setGeometry(44, 77, 48, 18);
    or_ = new QRadioButton(QString::fromUtf8("И&ЛИ"), this);
    or_->setObjectName("OrButton");
    or_->setGeometry(104, 77, 64, 18);
    and_->setChecked(true);

    op2_ = OperatorList(this, true);
    op2_->setObjectName("Operator2");
    op2_->setGeometry(16, 100, 150, 22);
    value2_ = new QLineEdit(this);
    value2_->setObjectName("Value2");
    value2_->setGeometry(174, 100, 230, 22);

    auto* ok = new QPushButton(QString::fromUtf8("OK"), this);
    ok->setObjectName("OkButton");
    ok->setGeometry(248, 134, 75, 24);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QString::fromUtf8("Отмена"), this);
    cancel->setObjectName("CancelButton");
    cancel->setGeometry(329, 134, 75, 24);
    connect(ok, &QPushButton::clicked, this, &TCustomFilterDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &TCustomFilterDialog::reject);

    setTabOrder(op1_, value1_);
    setTabOrder(value1_, and_);
    setTabOrder(and_, or_);
    setTabOrder(or_, op2_);
    setTabOrder(op2_, value2_);
    setTabOrder(value2_, ok);
    setTabOrder(ok, cancel);

    SetInput(engine.CustomFilterInputOf(column));
    CenterOnScreen();
}

TCustomFilterInput TCustomFilterDialog::Input() const
{
    TCustomFilterInput in;
    in.Op1 = static_cast<TCustomOp>(std::max(0, op1_->currentIndex()) + 1);
    in.Value1 = QStringToAnsi(value1_->text());
    in.OrJoin = or_->isChecked();
    in.Op2 = static_cast<TCustomOp>(std::max(0, op2_->currentIndex()));
    in.Value2 = QStringToAnsi(value2_->text());
    // Only a text the user changed is read again.
    if (start_.Kept1 && in.Value1 == start_.Value1)
        in.Kept1 = start_.Kept1;
    if (start_.Kept2 && in.Value2 == start_.Value2)
        in.Kept2 = start_.Kept2;
    return in;
}

void TCustomFilterDialog::SetInput(const TCustomFilterInput& in)
{
    start_ = in;
    const int op1 = in.Op1 == TCustomOp::None ? 0 : static_cast<int>(in.Op1) - 1;
    op1_->setCurrentIndex(op1);
    value1_->setText(AnsiToQString(in.Value1));
    (in.OrJoin ? or_ : and_)->setChecked(true);
    op2_->setCurrentIndex(static_cast<int>(in.Op2));
    value2_->setText(AnsiToQString(in.Value2));
}

void TCustomFilterDialog::accept()
{
    try {
        engine_.ApplyCustomFilter(column_, Input());
    } catch (const TFilterValueError& e) {
        ShowException(e, this);
        QLineEdit* bad = e.Editor == 2 ? value2_ : value1_;
        bad->setFocus(Qt::OtherFocusReason);
        bad->selectAll();
        return;
    } catch (const Exception& e) {
        ShowException(e, this);
        return;
    }
    QDialog::accept();
}

void TCustomFilterDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    CenterOnScreen();
}

void TCustomFilterDialog::CenterOnScreen()
{
    QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = frameGeometry();
    if (frame.width() < width())
        frame = QRect(pos(), size());
    frame.moveCenter(screen->geometry().center());
    move(frame.topLeft());
}
