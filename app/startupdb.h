// Opening the station's three databases at start-up, with recovery from a damaged file.
#pragma once

#include <QString>

// Opens "dbIn" on PARAM.db, "dbRecord" on RECORD.db and "dbT" on SN.db. A file that cannot be
// opened, is not a database, fails its integrity check or lacks its table is damaged: the operator
// is told, the file is kept aside (".damaged-<time>"), a copy replaces it and the station restarts
// through the system gateway. PARAM.db comes back from the last good copy of the teaching
// (LastGood, with the camera folders) while there is a sound one, else from the factory copy; a
// note (LastGood::Note) tells the next start which. The other databases come back from their
// factory copies. Returns false when a restart was requested (the caller stops coming up).
bool OpenStationDatabases();

// True when the database on `connection` opened, passes its integrity check and has `table`.
bool IsUsableDatabase(const QString &connection, const QString &table);

// Closes and forgets the three connections (before a restart or at the end).
void CloseStationDatabases();
