// Opening the station's three databases at start-up, with recovery from a damaged file.
#pragma once

#include <QString>

// Opens "dbIn" on PARAM.db, "dbRecord" on RECORD.db and "dbT" on SN.db. A file that cannot be
// opened, is not a database, fails its integrity check or lacks its table is damaged: the operator
// is told, the factory copy replaces it and the station restarts through the system gateway.
// Returns false when a restart was requested (the caller stops coming up).
bool OpenStationDatabases();

// True when the database on `connection` opened, passes its integrity check and has `table`.
bool IsUsableDatabase(const QString &connection, const QString &table);

// Closes and forgets the three connections (before a restart or at the end).
void CloseStationDatabases();
