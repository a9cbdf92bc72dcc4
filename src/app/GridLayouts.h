#pragma once
// The designed settings of the three grids.
class TGridEngine;

void ConfigureCommonGrid(TGridEngine& grid);
void ConfigureDupGrid(TGridEngine& grid);
void ConfigureRatioGrid(TGridEngine& grid);
void ConfigureLogGrid(TGridEngine& grid);
