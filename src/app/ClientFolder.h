#pragma once
// The client's working folder, the one holding Settings/: entering it before start-up, and
// choosing it with the desktop's folder chooser. Everything after start-up reads
// ./Settings/ relative to it.
#include <QString>

// Makes `folder` the current folder. Returns "" on success, otherwise the message saying
// why it cannot (the folder is then left as it was).
QString EnterClientFolder(const QString& folder);

// The desktop's folder chooser (Qt's own where the desktop has none), starting at the
// folder chosen last time, or the home folder. Returns the chosen folder, "" on Cancel.
QString ChooseClientFolder();

// Keeps `folder` as the chooser's start next time (the user's QSettings).
void RememberClientFolder(const QString& folder);
QString LastClientFolder();
