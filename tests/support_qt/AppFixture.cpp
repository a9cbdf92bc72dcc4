#include "support_qt/AppFixture.h"
#include <QApplication>
#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <sqlite3.h>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

ClientFolder::ClientFolder()
{
    char tmpl[] = "/tmp/vdx-app-XXXXXX";
    if (!mkdtemp(tmpl))
        throw std::runtime_error("mkdtemp");
    path_ = tmpl;
    previous_ = fs::current_path().string();
    fs::current_path(path_);
}

ClientFolder::~ClientFolder()
{
    std::error_code ec;
    fs::current_path(previous_, ec);
    fs::remove_all(path_, ec);
}

void ClientFolder::MakeSettings() const { fs::create_directories(Settings()); }

void ExecSql(const std::string& file, const std::string& sql)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK)
        throw std::runtime_error("open " + file);
    char* err = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
    std::string msg = err ? err : "";
    sqlite3_free(err);
    sqlite3_close(db);
    if (rc != SQLITE_OK)
        throw std::runtime_error(msg);
}

void ClientFolder::MakeClientDatabases() const
{
    MakeSettings();
    ExecMain(
        "create table share_file(tth_id integer, cnt_dup integer, path_1 text, path_2 text,"
        " name_max text, name_min text);"
        "create view v_vdx_dup_file as select * from share_file;"
        "create table ratio(id integer primary key, upload integer, download integer, userip text,"
        " nick text, hub text);"
        "create view v_vdx_ratio as select id, upload, download, userip, nick, hub from ratio;");
    ExecLog("create table vdx_log(id integer primary key, file text, sdate text, body text, nick text);");
}

void ClientFolder::ExecMain(const std::string& sql) const { ExecSql(Settings() + "/Vandrix.sqlite", sql); }
void ClientFolder::ExecLog(const std::string& sql) const { ExecSql(Settings() + "/Vandrix_log.sqlite", sql); }

std::string ClientFolder::ListFiles() const
{
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(path_))
        names.push_back(fs::relative(e.path(), path_).string());
    std::sort(names.begin(), names.end());
    std::string out;
    for (const auto& n : names)
        out += n + "\n";
    return out;
}

BoxSeen WithModalBox(const std::function<void()>& action, int button)
{
    BoxSeen seen;
    QTimer timer;
    timer.setInterval(20);
    int ticks = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            // No box but a window that runs its own loop: end it rather than hang.
            if (++ticks > 250)
                QApplication::closeAllWindows();
            return;
        }
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.seen = true;
        if (QAbstractButton* b = box->button(static_cast<QMessageBox::StandardButton>(button)))
            b->click();
        else
            box->reject();
    });
    timer.start();
    action();
    timer.stop();
    return seen;
}

void WhileRunning(const std::function<void()>& action, const std::function<bool()>& step)
{
    QTimer timer;
    timer.setInterval(20);
    int ticks = 0;
    bool done = false;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (done)
            return;
        if (step()) {
            done = true;
            return;
        }
        if (++ticks > 250) {
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
            QApplication::closeAllWindows();
        }
    });
    timer.start();
    action();
    timer.stop();
}
