#pragma once
// TFormVKNapr, one incoming trunk direction: 192 kit panels, the direction's
// signalling type, number reception and check boxes (from the lowest-numbered
// member kit's record), the kit count, load and blocked count.
#include "stats/ui/TrunkWindows.h"

class QCheckBox;
class QLabel;

class TFormVKNapr : public TrunkDetail {
    Q_OBJECT
public:
    explicit TFormVKNapr(TrunkStats& stats);

    QLabel* LabelTypePN = nullptr;
    QLabel* LabelCountVK = nullptr;
    QLabel* LabelPriemIn = nullptr;
    QLabel* LabelZagrVK = nullptr;
    QLabel* LabelVKInBlock = nullptr;
    QCheckBox* CheckBoxSz = nullptr;
    QCheckBox* CheckBoxUved = nullptr;
    QCheckBox* CheckBox425 = nullptr;
    QCheckBox* CheckBoxAon = nullptr;
    QCheckBox* CheckBoxComm = nullptr;

protected:
    void ShowCount(int present) override;
    void ShowTotals(const TrunkStats::Detail& detail) override;
    void ShowHeader(int direction) override;
};
