// The operator port: the one way the layers below the screens ask or tell the operator something.
#pragma once

#include <QString>

#include <functional>

// The screens implement it; app/ installs their port once at start-up and tests install one of their
// own. A port nobody installed never answers by itself: every call is logged as a fault and reported
// to the missing-port handler (a test fails), questions get NO and passwords are refused.
class OperatorPort
{
public:
    // The login level a password request asks for.
    enum Level { Primary = 1, Advanced = 2 };

    virtual ~OperatorPort() = default;
    // A modal box with the text and "Confirm"; returns when the operator confirmed.
    virtual void warn(const QString &text) = 0;
    // A modal yes/no question; true for YES.
    virtual bool ask(const QString &question) = 0;
    // The password box: true when the operator holds `level` or enters a password of that level
    // now. A true answer means the operator is logged in at that level from now on.
    virtual bool password(int level) = 0;
    // The one-time password prompt: 0 cancelled, 1 the primary password, 2 the service code. The
    // login level does not change.
    virtual int oneTimePassword() = 0;
    // A notice shown without waiting (the station carries on).
    virtual void notify(const QString &text) = 0;

    // Borrowed: the port must outlive its installation (install(nullptr) takes it back).
    static void install(OperatorPort *port);
    static OperatorPort *installed();
    // Called with the request's kind and text when no port is installed (tests fail on it).
    static void setMissingHandler(std::function<void(const char *kind, const QString &text)> handler);
};

// The calls the layers make; each goes to the installed port.
namespace Operator {
void Warn(const QString &text);
void Warn(int row);  // a text-table row
bool Ask(const QString &question);
bool Ask(int row);
bool Password(int level);
int OneTimePassword();
void Notify(const QString &text);
}  // namespace Operator
