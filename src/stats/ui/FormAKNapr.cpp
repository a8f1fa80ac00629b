#include "stats/ui/FormAKNapr.h"

#include <QTimer>

TFormAKNapr::TFormAKNapr(TStatAKAts& stats)
    : KitWindow({.name = QStringLiteral("FormAKNapr"),
                 .caption = QStringLiteral("Статистика АК. Бал"),
                 .count = TStatAKAts::kPositions,
                 .panelSize = QSize(44, 28),
                 .panelCaption = stats::ShortHex,
                 .stayOnTop = true,
                 .statusBar = true}),
      m_stats(stats) {
    TimerStatAK = new QTimer(this);
    TimerStatAK->setObjectName(QStringLiteral("TimerStatAK"));
    TimerStatAK->setInterval(30000);
}

void TFormAKNapr::ShowBlock(int block) {
    setWindowTitle(QStringLiteral("Статистика АК. Бал ") + stats::ShortHex(block));
    for (size_t i = 0; i < Panels().size(); ++i) {
        KitPanel* p = Panels()[i];
        const int kit = block * TStatAKAts::kPositions + int(i);
        p->SetTag(kit);
        p->setText(stats::ShortHex(kit));
    }
}

void TFormAKNapr::PaintBlocked() {
    for (size_t i = 0; i < Panels().size(); ++i)
        Panels()[i]->SetColour(m_stats.BlockedColour(int(i)));
}

void TFormAKNapr::PaintLive() {
    for (size_t i = 0; i < Panels().size(); ++i)
        if (const auto c = m_stats.LiveColour(int(i))) Panels()[i]->SetColour(*c);
}
