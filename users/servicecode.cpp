#include "users/servicecode.h"

namespace ServiceCode {

namespace {
// The one place the fixed prefix lives. It is part of every service code: never log it, nor a code.
constexpr char kPrefix[] = "6173";
}

QString Station(const QDateTime &now, bool passwordUse)
{
    const QString prefix = QString::fromLatin1(kPrefix);
    return passwordUse ? prefix + now.toString(QStringLiteral("MMddhh")) : prefix;
}

QString Account(const QDateTime &now)
{
    return QString::fromLatin1(kPrefix) + now.toString(QStringLiteral("hhMMdd"));
}

}  // namespace ServiceCode
