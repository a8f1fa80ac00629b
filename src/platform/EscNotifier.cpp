#include "platform/EscNotifier.h"

EscNotifier& EscNotifier::Instance() {
    static EscNotifier notifier;
    return notifier;
}
