#include "app/VandrixDiscover.h"
#include "app/GridLayouts.h"
#include "export/qt/ExportCommand.h"
#include "platform/Cp1251.h"
#include "platform/qt/QtPlatform.h"
#include "views/Loads.h"
#include "views/Tables.h"
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <sqlite3.h>

static void InitResources()
{
    // The icons live in a static library: register them before first use.
    Q_INIT_RESOURCE(resources);
}

namespace {

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

// A page whose strip (if any) stands above a grid that fills the rest.
QVBoxLayout* PageLayout(QWidget* page)
{
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

} // namespace

TVandrixDiscover::TVandrixDiscover(QWidget* owner) : QMainWindow(owner)
{
    // 1. The designed layout.
    BuildLayout();
    // 2. Both connections, closed.
    m_MainConnection.emplace();
    m_LogConnection.emplace();
    // 3. The limit box shows "100".
    m_LimitBox->setCurrentIndex(0);
    // 4. The duplicates page is active.
    SelectPage(0);
    // 5, 6. Open both databases.
    for (auto [connection, file] : {std::pair{&*m_MainConnection, "./Settings/Vandrix.sqlite"},
                                    std::pair{&*m_LogConnection, "./Settings/Vandrix_log.sqlite"}}) {
        connection->open(file);
        connection->execute("PRAGMA page_size=4096;");
        connection->execute("PRAGMA temp_store=MEMORY;");
    }
    // 7, 8. Fill the duplicates page before the window is first shown.
    m_DupMemoryData->OpenTable();
    LoadDuplicates(*m_MainConnection, *m_DupMemoryData);
}

TVandrixDiscover::~TVandrixDiscover()
{
    m_LogConnection.reset();
    m_MainConnection.reset();
    // The grids go before the record tables they are attached to.
    delete takeCentralWidget();
}

void TVandrixDiscover::BuildLayout()
{
    InitResources();
    setObjectName("TVandrixDiscover");
    setWindowTitle(QString("Vandrix discover (r9) SQLite ") + sqlite3_libversion());
    QFont font("MS Sans Serif");
    font.setPointSize(8);
    setFont(font);
    // The designed position is the frame's; the size is the client area's.
    resize(774, 530);
    move(108, 209);
    setWindowIcon(QIcon(":/icons/vandrix-discover.png"));

    m_DupMemoryData = MakeDupTable();
    m_RatioMemoryData = MakeRatioTable();
    m_LogsData = MakeLogTable();
    m_DupDSource = std::make_unique<TDataSource>(m_DupMemoryData.get());
    m_DataSource = std::make_unique<TDataSource>(m_RatioMemoryData.get());
    m_LogsDataSource = std::make_unique<TDataSource>(m_LogsData.get());

    m_ToolBar = new QToolBar(this);
    m_ToolBar->setObjectName("m_ToolBar");
    m_ToolBar->setMovable(false);
    m_ToolBar->setFloatable(false);
    m_ToolBar->setIconSize(QSize(16, 16));
    m_ToolBar->setFixedHeight(29);
    m_ToolBar->setContextMenuPolicy(Qt::PreventContextMenu);
    addToolBar(Qt::TopToolBarArea, m_ToolBar);
    m_ToolBar->addSeparator()->setObjectName("ToolButton2");
    m_ExportToolButton = new QToolButton(m_ToolBar);
    m_ExportToolButton->setObjectName("m_ExportToolButton");
    m_ExportToolButton->setIcon(QIcon(":/icons/export-xls.png"));
    m_ExportToolButton->setToolTip(Q("Экспорт в MS Excel"));
    m_ExportToolButton->setAutoRaise(true);
    m_ExportToolButton->setFocusPolicy(Qt::NoFocus);
    m_ToolBar->addWidget(m_ExportToolButton);
    connect(m_ExportToolButton, &QToolButton::clicked, this,
            [this] { RunHandler([this] { m_ExportToolButtonClick(); }, this); });

    m_MainPageControl = new QTabWidget(this);
    m_MainPageControl->setObjectName("m_MainPageControl");
    m_MainPageControl->setDocumentMode(false);
    setCentralWidget(m_MainPageControl);

    // Duplicates page.
    m_dupTabSheet = new QWidget;
    m_dupTabSheet->setObjectName("m_dupTabSheet");
    m_DupDBGrid = new TDataGrid(m_dupTabSheet);
    m_DupDBGrid->setObjectName("m_DupDBGrid");
    ConfigureDupGrid(m_DupDBGrid->Engine());
    m_DupDBGrid->Engine().SetDataSource(m_DupDSource.get());
    m_DupDBGrid->SettingsChanged();
    PageLayout(m_dupTabSheet)->addWidget(m_DupDBGrid);
    m_MainPageControl->addTab(m_dupTabSheet, Q("Дубли в шаре"));

    // Statistics page.
    m_v_ratioTabSheet = new QWidget;
    m_v_ratioTabSheet->setObjectName("m_v_ratioTabSheet");
    m_FilterPanel = new QFrame(m_v_ratioTabSheet);
    m_FilterPanel->setObjectName("m_FilterPanel");
    m_FilterPanel->setFrameShape(QFrame::NoFrame);
    m_FilterPanel->setFixedHeight(25);
    m_ShowAllIP = new QCheckBox(Q("Показать все подключения"), m_FilterPanel);
    m_ShowAllIP->setObjectName("m_ShowAllIP");
    m_ShowAllIP->setGeometry(12, 2, 205, 17);
    m_ShowAllIP->setChecked(false);
    connect(m_ShowAllIP, &QCheckBox::clicked, this,
            [this] { RunHandler([this] { m_ShowAllIPClick(); }, this); });
    m_vdx_ratio_DBGrid = new TDataGrid(m_v_ratioTabSheet);
    m_vdx_ratio_DBGrid->setObjectName("m_vdx_ratio_DBGrid");
    ConfigureRatioGrid(m_vdx_ratio_DBGrid->Engine());
    m_vdx_ratio_DBGrid->Engine().SetDataSource(m_DataSource.get());
    m_vdx_ratio_DBGrid->OnCustomDrawCell =
        [this](TDataGrid* Sender, QPainter* ACanvas, const QRect& ARect, TGridNode* ANode,
               TDataGridColumn* AColumn, bool ASelected, bool AFocused, bool ANewItemRow,
               AnsiString& AText, TColor& AColor, QFont& AFont, TAlignment& AAlignment, bool& ADone) {
            m_vdx_ratio_DBGridCustomDrawCell(Sender, ACanvas, ARect, ANode, AColumn, ASelected,
                                             AFocused, ANewItemRow, AText, AColor, AFont, AAlignment,
                                             ADone);
        };
    m_vdx_ratio_DBGrid->SettingsChanged();
    {
        QVBoxLayout* layout = PageLayout(m_v_ratioTabSheet);
        layout->addWidget(m_FilterPanel);
        layout->addWidget(m_vdx_ratio_DBGrid);
    }
    m_MainPageControl->addTab(m_v_ratioTabSheet, Q("Статистика upload/download"));

    // Log page.
    m_LogTabSheet = new QWidget;
    m_LogTabSheet->setObjectName("m_LogTabSheet");
    m_LogFilterPanel = new QFrame(m_LogTabSheet);
    m_LogFilterPanel->setObjectName("m_LogFilterPanel");
    m_LogFilterPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_LogFilterPanel->setFixedHeight(39);
    m_SearchButton = new QPushButton(Q("Открыть"), m_LogFilterPanel);
    m_SearchButton->setObjectName("m_SearchButton");
    m_SearchButton->setGeometry(8, 7, 89, 25);
    m_SearchButton->setDefault(true);
    connect(m_SearchButton, &QPushButton::clicked, this,
            [this] { RunHandler([this] { m_SearchButtonClick(); }, this); });
    Label1 = new QLabel(Q("Кол-во записей"), m_LogFilterPanel);
    Label1->setObjectName("Label1");
    Label1->setGeometry(106, 12, 79, 13);
    m_LimitBox = new QComboBox(m_LogFilterPanel);
    m_LimitBox->setObjectName("m_LimitBox");
    m_LimitBox->setEditable(false);
    m_LimitBox->setGeometry(192, 8, 81, 21);
    m_LimitBox->addItems({"100", "1000", "10000", Q("Все")});
    m_LimitBox->setCurrentIndex(-1);
    m_LogsDBGrid = new TDataGrid(m_LogTabSheet);
    m_LogsDBGrid->setObjectName("m_LogsDBGrid");
    ConfigureLogGrid(m_LogsDBGrid->Engine());
    m_LogsDBGrid->Engine().SetDataSource(m_LogsDataSource.get());
    m_LogsDBGrid->SettingsChanged();
    {
        QVBoxLayout* layout = PageLayout(m_LogTabSheet);
        layout->addWidget(m_LogFilterPanel);
        layout->addWidget(m_LogsDBGrid);
    }
    m_MainPageControl->addTab(m_LogTabSheet, Q("Логи"));

    // Designed tab orders: the log page's strip (button, limit box) before its grid, the
    // statistics page's grid before its strip.
    setTabOrder(m_SearchButton, m_LimitBox);
    setTabOrder(m_LimitBox, m_LogsDBGrid);
    setTabOrder(m_vdx_ratio_DBGrid, m_ShowAllIP);

    connect(m_MainPageControl, &QTabWidget::currentChanged, this, [this](int) {
        if (!programSelectsPage_)
            RunHandler([this] { m_MainPageControlChange(); }, this);
    });
}

void TVandrixDiscover::SelectPage(int index)
{
    programSelectsPage_ = true;
    m_MainPageControl->setCurrentIndex(index);
    programSelectsPage_ = false;
}

void TVandrixDiscover::keyPressEvent(QKeyEvent* event)
{
    // Enter that no control consumed presses the window's default button; the keypad's
    // Enter as well as the main one.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        m_SearchButton->click();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void TVandrixDiscover::m_MainPageControlChange()
{
    if (m_MainPageControl->currentWidget() == m_v_ratioTabSheet)
        m_ShowAllIPClick();
}

void TVandrixDiscover::m_ShowAllIPClick()
{
    LoadRatio(*m_MainConnection, *m_RatioMemoryData, m_ShowAllIP->isChecked());
}

void TVandrixDiscover::m_SearchButtonClick()
{
    LoadLog(*m_LogConnection, *m_LogsData, QStringToAnsi(m_LimitBox->currentText()));
}

void TVandrixDiscover::m_ExportToolButtonClick()
{
    QWidget* page = m_MainPageControl->currentWidget();
    TDataGrid* grid = nullptr;
    if (page == m_dupTabSheet)
        grid = m_DupDBGrid;
    else if (page == m_v_ratioTabSheet)
        grid = m_vdx_ratio_DBGrid;
    else if (page == m_LogTabSheet)
        grid = m_LogsDBGrid;
    if (grid)
        RunExportCommand(this, *grid);
}

void TVandrixDiscover::m_vdx_ratio_DBGridCustomDrawCell(
    TDataGrid* Sender, QPainter*, const QRect&, TGridNode* ANode, TDataGridColumn* AColumn, bool, bool,
    bool, AnsiString&, TColor& AColor, QFont&, TAlignment&, bool&)
{
    if (!AColumn || !ANode)
        return;
    if (AColumn->Name != "m_vdx_ratio_DBGridupload" && AColumn->Name != "m_vdx_ratio_DBGriddownload")
        return;
    const TGridValue v = Sender->Engine().Value(ANode, AColumn->Index());
    bool marked = v.IsNull();
    if (!marked) {
        switch (v.kind) {
        case TGridValue::Integer: marked = v.i <= 1; break;
        case TGridValue::Float: marked = !(v.f > 1); break;
        default: marked = false; break;
        }
    }
    if (marked)
        AColor = clBtnFace;
}
