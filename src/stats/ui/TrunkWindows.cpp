#include "stats/ui/TrunkWindows.h"

#include "stats/ui/KitPanel.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {
QString KitCaption(int k) {
    return stats::ShortHex(k);
}
} // namespace

// ---------------------------------------------------------------- overview

TrunkOverview::TrunkOverview(std::unique_ptr<TrunkStats> stats, int columns, const QString& caption,
                             QString (*panelCaption)(int))
    : QWidget(nullptr), m_stats(std::move(stats)) {
    setWindowTitle(caption);

    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(6, 6, 6, 0);
    auto* grid = new QGridLayout;
    const int n = m_stats->Kind().Directions;
    m_panels = BuildPanels(this, grid, n, columns, QStringLiteral("Panel"), panelCaption,
                           n > 64 ? QSize(34, 24) : QSize(56, 40));
    for (KitPanel* p : m_panels) {
        p->Apply({stats::colour::kButtonFace, false});
        connect(p, &KitPanel::clicked, this, &TrunkOverview::DirectionClick);
        connect(p, &KitPanel::hovered, this, &TrunkOverview::DirectionHover);
    }
    lay->addLayout(grid);

    const StatusStrip strip = BuildStatusStrip(this);
    StatusBar1 = strip.StatusBar1;
    PanelGet = strip.PanelGet;
    Timer1 = strip.Timer1;
    lay->addWidget(StatusBar1);

    m_stats->FrameArrived = [this] { FlashReceive(); };
    m_stats->LiveFrame = [this] { LiveFrame(); };
}

TrunkOverview::~TrunkOverview() {
    if (m_detail) m_detail->disconnect(this);
    m_stats->FrameArrived = nullptr;
    m_stats->LiveFrame = nullptr;
    m_stats->Tables().Close();
}

void TrunkOverview::SetDetail(std::unique_ptr<TrunkDetail> detail) {
    m_detail = std::move(detail);
    connect(m_detail.get(), &TrunkDetail::hidden, this, &TrunkOverview::DetailHidden);
}

void TrunkOverview::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    // A minimised window is still shown.
    if (!e->spontaneous() && !m_detailShown) emit hidden();
}

void TrunkOverview::Repaint() {
    for (KitPanel* p : m_panels)
        p->Apply(m_stats->DirectionLook(p->Tag()));
}

void TrunkOverview::LiveFrame() {
    if (m_detail && m_detail->isVisible())
        m_detail->Repaint();
    else
        Repaint();
}

void TrunkOverview::FlashReceive() {
    StatusStrip{StatusBar1, PanelGet, Timer1}.Flash();
}

void TrunkOverview::DirectionHover(int d) {
    if (d < 0 || d >= int(m_panels.size())) return;
    const QString hint = stats::LoadHintText(m_panels[size_t(d)]->Colour());
    if (!hint.isEmpty()) StatusBar1->showMessage(hint);
}

void TrunkOverview::DirectionClick(int d) {
    if (!m_detail || m_detail->isVisible()) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_stats->Selected = d;
    m_detailShown = true;
    PlaceBeside(*m_detail, *this);
    hide();
    m_detail->ShowDirection(d);
    m_detail->Repaint();
    QApplication::restoreOverrideCursor();
    m_detail->show();
}

void TrunkOverview::DetailHidden() {
    if (!m_detailShown) return;
    m_detailShown = false;
    Repaint();
    show();
}

// ---------------------------------------------------------------- detail

TrunkDetail::TrunkDetail(TrunkStats& stats)
    : QWidget(nullptr, Qt::Window | Qt::WindowStaysOnTopHint), m_stats(stats) {
    setAttribute(Qt::WA_AlwaysShowToolTips); // kit hints also while another window is active
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(6, 6, 6, 6);
    m_info = new QWidget(this);
    m_info->setObjectName(QStringLiteral("PanelInfo"));
    lay->addWidget(m_info);
    auto* grid = new QGridLayout;
    m_panels = BuildPanels(this, grid, TrunkStats::kKits, 16, QStringLiteral("Panel"), KitCaption,
                           QSize(34, 24));
    for (KitPanel* p : m_panels) {
        p->Apply({stats::colour::kButtonFace, false});
        connect(p, &KitPanel::hovered, this, &TrunkDetail::KitHover);
    }
    lay->addLayout(grid);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 1);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false); // the load label tells the load
    lay->addWidget(ProgressBar1);
}

void TrunkDetail::ShowDirection(int d) {
    setWindowTitle(QStringLiteral("Направление ") + stats::ShortHex(d));
    ShowCount(m_stats.PresentMembers(d));
    ShowHeader(d);
}

void TrunkDetail::Repaint() {
    const TrunkStats::Detail det = m_stats.DirectionDetail(m_stats.Selected);
    for (KitPanel* p : m_panels)
        p->Apply(det.kits[size_t(p->Tag())]);
    // An empty range would show a busy bar: a direction without present
    // kits shows an empty one.
    ProgressBar1->setRange(0, std::max(det.total, 1));
    ProgressBar1->setValue(det.busy);
    ShowTotals(det);
}

void TrunkDetail::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    if (!e->spontaneous()) emit hidden();
}

void TrunkDetail::KitHover(int k) {
    if (k < 0 || k >= int(m_panels.size())) return;
    // The hint's lines end in CR LF; a tool tip breaks lines at LF.
    QString hint = m_stats.KitHint(k);
    hint.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_panels[size_t(k)]->setToolTip(hint);
}
