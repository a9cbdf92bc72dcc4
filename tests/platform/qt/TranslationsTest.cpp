// Qt's own texts follow the locale once its translations are installed: the standard
// buttons of a Yes/No/Cancel question and of the file dialog.
#include "platform/qt/QtPlatform.h"
#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

QStringList QuestionButtons()
{
    QMessageBox box(QMessageBox::Question, "Confirm", QString::fromUtf8("Открыть сохраненый файл?"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    return {box.button(QMessageBox::Yes)->text(), box.button(QMessageBox::No)->text(),
            box.button(QMessageBox::Cancel)->text()};
}

QString FileDialogCancel()
{
    QFileDialog dialog(nullptr);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    return buttons && buttons->button(QDialogButtonBox::Cancel) ? buttons->button(QDialogButtonBox::Cancel)->text()
                                                                : QString();
}

TEST(QtTranslations, RussianLocaleTurnsTheStandardButtonsRussianAndBackAgain)
{
    const QStringList english{"&Yes", "&No", "Cancel"};
    ASSERT_TRUE(InstallQtTranslations(QLocale(QLocale::Russian, QLocale::Russia)));
    EXPECT_EQ(QuestionButtons(), (QStringList{QString::fromUtf8("&Да"), QString::fromUtf8("&Нет"),
                                              QString::fromUtf8("Отмена")}));
    EXPECT_EQ(FileDialogCancel(), QString::fromUtf8("Отмена"));

    // A language Qt has no catalogue for takes the Russian one away again.
    EXPECT_FALSE(InstallQtTranslations(QLocale::c()));
    EXPECT_EQ(QuestionButtons(), english);
    EXPECT_EQ(FileDialogCancel(), "Cancel");
}

} // namespace
