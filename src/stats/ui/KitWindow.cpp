#include "stats/ui/KitWindow.h"

#include <QGridLayout>
#include <QHideEvent>
#include <QStatusBar>
#include <QVBoxLayout>

namespace {
QString NoCaption(int) {
    return QString();
}
} // namespace

KitWindow::KitWindow(const Form& form)
    : QWidget(nullptr, form.stayOnTop ? Qt::Window | Qt::WindowStaysOnTopHint : Qt::Window) {
    setObjectName(form.name);
    setWindowTitle(form.caption);
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(6, 6, 6, form.statusBar ? 0 : 6);
    auto* grid = new QGridLayout;
    m_panels = BuildPanels(this, grid, form.count, form.columns, QStringLiteral("Panel"),
                           form.panelCaption ? form.panelCaption : NoCaption, form.panelSize);
    for (size_t i = 0; i < m_panels.size(); ++i) {
        KitPanel* p = m_panels[i];
        // By index: a panel's tag may change with the unit shown.
        connect(p, &KitPanel::clicked, this, [this, i] { emit panelClicked(int(i)); });
        if (form.statusBar) connect(p, &KitPanel::hovered, this, [this, i] { KitHover(int(i)); });
    }
    lay->addLayout(grid);
    if (form.statusBar) {
        const StatusStrip strip = BuildStatusStrip(this);
        StatusBar1 = strip.StatusBar1;
        PanelGet = strip.PanelGet;
        Timer1 = strip.Timer1;
        lay->addWidget(StatusBar1);
    }
}

KitPanel* KitWindow::PanelAt(int index) const {
    return index >= 0 && index < int(m_panels.size()) ? m_panels[size_t(index)] : nullptr;
}

void KitWindow::FlashReceive() {
    if (PanelGet) StatusStrip{StatusBar1, PanelGet, Timer1}.Flash();
}

void KitWindow::KitHover(int index) {
    const KitPanel* p = PanelAt(index);
    if (!p || !StatusBar1) return;
    const QString text = stats::KitStatusText(p->Colour());
    if (!text.isEmpty()) StatusBar1->showMessage(text);
}

void KitWindow::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    // A minimised window is still shown.
    if (!e->spontaneous()) emit hidden();
}
