#include "stats/ui/FormStatVK.h"

#include "stats/StatVKAts.h"
#include "stats/ui/FormVKNapr.h"
#include "stats/ui/KitPanel.h"

TFormStatVK::TFormStatVK(const QString& curDir)
    : TrunkOverview(std::make_unique<TStatVKAts>(curDir), 8,
                    QStringLiteral("Статистика ВК - направления"), TwoDigitCaption) {
    setObjectName(QStringLiteral("FormStatVK"));
    SetDetail(std::make_unique<TFormVKNapr>(Stats()));
}

TFormVKNapr* TFormStatVK::FormVKNapr() const {
    return static_cast<TFormVKNapr*>(Detail());
}
