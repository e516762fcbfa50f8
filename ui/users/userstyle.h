// The look of the users page and its dialogs: the station's dark panel, large touch targets and
// the two message-line styles.
#pragma once

#include <QString>

namespace UserStyle {

// Information and success on the message line.
inline const QString kInfo = QStringLiteral("font-size:28px;color:#03A9F4;font:italic;");
// Errors on the message line.
inline const QString kError = QStringLiteral("font-size:28px;color:#F44336;font:italic;");

// The style sheet of a dialog or page whose frame has the object name `name`.
QString Dialog(const QString &name);

}  // namespace UserStyle
