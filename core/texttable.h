// The trilingual text table: fills gaLanStr from the data file compiled into the binary.
#pragma once

// Fills every row of gaLanStr (rows without a text stay empty). Called once at start-up.
void FillTextTable();
