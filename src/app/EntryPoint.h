#pragma once
// The program's start: the command line, the client's folder, the main window, the
// message loop and a start-up error. Needs a QApplication.
#include <QStringList>

// The plain start in the current folder: creates the main window, runs the message loop,
// shows a start-up error. Always returns 0.
int RunVandrixDiscover();

// `vandrix-discover [--choose-folder] [FOLDER]`, `--help`, `--version`: enters the client's
// folder (given, chosen or the current one) and then starts plainly. Returns the exit
// status: 0 also after a cancelled chooser and after a start-up error; 1 when the command
// line is wrong or the folder cannot be entered.
int RunVandrixDiscover(const QStringList& arguments);
