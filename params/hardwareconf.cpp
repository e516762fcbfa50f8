#include "params/hardwareconf.h"

#include <QFile>

namespace HardwareConf {

QList<QPair<QString, QString>> Parse(const QByteArray &text)
{
    QList<QPair<QString, QString>> pairs;
    for (const QByteArray &raw : text.split('\n')) {
        QString line = QString::fromUtf8(raw);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        const QStringList fields = line.split(QLatin1Char('\t'));
        const QString value = fields.size() > 1 ? QString(fields[1]).replace(QLatin1Char('_'), QLatin1Char(' ')) : QString();
        pairs.append({fields[0], value});
        if (pairs.size() >= kMaxLines)
            break;
    }
    return pairs;
}

QList<QPair<QString, QString>> Load(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return Parse(file.read(kMaxBytes));
}

}  // namespace HardwareConf
