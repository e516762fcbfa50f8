// The last good copy of the station's teaching (PARAM.db and the camera folders), kept after every save.
#pragma once

#include <QDateTime>
#include <QString>

// The copy lives in "paraGroup/lastgood/" and has the layout of a parameter group: PARAM.db and
// one folder "cammer%1%2" per camera and detection with its templates and ignore points
// ("*.bmp"). Start-up puts it back when PARAM.db is damaged, before it falls back to the factory
// copy in "paraGroup/default/". All paths are relative to the station directory (the working
// directory); GUI thread only.
namespace LastGood {

QString Dir();

// True when the file opens as an SQLite database that passes its quick check and has the
// parameter table (read-only; the file is not changed).
bool SoundParameterFile(const QString &path);

// Takes the copy after a successful save. PARAM.db is copied with SQLite's "VACUUM INTO" on the
// open connection "dbIn" (a consistent snapshot, whatever the station holds open), synced,
// checked and only then renamed over the previous copy. Images of the camera folders that differ
// from the copy (size or time) are copied through a temporary file, images gone from the station
// are removed from the copy; an image cut short is not copied (the copy keeps its previous one).
// A copy after teaching (regions, templates, ignore points) ends the hold of a factory restore
// (see Note); one after a save of the system parameters does not. Does nothing when "dbIn" is not
// the station directory's PARAM.db. False when the copy is incomplete or was not taken.
enum class Saved { Parameters, Teaching };
bool Keep(Saved what);

// True when the copy holds a sound PARAM.db with its parameter table.
bool Usable();
// When the copy of PARAM.db was taken; invalid without a copy.
QDateTime Taken();

// Puts the copy back: PARAM.db, then every camera folder of the copy (its images replace the
// station's, station images the copy lacks are removed). The databases must be closed. False
// when PARAM.db could not be put back.
bool Restore();

// What the start-up restored a damaged PARAM.db from, written before the restart that follows
// and read by the next start. A last-good restore is reported once; a factory restore holds the
// station stopped at every start until a copy is taken after teaching.
enum class Source { None, LastGood, Factory };
struct Note
{
    Source source = Source::None;
    QDateTime taken;  // LastGood: when the restored copy was taken
};
bool WriteNote(const Note &note);
Note ReadNote();
void ClearNote();

}  // namespace LastGood
