// The hardware information files conf.txt and confnext.txt: one name and value per line.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace HardwareConf {

constexpr int kMaxLines = 200;        // a longer file is shown up to here
constexpr qint64 kMaxBytes = 64 * 1024;

// Each non-empty line split at tabs: the first field is the name, the second the value with
// every "_" shown as a blank; a line with only a name has an empty value.
QList<QPair<QString, QString>> Parse(const QByteArray &text);
// Parse of the file (UTF-8); empty when it is missing.
QList<QPair<QString, QString>> Load(const QString &path);

}  // namespace HardwareConf
