// The station's operator port: warnings and questions in the station's message boxes.
#pragma once

#include "core/operatorport.h"

class LoginLevels;

// Before the message boxes exist (early start-up) it falls back to the start-up prompts.
class ScreenPort : public OperatorPort
{
public:
    void warn(const QString &text) override;
    bool ask(const QString &question) override;
    bool password(int level) override;
    int oneTimePassword() override;
    void notify(const QString &text) override;

    // The station's login levels, which the password box sets; borrowed from the main window.
    // Without them every password request is refused.
    LoginLevels *levels = nullptr;
};
