#include "stats/ui/UnitVK.h"

#include "stats/StatVK.h"
#include "stats/ui/UnitVKNapr.h"

TFormStatVK::TFormStatVK(const QString& curDir)
    : TrunkOverview(std::make_unique<TStatVKAts>(curDir), 8,
                    QStringLiteral("Статистика ВК - направления")) {
    setObjectName(QStringLiteral("FormStatVK"));
    SetDetail(std::make_unique<TFormVKNapr>(Stats()));
}

TFormVKNapr* TFormStatVK::FormVKNapr() const {
    return static_cast<TFormVKNapr*>(Detail());
}
