#include "core/operatorport.h"

#include "core/globals.h"

#include <QtDebug>

namespace {

OperatorPort *gPort = nullptr;
std::function<void(const char *, const QString &)> gMissing;

OperatorPort *port(const char *kind, const QString &text)
{
    if (gPort)
        return gPort;
    qCritical().noquote() << "no operator port installed:" << kind << text;
    if (gMissing)
        gMissing(kind, text);
    return nullptr;
}

}  // namespace

void OperatorPort::install(OperatorPort *p) { gPort = p; }
OperatorPort *OperatorPort::installed() { return gPort; }
void OperatorPort::setMissingHandler(std::function<void(const char *, const QString &)> handler)
{
    gMissing = std::move(handler);
}

namespace Operator {

void Warn(const QString &text)
{
    if (OperatorPort *p = port("warn", text))
        p->warn(text);
}

void Warn(int row) { Warn(LanStr(row)); }

bool Ask(const QString &question)
{
    OperatorPort *p = port("ask", question);
    return p && p->ask(question);
}

bool Ask(int row) { return Ask(LanStr(row)); }

bool Password(int level)
{
    OperatorPort *p = port("password", QString::number(level));
    return p && p->password(level);
}

int OneTimePassword()
{
    OperatorPort *p = port("one-time password", QString());
    return p ? p->oneTimePassword() : 0;
}

void Notify(const QString &text)
{
    if (OperatorPort *p = port("notify", text))
        p->notify(text);
}

}  // namespace Operator
