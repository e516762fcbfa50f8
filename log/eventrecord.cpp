#include "log/eventrecord.h"

#include <QMutex>
#include <QMutexLocker>
#include <QtDebug>

namespace EventRecord {
namespace {
QMutex sinkMutex;
std::function<void(const QString &)> currentSink;
}  // namespace

void Insert(const QString &text)
{
    std::function<void(const QString &)> sink;
    {
        QMutexLocker lock(&sinkMutex);
        sink = currentSink;
    }
    if (sink)
        sink(text);
    else
        qInfo().noquote() << "record:" << text;
}

void SetSink(std::function<void(const QString &)> sink)
{
    QMutexLocker lock(&sinkMutex);
    currentSink = std::move(sink);
}

}  // namespace EventRecord
