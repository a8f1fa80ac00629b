#include "stats/ui/FormStatPr.h"

#include "link/RequestTracker.h"
#include "stats/ui/KitPanel.h"

#include <QFrame>
#include <QGuiApplication>
#include <QPointer>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>

TFormStatPr::TFormStatPr(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("FormStatPr"));
    setWindowTitle(QStringLiteral("Сбор информации. ESCAPE - выход"));
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setAutoFillBackground(true);
    ProgressBar1 = new QProgressBar(Panel1);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    auto* inner = new QVBoxLayout(Panel1);
    inner->setContentsMargins(12, 12, 12, 12);
    inner->addWidget(ProgressBar1);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(Panel1);
    resize(360, 64);
}

void TFormStatPr::ShowProgress() {
    ProgressBar1->setValue(0);
    SetIndicator(false);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r = frameGeometry();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
    show();
    raise();
}

void TFormStatPr::SetProgress(int value) {
    ProgressBar1->setValue(std::clamp(value, 0, 100));
}

void TFormStatPr::HideProgress() {
    hide();
    SetIndicator(false);
}

void TFormStatPr::BindTracker(RequestTracker& tracker) {
    QPointer<TFormStatPr> self(this);
    tracker.ProgressVisible = [self] { return self && self->isVisible(); };
    connect(&tracker, &RequestTracker::indicator, this, &TFormStatPr::SetIndicator);
}

void TFormStatPr::SetIndicator(bool lit) {
    if (lit == m_lit) return;
    m_lit = lit;
    SetBackground(Panel1, lit ? stats::colour::kLime : stats::colour::kButtonFace);
}
