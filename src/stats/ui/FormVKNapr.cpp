#include "stats/ui/FormVKNapr.h"

#include "stats/StatVKAts.h"
#include "stats/ui/DetailLabels.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>

TFormVKNapr::TFormVKNapr(TrunkStats& stats) : TrunkDetail(stats) {
    setObjectName(QStringLiteral("FormVKNapr"));
    QWidget* info = InfoArea();
    auto* grid = new QGridLayout(info);
    grid->setContentsMargins(0, 0, 0, 0);
    LabelTypePN = AddValue(info, grid, 0, QStringLiteral("Тип ПН"), QStringLiteral("LabelTypePN"));
    LabelTypePN->setText(QString());
    LabelTypePN->setMinimumWidth(170);
    LabelCountVK =
        AddValue(info, grid, 1, QStringLiteral("Всего ВК"), QStringLiteral("LabelCountVK"));
    LabelPriemIn =
        AddValue(info, grid, 2, QStringLiteral("Прием номера в"), QStringLiteral("LabelPriemIn"));
    LabelPriemIn->setText(QString());
    LabelZagrVK =
        AddValue(info, grid, 3, QStringLiteral("Загрузка"), QStringLiteral("LabelZagrVK"));
    LabelVKInBlock =
        AddValue(info, grid, 4, QStringLiteral("Блокировано"), QStringLiteral("LabelVKInBlock"));
    CheckBoxSz =
        AddShownBox(info, grid, 2, 0, QStringLiteral("Выдача СЗ"), QStringLiteral("CheckBoxSz"));
    CheckBoxUved = AddShownBox(info, grid, 2, 1, QStringLiteral("Уведомление"),
                               QStringLiteral("CheckBoxUved"));
    CheckBox425 =
        AddShownBox(info, grid, 2, 2, QStringLiteral("425 Гц"), QStringLiteral("CheckBox425"));
    CheckBoxAon =
        AddShownBox(info, grid, 2, 3, QStringLiteral("АОН"), QStringLiteral("CheckBoxAon"));
    CheckBoxComm =
        AddShownBox(info, grid, 2, 4, QStringLiteral("Коммутатор"), QStringLiteral("CheckBoxComm"));
}

void TFormVKNapr::ShowCount(int present) {
    LabelCountVK->setText(QString::number(present));
}

void TFormVKNapr::ShowTotals(const TrunkStats::Detail& d) {
    LabelZagrVK->setText(d.LoadText());
    LabelVKInBlock->setText(QString::number(d.blocked));
}

void TFormVKNapr::ShowHeader(int direction) {
    // Without a member kit the header keeps what it shows.
    const auto r = m_stats.HeaderRecord(direction);
    if (!r) return;
    using A = TrunkKitRecord;
    const QString signalling = VkSignallingText(r->Attr[A::TypePN]);
    if (!signalling.isEmpty()) LabelTypePN->setText(signalling);
    LabelPriemIn->setText(VkNumberReceptionText(r->Attr[A::PrIN]));
    CheckBoxComm->setChecked(r->Attr[A::Comm] == 1);
    CheckBoxAon->setChecked(r->Attr[A::Aon] == 1);
    CheckBox425->setChecked(r->Attr[A::Gs425] == 1);
    CheckBoxUved->setChecked(r->Attr[A::Uved] == 1);
    CheckBoxSz->setChecked(r->Attr[A::Sz] == 0);
}
