#pragma once
// TFormStatIK, the outgoing trunk overview "Статистика ИК - Направления":
// 256 direction panels, with its detail window TFormIKNapr.
#include "stats/ui/TrunkWindows.h"

class TFormIKNapr;

class TFormStatIK : public TrunkOverview {
    Q_OBJECT
public:
    explicit TFormStatIK(const QString& curDir);
    TFormIKNapr* FormIKNapr() const;
};
