#pragma once
// TFormStatPB, "Статистика ПБ": 64 receiver panels "00".."3F" in eight rows
// of eight (green free, yellow busy, purple blocked, button face excluded;
// receivers the exchange does not have flat), stays on top, the status bar
// with the kit hint and the receive indicator. Owns the protocol object.
#include "stats/StatPbAts.h"
#include "stats/ui/KitWindow.h"

#include <memory>

class TFormStatPB : public KitWindow {
    Q_OBJECT
public:
    TFormStatPB();
    ~TFormStatPB() override;

    TStatPbAts& Stats() { return *m_stats; }
    // Receivers 0..lastKit raised, the panels beyond flat and button face.
    void ShowReceivers(int lastKit);
    // Receivers 0..lastKit by the rules of the frame's step.
    void Repaint(int code, int lastKit);

private:
    std::unique_ptr<TStatPbAts> m_stats;
};
