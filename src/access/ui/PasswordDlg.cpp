#include "access/ui/PasswordDlg.h"

#include "access/PasswordLogic.h"
#include "platform/ui/DialogButtons.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TPasswordDlg::TPasswordDlg(QWidget* parent)
    : QDialog(parent), m_password(new QLineEdit(this)), m_edit1(new QLineEdit(this)),
      m_edit2(new QLineEdit(this)), m_check(new QCheckBox(oper::kCaptionUse, this)) {
    setObjectName(QStringLiteral("PasswordDlg"));
    setWindowTitle(QStringLiteral("Пароль"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);
    m_password->setObjectName(QStringLiteral("Password"));
    m_edit1->setObjectName(QStringLiteral("Edit1"));
    m_edit2->setObjectName(QStringLiteral("Edit2"));
    m_check->setObjectName(QStringLiteral("CheckBox1"));
    for (QLineEdit* e : {m_password, m_edit1, m_edit2})
        e->setEchoMode(QLineEdit::Password);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Введите пароль"), m_password);
    form->addRow(QStringLiteral("Новый пароль"), m_edit1);
    form->addRow(QStringLiteral("Подтверждение"), m_edit2);
    auto* buttons = OkCancelButtons(this);
    auto* top = new QVBoxLayout(this);
    top->addLayout(form);
    top->addWidget(m_check);
    top->addWidget(buttons);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void TPasswordDlg::ClearFields() {
    m_password->clear();
    m_edit1->clear();
    m_edit2->clear();
}
