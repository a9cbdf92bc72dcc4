// The export command end to end on the real dialogs: the save dialog, the file, the
// question and the shell's "open".
#include "app/GridLayouts.h"
#include "export/qt/ExportCommand.h"
#include "grid/qt/DataGrid.h"
#include "platform/Cp1251.h"
#include "platform/Exception.h"
#include "platform/qt/QtPlatform.h"
#include "support/DbFixture.h"
#include "views/Tables.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleFactory>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// Handles the modal windows that appear while an action runs, one handler per window,
// in order. A window beyond the handlers is recorded and rejected.
class TModalScript {
public:
    using THandler = std::function<void(QWidget*)>;
    explicit TModalScript(std::vector<THandler> handlers) : handlers_(std::move(handlers)) {}

    std::vector<QString> Run(const std::function<void()>& action)
    {
        QTimer timer;
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || modal == last_ || !modal->isVisible())
                return;
            last_ = modal;
            seen_.push_back(modal->objectName());
            if (next_ < handlers_.size())
                handlers_[next_++](modal);
            else if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
        });
        timer.start();
        action();
        timer.stop();
        return seen_;
    }

private:
    std::vector<THandler> handlers_;
    size_t next_ = 0;
    QWidget* last_ = nullptr;
    std::vector<QString> seen_;
};

// The statistics grid with a few rows.
struct TExportFixture : ::testing::Test {
    std::unique_ptr<TRecordTable> table = MakeRatioTable();
    TDataSource source{table.get()};
    QWidget owner;
    TDataGrid* grid = nullptr;
    vdxtest::TempFolder folder;
    std::vector<std::string> opened;

    void SetUp() override
    {
        grid = new TDataGrid(&owner);
        ConfigureRatioGrid(grid->Engine());
        grid->Engine().SetDataSource(&source);
        grid->SettingsChanged();
        table->OpenTable();
        table->FreezeControls();
        int id = 0;
        for (const char* hub : {"Хаб-1", "Hub 2"}) {
            for (const char* nick : {"Анна", "zed"}) {
                table->BeginAppend();
                table->SetInteger(FieldByName(*table, "ID"), ++id);
                table->SetFloat(FieldByName(*table, "upload"), 100.0 * id);
                table->SetFloat(FieldByName(*table, "download"), 10.0 * id);
                table->SetString(FieldByName(*table, "userip"), "10.0.0." + std::to_string(id));
                table->SetString(FieldByName(*table, "nick"), A(nick));
                table->SetString(FieldByName(*table, "hub"), A(hub));
                table->PostRecord();
            }
        }
        table->ReleaseControls();
        SetShellOpenHook([this](const std::string& file) { opened.push_back(file); });
        SetQtSaveDialogForced(true);
    }
    void TearDown() override
    {
        SetShellOpenHook(nullptr);
        SetQtSaveDialogForced(false);
        delete grid;
    }

    // Chooses `name` in the save dialog, with the filter entry `filter` when it is not
    // negative, and presses its Save button.
    static TModalScript::THandler Choose(const QString& name, int filter = -1)
    {
        return [name, filter](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            ASSERT_NE(dialog, nullptr) << w->metaObject()->className();
            if (filter >= 0) {
                auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
                ASSERT_NE(types, nullptr);
                // As the user picks it: the dialog follows the user's choice, not a change in code.
                types->setFocus();
                for (int i = types->currentIndex(); i < filter; ++i)
                    QTest::keyClick(types, Qt::Key_Down);
                ASSERT_EQ(types->currentIndex(), filter);
            }
            auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
            ASSERT_NE(edit, nullptr);
            edit->setText(name);
            auto* buttons = dialog->findChild<QDialogButtonBox*>("buttonBox");
            ASSERT_NE(buttons, nullptr);
            QPushButton* save = buttons->button(QDialogButtonBox::Save);
            ASSERT_NE(save, nullptr);
            QTest::mouseClick(save, Qt::LeftButton);
        };
    }
    static TModalScript::THandler Answer(QMessageBox::StandardButton button)
    {
        return [button](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            ASSERT_NE(box, nullptr) << w->metaObject()->className();
            QTest::mouseClick(box->button(button), Qt::LeftButton);
        };
    }
    std::vector<QString> Run(std::vector<TModalScript::THandler> handlers)
    {
        TModalScript script(std::move(handlers));
        return script.Run([this] { RunExportCommand(&owner, *grid); });
    }
    QString Path(const std::string& name) const { return QString::fromStdString(folder.File(name)); }
};

