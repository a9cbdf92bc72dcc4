#pragma once
// The export command: asks for a file name, writes the grid, offers to open the file.
class QWidget;
class TDataGrid;

void RunExportCommand(QWidget* owner, TDataGrid& grid);
