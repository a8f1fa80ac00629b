#include "stats/ui/KitPanel.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>

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

void PlaceBeside(QWidget& detail, const QWidget& overview) {
    const QScreen* screen =
        overview.screen() ? overview.screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    const QRect anchor = overview.frameGeometry();
    detail.ensurePolished();
    QSize size = detail.size();
    if (!detail.testAttribute(Qt::WA_Resized))
        size = detail.sizeHint().expandedTo(detail.minimumSize());
    // The frame the window manager adds, as the overview has it.
    const QSize frame = anchor.size() - overview.geometry().size();
    const QSize outer = size + frame;
    constexpr int kGap = 4;
    QPoint at;
    if (anchor.right() + kGap + outer.width() <= area.right())
        at = QPoint(anchor.right() + 1 + kGap, anchor.top());
    else if (anchor.left() - kGap - outer.width() >= area.left())
        at = QPoint(anchor.left() - kGap - outer.width(), anchor.top());
    else
        at = anchor.topLeft();
    at.setX(
        std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - outer.width())));
    at.setY(
        std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height())));
    detail.move(at);
}