std::vector<std::string> Entries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

const std::string kBof = std::string("\x09\x04\x06\x00\x00\x00\x10\x00\x00\x00", 10);
const std::string kZip = "PK\x03\x04";   // an .xlsx workbook is a zip archive

} // namespace

TEST_F(TExportFixture, DialogSettingsThenYesOpensExactlyTheSavedFile)
{
    auto checkDialog = [&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->objectName(), "ExportSaveDialog");
        EXPECT_EQ(dialog->parentWidget(), &owner);
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(dialog->defaultSuffix(), "xls");
        EXPECT_EQ(dialog->nameFilters(),
                  (QStringList{"Microsoft Excel (*.xls)", "Microsoft Excel 2007 (*.xlsx)"}));
        EXPECT_EQ(dialog->selectedNameFilter(), "Microsoft Excel (*.xls)");
        EXPECT_TRUE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
        EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
        auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->text(), "vandrixdiscover_export.xls");
        // A name without an extension gets ".xls".
        Choose(Path("report"))(w);
    };
    auto checkQuestion = [&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        // The file is complete before the question is asked.
        EXPECT_EQ(vdxtest::ReadFileBytes(folder.File("report.xls")).substr(0, 10), kBof);
        EXPECT_EQ(box->objectName(), "OpenQuestion");
        EXPECT_EQ(box->windowTitle(), "Confirm");
        EXPECT_EQ(box->text(), QString::fromUtf8("Открыть сохраненый файл?"));
        EXPECT_EQ(box->icon(), QMessageBox::Question);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Yes));
        EXPECT_EQ(box->escapeButton(), box->button(QMessageBox::Cancel));
        EXPECT_EQ(box->button(QMessageBox::Yes)->text(), "&Yes");
        EXPECT_EQ(box->button(QMessageBox::No)->text(), "&No");
        EXPECT_EQ(box->button(QMessageBox::Cancel)->text(), "Cancel");
        EXPECT_LT(box->button(QMessageBox::Yes)->x(), box->button(QMessageBox::No)->x());
        EXPECT_LT(box->button(QMessageBox::No)->x(), box->button(QMessageBox::Cancel)->x());
        EXPECT_TRUE(opened.empty());
        Answer(QMessageBox::Yes)(w);
    };
    EXPECT_EQ(Run({checkDialog, checkQuestion}), (std::vector<QString>{"ExportSaveDialog", "OpenQuestion"}));
    EXPECT_EQ(opened, std::vector<std::string>{folder.File("report.xls")});
    EXPECT_EQ(Entries(folder.Path()), std::vector<std::string>{"report.xls"});
}

