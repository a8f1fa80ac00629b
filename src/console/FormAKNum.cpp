#include "console/FormAKNum.h"

#include "directives/ui/MaskEdit.h"
#include "platform/ui/DialogButtons.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

const QString TFormAKNum::kMask = QStringLiteral(">aaa;1;_");

TFormAKNum::TFormAKNum(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormAKNum"));
    setWindowTitle(QStringLiteral("АК"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(new QLabel(QStringLiteral("Введите линейный номер АК")));
    m_edit = new MaskEdit;
    m_edit->setObjectName(QStringLiteral("MaskEdit1"));
    m_edit->SetEditMask(kMask);
    connect(m_edit, &MaskEdit::keyDown, this, [this](int key) {
        if (key == Qt::Key_Return || key == Qt::Key_Enter) accept();
        if (key == Qt::Key_Escape) reject();
    });
    lay->addWidget(m_edit);
    auto* buttons = OkCancelButtons(this);
    lay->addWidget(buttons);
}

void TFormAKNum::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen()) {
        QRect r = frameGeometry();
        r.moveCenter(s->availableGeometry().center());
        move(r.topLeft());
    }
    m_edit->setFocus();
    m_edit->SetCaretPos(0);
}
