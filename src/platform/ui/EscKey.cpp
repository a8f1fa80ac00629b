#include "platform/ui/EscKey.h"

#include "platform/EscTracker.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace {
class EscFilter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* obj, QEvent* ev) override {
        if (ev->type() == QEvent::KeyPress || ev->type() == QEvent::KeyRelease) {
            auto* k = static_cast<QKeyEvent*>(ev);
            if (k->key() == Qt::Key_Escape && !k->isAutoRepeat())
                EscTracker::SetEscDown(ev->type() == QEvent::KeyPress);
        } else if (ev->type() == QEvent::ApplicationDeactivate) {
            EscTracker::SetEscDown(false);
        }
        return QObject::eventFilter(obj, ev);
    }
};
} // namespace

void InstallEscKeyFilter() {
    static EscFilter* filter = nullptr;
    if (filter || !QCoreApplication::instance()) return;
    filter = new EscFilter(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(filter);
}
