#pragma once
// TFormIKNapr, one outgoing trunk direction: 192 kit panels, the kit count,
// kits at work, load and blocked count.
#include "stats/ui/TrunkWindows.h"

class QLabel;

class TFormIKNapr : public TrunkDetail {
    Q_OBJECT
public:
    explicit TFormIKNapr(TrunkStats& stats);

    QLabel* LabelCountIK = nullptr;
    QLabel* LabelIKInWork = nullptr;
    QLabel* LabelZagrIK = nullptr;
    QLabel* LabelIKInBlock = nullptr;

protected:
    void ShowCount(int present) override;
    void ShowTotals(const TrunkStats::Detail& detail) override;
};
