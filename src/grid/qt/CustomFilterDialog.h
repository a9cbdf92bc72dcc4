#pragma once
// The custom filter dialog of one column: up to two conditions joined by AND or OR.
#include "grid/GridEngine.h"
#include <QDialog>

class QComboBox;
class QLineEdit;
class QRadioButton;

class TCustomFilterDialog : public QDialog {
    Q_OBJECT
public:
    TCustomFilterDialog(TGridEngine& engine, int column, QWidget* parent = nullptr);

    TCustomFilterInput Input() const;
    void SetInput(const TCustomFilterInput& input);

    // OK: applies the conditions; a value that does not convert keeps the dialog open.
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void CenterOnScreen();

    TGridEngine& engine_;
    int column_;
    QComboBox* op1_;
    QComboBox* op2_;
    QLineEdit* value1_;
    QLineEdit* value2_;
    QRadioButton* and_;
    QRadioButton* or_;
    TCustomFilterInput start_;   // what the dialog opened with: its texts and kept values
};
