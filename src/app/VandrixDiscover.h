#pragma once
// The main window: three pages of grids over the client's two databases.
#include "db/sqlite3x.h"
#include "grid/qt/DataGrid.h"
#include "table/RecordTable.h"
#include <QMainWindow>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QTabWidget;
class QToolBar;
class QToolButton;

class TVandrixDiscover : public QMainWindow {
    Q_OBJECT
public:
    // Opens both databases and fills the duplicates page; throws on failure.
    explicit TVandrixDiscover(QWidget* owner = nullptr);
    ~TVandrixDiscover() override;

    // Handlers, public so that tests can drive them as the toolkit would.
    void m_ExportToolButtonClick();
    void m_MainPageControlChange();
    void m_ShowAllIPClick();
    void m_SearchButtonClick();
    void m_vdx_ratio_DBGridCustomDrawCell(TDataGrid* Sender, QPainter* ACanvas, const QRect& ARect,
                                          TGridNode* ANode, TDataGridColumn* AColumn, bool ASelected,
                                          bool AFocused, bool ANewItemRow, AnsiString& AText,
                                          TColor& AColor, QFont& AFont, TAlignment& AAlignment,
                                          bool& ADone);

    // Selects a page from the program: raises no page-change notification.
    void SelectPage(int index);

    // Controls, named as designed.
    QToolBar* m_ToolBar = nullptr;
    QToolButton* m_ExportToolButton = nullptr;
    QTabWidget* m_MainPageControl = nullptr;
    QWidget* m_dupTabSheet = nullptr;
    QWidget* m_v_ratioTabSheet = nullptr;
    QWidget* m_LogTabSheet = nullptr;
    TDataGrid* m_DupDBGrid = nullptr;
    QFrame* m_FilterPanel = nullptr;
    QCheckBox* m_ShowAllIP = nullptr;
    TDataGrid* m_vdx_ratio_DBGrid = nullptr;
    QFrame* m_LogFilterPanel = nullptr;
    QPushButton* m_SearchButton = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* m_LimitBox = nullptr;
    TDataGrid* m_LogsDBGrid = nullptr;

    std::unique_ptr<TRecordTable> m_DupMemoryData, m_RatioMemoryData, m_LogsData;
    std::unique_ptr<TDataSource> m_DupDSource, m_DataSource, m_LogsDataSource;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildLayout();
    bool programSelectsPage_ = false;

    // Declared last so that they close first, log before main.
    std::optional<sqlite3x::sqlite3_connection> m_MainConnection;
    std::optional<sqlite3x::sqlite3_connection> m_LogConnection;
};
