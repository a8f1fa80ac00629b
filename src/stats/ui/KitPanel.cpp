#include "stats/ui/KitPanel.h"

#include <QGridLayout>
#include <QMouseEvent>

QColor WindowsColour(uint32_t value, const QPalette& palette) {
    if (value == stats::colour::kButtonFace) return palette.color(QPalette::Button);
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

void SetBackground(QWidget* w, uint32_t value) {
    QPalette p = w->palette();
    p.setColor(QPalette::Window, WindowsColour(value, QPalette()));
    w->setPalette(p);
}

KitPanel::KitPanel(int tag, const QString& caption, QWidget* parent)
    : QLabel(caption, parent), m_tag(tag) {
    setAlignment(Qt::AlignCenter);
    setAutoFillBackground(true);
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(2);
    setMouseTracking(true);
    SetBackground(this, m_colour);
}

bool KitPanel::SetColour(uint32_t value) {
    if (value == m_colour) return false;
    m_colour = value;
    ++m_writes;
    SetBackground(this, value);
    return true;
}

void KitPanel::SetRaised(bool raised) {
    if (raised == m_raised) return;
    m_raised = raised;
    setFrameShadow(raised ? QFrame::Raised : QFrame::Sunken);
}

void KitPanel::Apply(const stats::PanelLook& look) {
    SetRaised(look.raised);
    if (look.colour) SetColour(*look.colour);
}

void KitPanel::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) m_pressed = true;
    QLabel::mousePressEvent(e);
}

void KitPanel::mouseReleaseEvent(QMouseEvent* e) {
    const bool click = m_pressed && e->button() == Qt::LeftButton && rect().contains(e->pos());
    m_pressed = false;
    QLabel::mouseReleaseEvent(e);
    if (click) emit clicked(m_tag);
}

void KitPanel::mouseMoveEvent(QMouseEvent* e) {
    emit hovered(m_tag);
    QLabel::mouseMoveEvent(e);
}

void KitPanel::enterEvent(QEnterEvent* e) {
    emit hovered(m_tag);
    QLabel::enterEvent(e);
}

std::vector<KitPanel*> BuildPanels(QWidget* parent, QGridLayout* grid, int count, int columns,
                                   const QString& prefix, QString (*caption)(int tag),
                                   const QSize& size) {
    std::vector<KitPanel*> panels;
    panels.reserve(size_t(count));
    grid->setSpacing(2);
    for (int tag = 0; tag < count; ++tag) {
        auto* p = new KitPanel(tag, caption(tag), parent);
        p->setObjectName(prefix + QString::number(tag + 1));
        p->setFixedSize(size);
        grid->addWidget(p, tag / columns, tag % columns);
        panels.push_back(p);
    }
    return panels;
}
