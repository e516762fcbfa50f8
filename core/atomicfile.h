// Files written whole or not at all: a crash or a power cut leaves the old contents or the new ones.
#pragma once

#include <QString>

#include <functional>

class QIODevice;

namespace AtomicFile {

// Writes through `write` into a temporary file in the folder of `path` (created when missing),
// syncs it to the disk and renames it over `path`, then syncs the folder. False, with `path` as it
// was, when `write` or any step failed.
bool Write(const QString &path, const std::function<bool(QIODevice &)> &write);

// Copies `from` over `to` the same way; the copy keeps the modification time of the original.
bool Copy(const QString &from, const QString &to);

// Renames `from` over `to` (replacing it in one step) and syncs the folder of `to`.
bool Replace(const QString &from, const QString &to);

// Syncs a file's contents to the disk. False when it cannot be opened or synced.
bool Sync(const QString &path);

// False for a BMP file whose length differs from the length its header declares (a write cut
// short, or not a BMP at all); true for a whole BMP and for files of other kinds.
bool IsWhole(const QString &path);

}  // namespace AtomicFile
