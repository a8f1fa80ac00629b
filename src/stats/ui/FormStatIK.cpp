#include "stats/ui/FormStatIK.h"

#include "stats/StatIKAts.h"
#include "stats/StatValues.h"
#include "stats/ui/FormIKNapr.h"

TFormStatIK::TFormStatIK(const QString& curDir)
    : TrunkOverview(std::make_unique<TStatIKAts>(curDir), 16,
                    QStringLiteral("Статистика ИК - Направления"), stats::ShortHex) {
    setObjectName(QStringLiteral("FormStatIK"));
    SetDetail(std::make_unique<TFormIKNapr>(Stats()));
}

TFormIKNapr* TFormStatIK::FormIKNapr() const {
    return static_cast<TFormIKNapr*>(Detail());
}
