// The service codes: the fixed prefix followed by the date and hour, built on each check.
#pragma once

#include <QDateTime>
#include <QString>

namespace ServiceCode {

// The login levels' code: the prefix and "MMddhh" (ten characters); the prefix alone when
// `passwordUse` is off.
QString Station(const QDateTime &now, bool passwordUse = true);
// The administrators' account code: the prefix and "hhMMdd".
QString Account(const QDateTime &now);

}  // namespace ServiceCode
