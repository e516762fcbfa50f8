// An operator port for tests: records what the station asked and answers as the test says.
#pragma once

#include "core/operatorport.h"

#include <QStringList>

class TestOperatorPort : public OperatorPort
{
public:
    TestOperatorPort() { install(this); }
    ~TestOperatorPort() override
    {
        if (installed() == this)
            install(nullptr);
    }

    void warn(const QString &text) override { warnings << text; }
    bool ask(const QString &question) override
    {
        questions << question;
        return answer;
    }
    bool password(int level) override
    {
        passwordLevels << level;
        return passwordOk;
    }
    int oneTimePassword() override
    {
        ++oneTimeRequests;
        return oneTimeResult;
    }
    void notify(const QString &text) override { notices << text; }

    bool answer = true;      // every yes/no question
    bool passwordOk = true;  // every password request
    QStringList warnings, questions, notices;
    QList<int> passwordLevels;
    int oneTimeResult = 1;  // every one-time password prompt: 0 cancelled, 1 primary, 2 service code
    int oneTimeRequests = 0;
};
