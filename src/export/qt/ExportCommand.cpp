#include "export/qt/ExportCommand.h"
#include "export/GridExport.h"
#include "grid/qt/DataGrid.h"
#include "platform/qt/QtPlatform.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProxyStyle>
#include <QStringList>

namespace {

const char* const kFilter = "Microsoft Excel (*.xls)|*.xls|Microsoft Excel 2007 (*.xlsx)|*.xlsx";

bool& QtDialogForced()
{
    static bool forced = false;
    return forced;
}

// The extension a filter entry's pattern gives a bare name: "*.xlsx" gives "xlsx".
QString SuffixOf(const QString& nameFilter)
{
    const int dot = nameFilter.lastIndexOf("*.");
    const int close = nameFilter.indexOf(')', dot);
    return dot < 0 ? QString("xls") : nameFilter.mid(dot + 2, close < 0 ? -1 : close - dot - 2);
}

// A name without an extension gets the chosen filter's, whatever the dialog did.
QString WithSuffix(const QString& file, const QString& nameFilter)
{
    if (file.isEmpty() || !QFileInfo(file).suffix().isEmpty())
        return file;
    return file + '.' + SuffixOf(nameFilter);
}

// "description|pattern|description|pattern" as the toolkit's name filters. Descriptions
// that already show their pattern in brackets are kept as they are.
QStringList NameFilters(const QString& filter)
{
    const QStringList parts = filter.split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        const QString patterns = QString(parts[i + 1]).replace(';', ' ');
        out << (description.contains('(' + patterns + ')') ? description
                                                           : description + " (" + patterns + ")");
    }
    return out;
}

// Keeps Yes, No, Cancel in that order whatever the desktop's button layout.
class TWinButtonOrder : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_DialogButtonLayout)
            return QDialogButtonBox::WinLayout;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

bool AskToOpen(QWidget* owner)
{
    TWinButtonOrder order;   // outlives the box that uses it
    QMessageBox box(QMessageBox::Question, "Confirm", QString::fromUtf8("Открыть сохраненый файл?"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, owner);
    box.setObjectName("OpenQuestion");
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    if (auto* buttons = box.findChild<QDialogButtonBox*>())
        buttons->setStyle(&order);
    return box.exec() == QMessageBox::Yes;
}

} // namespace

void SetQtSaveDialogForced(bool forced)
{
    QtDialogForced() = forced;
}

void RunExportCommand(QWidget* owner, TDataGrid& grid)
{
    QFileDialog dialog(owner);
    dialog.setObjectName("ExportSaveDialog");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (QtDialogForced())
        dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setDefaultSuffix("xls");
    dialog.setNameFilters(NameFilters(kFilter));
    dialog.selectFile("vandrixdiscover_export.xls");
    QObject::connect(&dialog, &QFileDialog::filterSelected,
                     [&dialog](const QString& filter) { dialog.setDefaultSuffix(SuffixOf(filter)); });
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QStringList files = dialog.selectedFiles();
    const QString chosen = WithSuffix(files.isEmpty() ? QString() : files.first(), dialog.selectedNameFilter());
    const std::string fileName = QFile::encodeName(chosen).toStdString();

    // The name's extension picks the writer: .xlsx in any case, else BIFF4.
    SaveGridAs(grid.Engine(), fileName, true);

    if (AskToOpen(owner))
        ShellOpen(fileName);
}
