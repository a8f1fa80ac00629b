#pragma once
// TFormAKNapr, the kits of one subscriber block: 64 kit panels (purple
// blocked, green free, yellow busy), stays on top, the status bar with the
// kit hint and the receive indicator.
#include "stats/StatAKAts.h"
#include "stats/ui/KitWindow.h"

class QTimer;

class TFormAKNapr : public KitWindow {
    Q_OBJECT
public:
    explicit TFormAKNapr(TStatAKAts& stats);

    // Caption "Статистика АК. Бал " + block; the panels take the block's kit
    // numbers as tags and captions.
    void ShowBlock(int block);
    // Every kit from the blocked bits.
    void PaintBlocked();
    // Every kit that is not blocked from the free bits.
    void PaintLive();

    // The refresh of the block shown (30 s).
    QTimer* TimerStatAK = nullptr;

private:
    TStatAKAts& m_stats;
};
