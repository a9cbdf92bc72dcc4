// The command line: the client's folder given or chosen, and what happens when it cannot
// be entered. The window is found and closed as a user would close it.
#include "support_qt/AppFixture.h"
#include "app/ClientFolder.h"
#include "app/EntryPoint.h"
#include "app/VandrixDiscover.h"
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QPushButton>
#include <QFileDialog>
#include <QSettings>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>

namespace fs = std::filesystem;

namespace {

std::map<std::string, std::string> ReadFiles(const std::string& dir)
{
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) {
            std::ifstream in(e.path(), std::ios::binary);
            files[fs::relative(e.path(), dir).string()] = {std::istreambuf_iterator<char>(in), {}};
        }
    return files;
}

// The main window once it is shown: the number of duplicates it holds, then closed.
struct WindowSeen {
    bool shown = false;
    int duplicates = -1;
    QString folder;
};

std::function<bool()> CloseMainWindow(WindowSeen& seen)
{
    return [&seen] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* window = qobject_cast<TVandrixDiscover*>(w); window && window->isVisible()) {
                seen.shown = true;
                seen.duplicates = window->m_DupMemoryData->GetRecordCount();
                seen.folder = QDir::currentPath();
                window->close();
                return true;
            }
        return false;
    };
}

QFileDialog* ActiveFolderChooser()
{
    return qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
}

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The user's settings go to a folder of the test's own.
        ASSERT_TRUE(config.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        client.MakeClientDatabases();
        client.ExecMain("insert into share_file values(1, 2, 'C:/a', 'C:/b', 'film.avi', 'film2.avi');");
        before = ReadFiles(client.Path());
    }

    int Run(const QStringList& args) { return RunVandrixDiscover(QStringList{"vandrix-discover"} + args); }

    QTemporaryDir config;
    ClientFolder client;                 // made current by its constructor...
    ClientFolder elsewhere;              // ...and then this one: the program starts from here
    std::map<std::string, std::string> before;
};

TEST_F(CommandLine, FolderGivenFromAnotherFolderStartsThereAndChangesNoFile)
{
    WindowSeen seen;
    int rc = -1;
    WhileRunning([&] { rc = Run({QString::fromStdString(client.Path())}); }, CloseMainWindow(seen));
    EXPECT_EQ(rc, 0);
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.duplicates, 1);
    EXPECT_EQ(fs::path(seen.folder.toStdString()), fs::canonical(client.Path()));
    EXPECT_EQ(ReadFiles(client.Path()), before);
    EXPECT_EQ(elsewhere.ListFiles(), "");
    EXPECT_TRUE(LastClientFolder().isEmpty());   // only the chooser remembers
}

TEST_F(CommandLine, FolderThatCannotBeEnteredEndsWithAMessageAndStatusOne)
{
    std::ofstream(elsewhere.Path() + "/plain-file") << "x";
    const std::string here = fs::current_path().string();
    struct Case {
        std::string folder;
        QString message;
    };
    const std::vector<Case> cases{
        {elsewhere.Path() + "/missing", QString::fromUtf8("Папка «%1» не найдена.")},
        {elsewhere.Path() + "/plain-file", QString::fromUtf8("«%1» — не папка.")},
        {"", QString::fromUtf8("Папка «%1» не найдена.")},   // not the current folder
    };
    for (const Case& c : cases) {
        const QString folder = QString::fromStdString(c.folder);
        EXPECT_EQ(EnterClientFolder(folder), c.message.arg(folder));
        bool boxOrWindow = false;
        int rc = -1;
        WhileRunning([&] { rc = Run({folder}); }, [&] { return boxOrWindow = QApplication::activeWindow(); });
        EXPECT_EQ(rc, 1) << c.folder;
        EXPECT_FALSE(boxOrWindow) << c.folder;
        EXPECT_EQ(fs::current_path().string(), here);
    }
    EXPECT_EQ(elsewhere.ListFiles(), "plain-file\n");
    EXPECT_FALSE(fs::exists(elsewhere.Path() + "/missing"));
    EXPECT_EQ(ReadFiles(client.Path()), before);
}

TEST_F(CommandLine, WrongCommandLinesEndWithStatusOne)
{
    for (const QStringList& args : {QStringList{"--no-such-option"}, QStringList{"a", "b"},
                                    QStringList{"--choose-folder", QString::fromStdString(client.Path())}}) {
        bool anything = false;
        int rc = -1;
        WhileRunning([&] { rc = Run(args); }, [&] { return anything = QApplication::activeWindow(); });
        EXPECT_EQ(rc, 1) << args.join(' ').toStdString();
        EXPECT_FALSE(anything);
    }
    EXPECT_EQ(elsewhere.ListFiles(), "");
}

TEST_F(CommandLine, ChosenFolderStartsThereAndIsTheChoosersStartNextTime)
{
    RememberClientFolder(QString::fromStdString(elsewhere.Path()));
    QString startedAt;
    WindowSeen seen;
    const auto closeWindow = CloseMainWindow(seen);
    bool answered = false;
    int rc = -1;
    WhileRunning([&] { rc = Run({"--choose-folder"}); }, [&] {
        if (!answered) {
            QFileDialog* chooser = ActiveFolderChooser();
            if (!chooser)
                return false;
            startedAt = chooser->directory().absolutePath();
            EXPECT_EQ(chooser->fileMode(), QFileDialog::Directory);
            chooser->setDirectory(QString::fromStdString(client.Path()));
            chooser->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->click();
            answered = true;
            return false;
        }
        return closeWindow();
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(fs::path(startedAt.toStdString()), fs::canonical(elsewhere.Path()));
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.duplicates, 1);
    EXPECT_EQ(fs::path(seen.folder.toStdString()), fs::canonical(client.Path()));
    EXPECT_EQ(fs::path(LastClientFolder().toStdString()), fs::canonical(client.Path()));
    EXPECT_EQ(ReadFiles(client.Path()), before);
    EXPECT_EQ(elsewhere.ListFiles(), "");
}

TEST_F(CommandLine, CancelledChooserEndsWithZeroAndTouchesNothing)
{
    const std::string here = fs::current_path().string();
    bool cancelled = false;
    bool windowShown = false;
    int rc = -1;
    WhileRunning([&] { rc = Run({"--choose-folder"}); }, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            windowShown = windowShown || (qobject_cast<TVandrixDiscover*>(w) && w->isVisible());
        QFileDialog* chooser = ActiveFolderChooser();
        if (!chooser)
            return false;
        EXPECT_EQ(fs::path(chooser->directory().absolutePath().toStdString()), fs::canonical(QDir::homePath().toStdString()));
        chooser->reject();
        return cancelled = true;
    });
    EXPECT_TRUE(cancelled);
    EXPECT_FALSE(windowShown);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(fs::current_path().string(), here);
    EXPECT_EQ(elsewhere.ListFiles(), "");
    EXPECT_TRUE(LastClientFolder().isEmpty());
    EXPECT_FALSE(QDir(config.path()).exists("vandrix-discover"));   // Qt's dialog keeps its own
}

TEST_F(CommandLine, PlainStartStaysInTheCurrentFolder)
{
    // Without Settings/ here: the engine's message, status 0, nothing made.
    int rc = -1;
    const BoxSeen box = WithModalBox([&] { rc = Run({}); });
    ASSERT_TRUE(box.seen);
    EXPECT_EQ(box.text.toStdString(), "unable to open database.");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(elsewhere.ListFiles(), "");
}

} // namespace
