#pragma once
// The drop-down list of a column header's filter button.
#include <QListWidget>
#include <functional>

class TFilterDropDown : public QListWidget {
    Q_OBJECT
public:
    explicit TFilterDropDown(QWidget* parent);

    // Shows the entries under a header cell (global coordinates), visibleRows at once,
    // with the entry `current` (-1: none) selected.
    void Popup(const QStringList& texts, int current, const QRect& headerCell, int visibleRows,
               const QFont& font);

    std::function<void(int index)> OnChoose;   // the user picked an entry; the list is hidden

protected:
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void Choose(int row);
};
