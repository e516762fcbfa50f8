// Modal questions to the operator during start-up, with a seam that answers them in tests and
// unattended runs.
#pragma once

#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>

namespace Prompt {

enum class Kind { Warning, Choice, SetTime };

// A recorded question: its kind and text.
struct Asked
{
    Kind kind;
    QString text;
};

// Shows `text` with a "Confirm" button and waits for the operator.
void Warn(const QString &text);

// Asks a yes/no question; true for yes.
bool Choose(const QString &text);

// Asks the operator for the current date and time; nothing when cancelled.
std::optional<QDateTime> AskTime(const QString &text);

// Tests install an answerer: it gets each question and returns the answer (for Warning the value is
// ignored; for Choice non-zero is yes; for SetTime a valid date-time, or an invalid one to cancel).
// MOULD_AUTO_CONFIRM=1 in the environment answers warnings and cancels the rest, for unattended runs.
using Answerer = std::function<QVariant(const Asked &)>;
void SetAnswerer(Answerer answerer);

}  // namespace Prompt
