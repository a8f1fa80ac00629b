#pragma once
// Wakes what waits for the operator's Esc without looking at the key all the
// time: pressed() each time EscTracker (platform/EscTracker.h) sees the key go down.
#include <QObject>

class EscNotifier : public QObject {
    Q_OBJECT
public:
    static EscNotifier& Instance();

signals:
    void pressed();
};
