#include "stats/ui/FormStatAK.h"

#include "stats/ui/FormAKNapr.h"

TFormStatAK::TFormStatAK()
    : KitWindow({.name = QStringLiteral("FormStatAK"),
                 .caption = QStringLiteral("Статистика АК (БАЛ)"),
                 .count = TStatAKAts::kBlocks,
                 .panelSize = QSize(56, 36),
                 .panelCaption = stats::ShortHex}),
      m_stats(std::make_unique<TStatAKAts>()), m_detail(std::make_unique<TFormAKNapr>(*m_stats)) {
    for (KitPanel* p : Panels())
        p->setToolTip(TStatAKAts::BlockRange(p->Tag()));
    m_stats->FrameArrived = [this] { m_detail->FlashReceive(); };
    m_stats->Decoded = [this](int code) {
        if (code == TStatAKAts::kBlocksStep) Repaint();
        if (code == TStatAKAts::kBlockedStep) m_detail->PaintBlocked();
        if (code == TStatAKAts::kFreeStep) m_detail->PaintLive();
    };
}

TFormStatAK::~TFormStatAK() {
    m_stats->FrameArrived = nullptr;
    m_stats->Decoded = nullptr;
}

void TFormStatAK::Repaint() {
    for (KitPanel* p : Panels())
        p->Apply(m_stats->BlockLook(p->Tag()));
}
