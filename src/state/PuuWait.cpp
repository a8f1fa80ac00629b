#include "state/PuuWait.h"

#include "platform/Wait.h"

#include <QTimer>

bool PuuWait(QTimer& timer) {
    timer.setSingleShot(true);
    timer.start();
    const bool fired = WaitWhile([&] { return timer.isActive(); }, true);
    if (!fired) timer.stop();
    return fired;
}
