#include "stats/ui/FormStatPB.h"

TFormStatPB::TFormStatPB()
    : KitWindow({.name = QStringLiteral("FormStatPB"),
                 .caption = QStringLiteral("Статистика ПБ"),
                 .count = TStatPbAts::kMaxReceivers,
                 .panelSize = QSize(44, 30),
                 .panelCaption = TwoDigitCaption,
                 .stayOnTop = true,
                 .statusBar = true}),
      m_stats(std::make_unique<TStatPbAts>()) {
    m_stats->FrameArrived = [this] { FlashReceive(); };
    m_stats->Repaint = [this](int code, int last) { Repaint(code, last); };
}

TFormStatPB::~TFormStatPB() {
    m_stats->FrameArrived = nullptr;
    m_stats->Repaint = nullptr;
}

void TFormStatPB::ShowReceivers(int lastKit) {
    for (KitPanel* p : Panels()) {
        const bool present = p->Tag() <= lastKit;
        p->SetRaised(present);
        if (!present) p->SetColour(stats::colour::kButtonFace);
    }
}

void TFormStatPB::Repaint(int code, int lastKit) {
    for (int i = 0; i <= lastKit && i < int(Panels().size()); ++i)
        if (const auto c = m_stats->ReceiverColour(i, code)) Panels()[size_t(i)]->SetColour(*c);
}
