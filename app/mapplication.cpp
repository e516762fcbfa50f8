#include "app/mapplication.h"

#include "app/touchguard.h"

#include <QWindow>

MApplication::MApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    installEventFilter(this);
}

bool MApplication::qwsEventFilter(QEvent *event)
{
    return m_guard && m_guard->filter(event);
}

// Input from the window system reaches a top-level QWindow first and is then dispatched to the
// widgets inside it; filtering at the window sees each touch exactly once, like a raw event.
bool MApplication::eventFilter(QObject *watched, QEvent *event)
{
    if (watched->isWindowType() && qwsEventFilter(event))
        return true;
    return QApplication::eventFilter(watched, event);
}
