#include "stats/ui/FormStatVSK.h"

TFormStatVSK::TFormStatVSK()
    : CordOverview(std::make_unique<TStatVskAts>(), QStringLiteral("FormStatVSK")) {
    SetDetail(std::make_unique<TFormVskNapr>(Stats()));
}

TFormVskNapr* TFormStatVSK::FormVskNapr() const {
    return static_cast<TFormVskNapr*>(Detail());
}