TEST_F(TExportFixture, AnythingButYesOpensNothing)
{
    struct Case {
        const char* name;
        TModalScript::THandler answer;
    };
    const std::vector<Case> cases = {
        {"No", Answer(QMessageBox::No)},
        {"Cancel", Answer(QMessageBox::Cancel)},
        {"Escape", [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); }},
        {"closed", [](QWidget* w) { w->close(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        opened.clear();
        const std::string file = folder.File(std::string(c.name) + ".xls");
        EXPECT_EQ(Run({Choose(QString::fromStdString(file)), c.answer}),
                  (std::vector<QString>{"ExportSaveDialog", "OpenQuestion"}));
        EXPECT_TRUE(opened.empty());
        EXPECT_EQ(vdxtest::ReadFileBytes(file).substr(0, 10), kBof);
    }
}

TEST_F(TExportFixture, ExistingFileIsReplacedWithoutAsking)
{
    const std::string file = folder.File("vandrixdiscover_export.xls");
    {
        FILE* out = std::fopen(file.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        std::fputs("old content", out);
        std::fclose(out);
    }
    EXPECT_EQ(Run({Choose(QString::fromStdString(file)), Answer(QMessageBox::No)}),
              (std::vector<QString>{"ExportSaveDialog", "OpenQuestion"}));
    const std::string bytes = vdxtest::ReadFileBytes(file);
    EXPECT_EQ(bytes.substr(0, 10), kBof);
    // The statistics grid: a group row per hub, written whether collapsed or not.
    EXPECT_NE(bytes.find(A("Хаб : Хаб-1 ")), std::string::npos);
    EXPECT_NE(bytes.find(A("Хаб : Hub 2 ")), std::string::npos);
}

TEST_F(TExportFixture, CancellingTheDialogWritesNothingAndAsksNothing)
{
    auto cancel = [](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); };
    EXPECT_EQ(Run({cancel}), std::vector<QString>{"ExportSaveDialog"});
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(Entries(folder.Path()), std::vector<std::string>{});
}

TEST_F(TExportFixture, AnErrorLeavesTheCommandBeforeTheQuestion)
{
    const std::string file = folder.File("missing/out.xls");
    std::string message;
    TModalScript script({Choose(QString::fromStdString(file))});
    const std::vector<QString> seen = script.Run([&] {
        try {
            RunExportCommand(&owner, *grid);
        } catch (const Exception& e) {
            message = e.Message;
        }
    });
    EXPECT_EQ(message, "Cannot create file " + file);
    EXPECT_EQ(seen, std::vector<QString>{"ExportSaveDialog"});
    EXPECT_TRUE(opened.empty());
}

TEST_F(TExportFixture, EveryRunProposesTheDefaultNameAgain)
{
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        auto check = [&](QWidget* w) {
            EXPECT_EQ(w->findChild<QLineEdit*>("fileNameEdit")->text(), "vandrixdiscover_export.xls");
            Choose(Path("run" + std::to_string(run) + ".xls"))(w);
        };
        Run({check, Answer(QMessageBox::No)});
    }
    EXPECT_EQ(Entries(folder.Path()), (std::vector<std::string>{"run0.xls", "run1.xls"}));
}

TEST_F(TExportFixture, QuestionKeepsYesNoCancelOrderUnderAReversedDesktopLayout)
{
    class TGnomeOrder : public QProxyStyle {
    public:
        using QProxyStyle::QProxyStyle;
        int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                      QStyleHintReturn* data) const override
        {
            if (hint == SH_DialogButtonLayout)
                return QDialogButtonBox::GnomeLayout;
            return QProxyStyle::styleHint(hint, option, widget, data);
        }
    };
    const QString original = QApplication::style()->name();
    QApplication::setStyle(new TGnomeOrder(QStyleFactory::create(original)));
    auto check = [&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_LT(box->button(QMessageBox::Yes)->x(), box->button(QMessageBox::No)->x());
        EXPECT_LT(box->button(QMessageBox::No)->x(), box->button(QMessageBox::Cancel)->x());
        Answer(QMessageBox::No)(w);
    };
    Run({Choose(Path("gnome.xls")), check});
    QApplication::setStyle(QStyleFactory::create(original));
}

TEST_F(TExportFixture, TheNameChoosesTheWriter)
{
    struct Case {
        const char* typed;
        int filter;              // -1: the dialog's first, .xls
        const char* written;     // the file that appears
        bool xlsx;
    };
    const std::vector<Case> cases = {
        {"a.xlsx", -1, "a.xlsx", true},
        {"b.XLSX", -1, "b.XLSX", true},
        {"c.xls", -1, "c.xls", false},
        {"d", -1, "d.xls", false},
        {"e", 1, "e.xlsx", true},
        {"f.xls", 1, "f.xls", false},
        {"g.csv", -1, "g.csv", false},
        {"h.XlSx.bak", -1, "h.XlSx.bak", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        opened.clear();
        EXPECT_EQ(Run({Choose(Path(c.typed), c.filter), Answer(QMessageBox::Yes)}),
                  (std::vector<QString>{"ExportSaveDialog", "OpenQuestion"}));
        const std::string file = folder.File(c.written);
        EXPECT_EQ(opened, std::vector<std::string>{file});
        const std::string bytes = vdxtest::ReadFileBytes(file);
        EXPECT_EQ(bytes.substr(0, c.xlsx ? kZip.size() : kBof.size()), c.xlsx ? kZip : kBof);
    }
    EXPECT_EQ(Entries(folder.Path()).size(), cases.size());
}
