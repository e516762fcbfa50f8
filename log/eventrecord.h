// The way any subsystem, from any thread, adds an event to the operation record.
#pragma once

#include <QString>
#include <functional>

namespace EventRecord {

// Appends `text` to the operation record through the installed sink; safe from any thread.
// Without a sink (early start-up, unit tests) the text goes to the message log only.
void Insert(const QString &text);

// Installed by the main window at start-up (MoJuWizard::InsertRecord does the work).
void SetSink(std::function<void(const QString &)> sink);

}  // namespace EventRecord
