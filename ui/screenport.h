// The station's operator port: warnings and questions in the station's message boxes.
#pragma once

#include "core/operatorport.h"

#include <functional>

// Before the message boxes exist (early start-up) it falls back to the start-up prompts.
class ScreenPort : public OperatorPort
{
public:
    void warn(const QString &text) override;
    bool ask(const QString &question) override;
    bool password(int level) override;
    void notify(const QString &text) override;

    // The login levels' check; until accounts exist on the station every level is granted.
    std::function<bool(int level)> checkLevel;
};
