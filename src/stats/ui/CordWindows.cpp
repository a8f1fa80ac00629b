#include "stats/ui/CordWindows.h"

#include <QFontMetrics>

namespace {
QString RackCaption(int rack) {
    return stats::ShortHex(rack);
}
} // namespace

CordOverview::CordOverview(std::unique_ptr<CordStats> stats, const QString& name)
    : KitWindow({.name = name,
                 .caption = stats->Kind().OverviewPrefix,
                 .count = CordStats::kRacks,
                 .panelSize = QSize(56, 40),
                 .panelCaption = RackCaption}),
      m_stats(std::move(stats)) {
    m_stats->FrameArrived = [this] {
        if (m_detail) m_detail->FlashReceive();
    };
    m_stats->Decoded = [this](int code) {
        if (code == CordStats::kRacksStep) Repaint();
        if (code == CordStats::kStatesStep && m_detail) m_detail->Repaint();
    };
}

CordOverview::~CordOverview() {
    m_stats->FrameArrived = nullptr;
    m_stats->Decoded = nullptr;
}

void CordOverview::SetDetail(std::unique_ptr<CordDetail> detail) {
    m_detail = std::move(detail);
}

void CordOverview::Repaint() {
    for (KitPanel* p : Panels())
        p->Apply(m_stats->RackLook(p->Tag()));
}

void CordOverview::showEvent(QShowEvent* e) {
    setWindowTitle(m_stats->OverviewCaption());
    // Wide enough for the caption (the exchange kind is its end), with room
    // for the title bar's icon and buttons.
    QFont title = font();
    title.setBold(true);
    constexpr int kTitleBarExtras = 160;
    const int wide = QFontMetrics(title).horizontalAdvance(windowTitle()) + kTitleBarExtras;
    if (width() < wide) resize(wide, height());
    KitWindow::showEvent(e);
}

CordDetail::CordDetail(CordStats& stats, const QString& name)
    : KitWindow({.name = name,
                 .caption = stats.Kind().DetailPrefix,
                 .count = CordStats::kRackKits,
                 .panelSize = QSize(44, 30),
                 .panelCaption = stats::ShortHex,
                 .statusBar = true}),
      m_stats(stats) {}

void CordDetail::ShowRack(int rack) {
    setWindowTitle(m_stats.DetailCaption(rack));
    for (size_t i = 0; i < Panels().size(); ++i) {
        KitPanel* p = Panels()[i];
        const int kit = rack * CordStats::kRackKits + int(i);
        p->SetTag(kit);
        p->setText(stats::ShortHex(kit));
        // No colour from the rack shown before: a kit whose state has no
        // colour would keep another rack's.
        p->SetColour(stats::colour::kButtonFace);
    }
}

void CordDetail::Repaint() {
    for (size_t i = 0; i < Panels().size(); ++i)
        if (const auto c = m_stats.KitColour(int(i))) Panels()[i]->SetColour(*c);
}
