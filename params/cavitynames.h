// Cavity names: sixteen short names per camera in CavityDatabase.db (saved and scratch tables).
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace CavityNames {

constexpr int kCameras = 8;     // one row per camera position, attached or not
constexpr int kPositions = 16;  // cavity positions per camera
inline constexpr char kSavedTable[] = "CavityName_table";
inline constexpr char kScratchTable[] = "TempSave_table";
inline constexpr char kFile[] = "CavityDatabase.db";
inline constexpr char kConnection[] = "sql_CavityDatabase_connection";

// The factory name of a position (0..15): the Simplified Chinese text of its row, whatever the
// language, so that stored rows do not depend on the language chosen.
QString DefaultName(int position);

// A name as it may be stored: blanks (which would split it into two names and shift every later
// position) become '_'; an empty name becomes the position's default name.
QString CleanName(const QString &typed, int position);

// The sixteen names of a stored value (whitespace-separated words). Words beyond sixteen are
// ignored; missing words get their position's default name.
QStringList SplitNames(const QString &value);
// The stored value of sixteen names: each cleaned, joined by single blanks.
QString JoinNames(const QStringList &names);

// How Databaseinit found the file.
enum class OpenResult { Opened, Created, Recovered, Failed };

// Opens CavityDatabase.db in the working directory under its connection name and makes sure both
// tables hold a row for each camera (defaults where missing). A file SQLite cannot read is renamed
// to "CavityDatabase.db.damaged-<time>" and a new one is made with the default names; the message
// log says so. Loads the cache of saved names.
OpenResult Databaseinit();
// Closes the connection and forgets the cache (tests, working-directory changes).
void Close();

// The sixteen names of `camera` in `table` (kSavedTable or kScratchTable); the defaults when the
// row cannot be read.
QStringList Read(const QString &table, int camera);
// Writes the sixteen names of `camera` into `table`, bound as one value. False on an SQL error.
bool Write(const QString &table, int camera, const QStringList &names);

// Copies every camera's row from `from` into `to` and hands the names of each attached camera
// (below numCamera) to the button hook. Copying into the saved table refreshes the cache.
bool Initialize(const QString &from, const QString &to);

// The saved name of a camera's position, from the cache (filled at the first call when
// Databaseinit has not run). Painting calls this; it does not read the database.
QString getResult(int camera, int position);

// Called by Initialize with the names of each attached camera (start-up and every opening of the
// editor: the saved names; Confirm: the confirmed ones): the region buttons of that camera take
// them as captions. Optional.
void SetButtonHook(std::function<void(int camera, const QStringList &names)> hook);

}  // namespace CavityNames

// The saved name of cavity `cavity` (0..15) of `camera` (0..7), cached; the region editor's buttons
// and the camera views' region labels use it.
QString CavityName(int camera, int cavity);
