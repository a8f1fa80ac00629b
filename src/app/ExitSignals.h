#pragma once
// SIGTERM and SIGINT (a desktop logout, a service stop, Ctrl+C) delivered as
// a Qt signal on the window thread, so that the program can close its window
// the way the operator does.
#include <QObject>

class QSocketNotifier;
class QTimer;

class ExitSignals : public QObject {
    Q_OBJECT
public:
    explicit ExitSignals(QObject* parent = nullptr);
    ~ExitSignals() override;

signals:
    void received(int signalNumber);

private:
    void Drain();
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_poll = nullptr;
};
