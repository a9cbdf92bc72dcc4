#pragma once
// The program's start: creates the main window, runs the message loop, shows a start-up
// error. Always returns 0. Needs a QApplication.
int RunVandrixDiscover();
