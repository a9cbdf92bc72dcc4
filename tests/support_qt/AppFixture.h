#pragma once
// A client folder in a temporary directory, made current for the test, with small
// databases of the client's shape, and helpers to read what a modal box says.
#include <QString>
#include <functional>
#include <string>

class QWidget;

class ClientFolder {
public:
    ClientFolder();            // a fresh temporary folder, made the working directory
    ~ClientFolder();           // the previous working directory comes back; the folder goes
    const std::string& Path() const { return path_; }
    std::string Settings() const { return path_ + "/Settings"; }
    void MakeSettings() const;
    // Both databases with the views and table the viewer reads (rows are added by Exec).
    void MakeClientDatabases() const;
    void ExecMain(const std::string& sql) const;
    void ExecLog(const std::string& sql) const;
    std::string ListFiles() const;   // every file below the folder, sorted, one per line

private:
    std::string path_;
    std::string previous_;
};

void ExecSql(const std::string& file, const std::string& sql);

// Runs `action`; the first modal box that appears meanwhile is read and closed by
// pressing `button` (a QMessageBox::StandardButton). Returns its title and text, "" if none.
struct BoxSeen {
    QString title;
    QString text;
    bool seen = false;
};
BoxSeen WithModalBox(const std::function<void()>& action, int button = 0x00000400 /* Ok */);

// Runs `action`; meanwhile `step` is called every 20 ms until it returns true (it finds a
// window and answers or closes it). After about five seconds without success every window
// is closed, so that a test fails instead of hanging.
void WhileRunning(const std::function<void()>& action, const std::function<bool()>& step);
