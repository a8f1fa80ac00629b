#pragma once
// The outgoing cord kits: the overview TFormStatISK ("Статистика ИШК. " and
// the exchange kind) and the rack detail TFormIskNapr ("ИШК. Статив " and the
// rack).
#include "stats/ui/CordWindows.h"

class TFormIskNapr : public CordDetail {
    Q_OBJECT
public:
    explicit TFormIskNapr(CordStats& stats) : CordDetail(stats, QStringLiteral("FormIskNapr")) {}
};

class TFormStatISK : public CordOverview {
    Q_OBJECT
public:
    TFormStatISK();
    TFormIskNapr* FormIskNapr() const;
};
