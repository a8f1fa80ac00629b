#include "stats/ui/FormIKNapr.h"

#include "stats/ui/DetailLabels.h"

#include <QGridLayout>
#include <QLabel>

TFormIKNapr::TFormIKNapr(TrunkStats& stats) : TrunkDetail(stats) {
    setObjectName(QStringLiteral("FormIKNapr"));
    QWidget* info = InfoArea();
    auto* grid = new QGridLayout(info);
    grid->setContentsMargins(0, 0, 0, 0);
    LabelCountIK =
        AddValue(info, grid, 0, QStringLiteral("Всего ИК"), QStringLiteral("LabelCountIK"));
    LabelIKInWork =
        AddValue(info, grid, 1, QStringLiteral("В работе"), QStringLiteral("LabelIKInWork"));
    LabelZagrIK =
        AddValue(info, grid, 2, QStringLiteral("Загрузка"), QStringLiteral("LabelZagrIK"));
    LabelIKInBlock =
        AddValue(info, grid, 3, QStringLiteral("Блокировано"), QStringLiteral("LabelIKInBlock"));
}

void TFormIKNapr::ShowCount(int present) {
    LabelCountIK->setText(QString::number(present));
}

void TFormIKNapr::ShowTotals(const TrunkStats::Detail& d) {
    LabelZagrIK->setText(d.LoadText());
    LabelIKInWork->setText(QString::number(d.busy - d.blocked));
    LabelIKInBlock->setText(QString::number(d.blocked));
}
