#include "stats/ui/FormStatISK.h"

TFormStatISK::TFormStatISK()
    : CordOverview(std::make_unique<TStatIskAts>(), QStringLiteral("FormStatISK")) {
    SetDetail(std::make_unique<TFormIskNapr>(Stats()));
}

TFormIskNapr* TFormStatISK::FormIskNapr() const {
    return static_cast<TFormIskNapr*>(Detail());
}
