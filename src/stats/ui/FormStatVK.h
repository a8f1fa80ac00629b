#pragma once
// TFormStatVK, the incoming trunk overview "Статистика ВК - направления": 32
// direction panels in four rows of eight, with its detail window
// TFormVKNapr.
#include "stats/ui/TrunkWindows.h"

class TFormVKNapr;

class TFormStatVK : public TrunkOverview {
    Q_OBJECT
public:
    // curDir: where the tables' alias directory is found.
    explicit TFormStatVK(const QString& curDir);
    TFormVKNapr* FormVKNapr() const;
};
