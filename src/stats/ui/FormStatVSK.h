#pragma once
// The incoming cord kits: the overview TFormStatVSK ("Статистика ВШК. " and
// the exchange kind) and the rack detail TFormVskNapr ("ВШК. Статив " and the
// rack).
#include "stats/ui/CordWindows.h"

class TFormVskNapr : public CordDetail {
    Q_OBJECT
public:
    explicit TFormVskNapr(CordStats& stats) : CordDetail(stats, QStringLiteral("FormVskNapr")) {}
};

class TFormStatVSK : public CordOverview {
    Q_OBJECT
public:
    TFormStatVSK();
    TFormVskNapr* FormVskNapr() const;
};
