#include "stats/ui/KitPanel.h"

#include <QGridLayout>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTimer>

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

QString TwoDigitCaption(int n) {
    return QStringLiteral("%1").arg(n, 2, 16, QLatin1Char('0')).toUpper();
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

void StatusStrip::Flash() const {
    PanelGet->SetColour(stats::colour::kLime);
    Timer1->start();
}

StatusStrip BuildStatusStrip(QWidget* window) {
    StatusStrip s;
    s.StatusBar1 = new QStatusBar(window);
    s.StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    s.StatusBar1->setSizeGripEnabled(false);
    s.PanelGet = new KitPanel(0, QString(), window);
    s.PanelGet->setObjectName(QStringLiteral("PanelGet"));
    s.PanelGet->setFixedSize(18, 14);
    s.StatusBar1->addPermanentWidget(s.PanelGet);
    s.Timer1 = new QTimer(window);
    s.Timer1->setObjectName(QStringLiteral("Timer1"));
    s.Timer1->setInterval(40);
    s.Timer1->setSingleShot(true);
    KitPanel* get = s.PanelGet;
    QObject::connect(s.Timer1, &QTimer::timeout, get,
                     [get] { get->SetColour(stats::colour::kButtonFace); });
    return s;
}
