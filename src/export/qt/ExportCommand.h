#pragma once
// The export command: asks for a file name, writes the grid with the writer the name asks
// for, offers to open the file.
class QWidget;
class TDataGrid;

void RunExportCommand(QWidget* owner, TDataGrid& grid);

// The save dialog is the desktop's own where the platform has one; tests that drive the
// dialog's widgets ask for Qt's own instead.
void SetQtSaveDialogForced(bool forced);
