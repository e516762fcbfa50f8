// Test helper: a fresh copy of the built station directory in a temporary folder.
#pragma once

#include <QString>
#include <QTemporaryDir>

// Copies the station directory the build produced into a new temporary folder and makes it the
// working directory; the previous working directory comes back when the object goes.
class TempStation
{
public:
    explicit TempStation(bool copyFactoryFiles = true);
    ~TempStation();
    TempStation(const TempStation &) = delete;
    TempStation &operator=(const TempStation &) = delete;

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// Copies a folder tree; returns false when any file could not be copied.
bool copyTree(const QString &from, const QString &to);

// Path of the station directory produced by the build.
QString builtStationDir();
