#pragma once
// When the automatic script of an exchange is due: at a time of day
// ("AutoIn", "AutoInTime") or every period ("AutoEvery", "AutoEveryTime").
// AutoTimer starts a run, PauseTimer times a pause inside one.
#include <QObject>

class AtsSettings;
class QTimer;

class AutoSchedule : public QObject {
    Q_OBJECT
public:
    explicit AutoSchedule(QObject* parent = nullptr);
    ~AutoSchedule() override;

    // Arms AutoTimer from the settings (run-at first, run-every over it).
    void Apply(const AtsSettings& s);
    // Arms AutoTimer for the next runAtMs of the day by the clock (today when
    // it is still ahead, else tomorrow).
    void ArmRunAt(int runAtMs);
    void Stop();

    QTimer* AutoTimer = nullptr;
    QTimer* PauseTimer = nullptr;

signals:
    // AutoTimer ran out: the script is due.
    void due();
};
