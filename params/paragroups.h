// Parameter groups: named copies of PARAM.db and the camera folders in "paraGroup/<name>/", and
// the check of a program-update archive.
#pragma once

#include <QString>
#include <QStringList>

// All paths are relative to the station directory (the working directory); nothing outside
// "paraGroup/" is touched except by Restore, which puts a group back into the station directory.
// GUI thread only.
namespace ParaGroups {

// The factory group: listed and restorable, never overwritten nor deleted.
inline const QString kFactory = QStringLiteral("default");

enum class Result { Ok, InvalidName, Protected, Exists, Missing, Failed };

// A name the operator may give a group: 1-32 characters, no "/", "\", "..", no leading ".", no
// control characters, and not a folder the station keeps for itself ("lastgood").
bool ValidName(const QString &name);

// The groups, sorted by name ("default" among them).
QStringList List();
bool Exists(const QString &name);

// Copies every camera folder ("cammer*") and a consistent snapshot of PARAM.db (VACUUM INTO on
// the open "dbIn" connection, or on a connection of its own) into a fresh folder that then
// replaces "paraGroup/<name>". An existing group is replaced only with `overwrite`.
Result Backup(const QString &name, bool overwrite);

// Copies the group into a staging folder, checks its PARAM.db, then swaps it into the station
// directory (the camera folders and PARAM.db); the previous files are kept aside and put back if
// any step fails. "dbIn" must be closed. Ok only when the whole group is in place.
Result Restore(const QString &name);

Result Delete(const QString &name);

// The group the station's parameters were last restored from (kept in "paraGroup/active.txt"),
// empty when none was or the file names no valid group. Restore sets it.
QString ActiveName();
void SetActiveName(const QString &name);

// The program-update archive types: the file name the station's start-up unpacks for each.
enum class Archive { None, TarGz, TarXz, Rar };
// The type of `path` by its content (gzip, xz or rar signature, readable, not empty), None when it
// is no update archive.
Archive ArchiveType(const QString &path);
QString UpdateFileName(Archive type);

}  // namespace ParaGroups
