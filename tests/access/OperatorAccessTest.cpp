// The password procedure on real widgets: the dialog, the locked widgets, the
// check box caption and what is stored.
#include "access/ui/OperatorAccess.h"
#include "TestSupport.h"
#include "access/Password.h"
#include "access/ui/PasswordDlg.h"
#include "platform/Registry.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

struct Console {
    QWidget window;
    QTabWidget* pages = new QTabWidget(&window);
    QLineEdit* entry = new QLineEdit(&window);
    QPushButton* ok = new QPushButton(QStringLiteral("OK"), &window);
    QWidget* extra = nullptr;
    QList<QWidget*> guarded;
    Console() {
        for (int i = 0; i < 11; ++i) {
            auto* page = new QWidget;
            pages->addTab(page, QStringLiteral("Page %1").arg(i));
            if (i < 9) guarded << page;
        }
        extra = pages->widget(10);
        guarded << entry << ok;
    }
    bool AllLocked() const {
        for (QWidget* w : guarded)
            if (w->isEnabled()) return false;
        return extra->isEnabled();
    }
    bool AllOpen() const {
        for (QWidget* w : guarded)
            if (!w->isEnabled()) return false;
        return true;
    }
};

// Answers the dialog when it appears: fill(dlg) then OK, or Cancel.
struct Answer {
    QString password;
    bool tick = false;
    bool cancel = false;
    QString newPw, confirm;
    QString seenCaption;
    bool seenStars = false;
    bool lockedWhileShown = false;
    int shown = 0;
};

void Connect(TOperatorAccess& access, Console& c, Answer& a) {
    QObject::connect(&access, &TOperatorAccess::DialogShown, [&](QDialog* d) {
        ++a.shown;
        auto* dlg = qobject_cast<TPasswordDlg*>(d);
        ASSERT_TRUE(dlg);
        a.lockedWhileShown = c.AllLocked();
        a.seenCaption = dlg->findChild<QCheckBox*>(QStringLiteral("CheckBox1"))->text();
        a.seenStars = dlg->findChild<QLineEdit*>(QStringLiteral("Password"))->echoMode() ==
                      QLineEdit::Password;
        dlg->findChild<QLineEdit*>(QStringLiteral("Password"))->setText(a.password);
        dlg->findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(a.newPw);
        dlg->findChild<QLineEdit*>(QStringLiteral("Edit2"))->setText(a.confirm);
        dlg->findChild<QCheckBox*>(QStringLiteral("CheckBox1"))->setChecked(a.tick);
        dlg->findChild<QPushButton*>(a.cancel ? QStringLiteral("CancelBtn")
                                              : QStringLiteral("OKBtn"))
            ->click();
    });
}

std::optional<bool> PasswEn() {
    Registry reg;
    if (!reg.OpenKey(oper::kCurrentAtsKey, false)) return std::nullopt;
    return reg.ReadBool(QStringLiteral("PasswEn"));
}

const QString kService = oper::TPasswordLogic::ServicePassword();

} // namespace

TEST(OperatorAccess, NoPasswEnAsksAndAnUntickedBoxKeepsPasswordUseOn) {
    TestEnv env;
    Console c;
    TOperatorAccess access(&c.window, c.guarded);
    Answer a;
    a.password = kService;
    Connect(access, c, a);
    EXPECT_EQ(access.AskAtStartup(), TOperatorAccess::Outcome::Unlocked);
    EXPECT_EQ(a.shown, 1);
    EXPECT_TRUE(a.lockedWhileShown);
    EXPECT_TRUE(a.seenStars);
    EXPECT_EQ(a.seenCaption, QStringLiteral("Не использовать пароль"));
    EXPECT_TRUE(c.AllOpen());
    EXPECT_EQ(PasswEn(), std::optional<bool>(true));
}

TEST(OperatorAccess, PasswEnFalseStartsOpenAndTickingSwitchesItOn) {
    TestEnv env;
    {
        Registry reg;
        ASSERT_TRUE(reg.OpenKey(oper::kCurrentAtsKey, true));
        ASSERT_TRUE(reg.WriteBool(QStringLiteral("PasswEn"), false));
    }
    Console c;
    TOperatorAccess access(&c.window, c.guarded);
    Answer a;
    a.password = kService;
    a.tick = true;
    Connect(access, c, a);
    EXPECT_EQ(access.AskAtStartup(), TOperatorAccess::Outcome::Unlocked);
    EXPECT_EQ(a.shown, 0);
    EXPECT_TRUE(c.AllOpen());
    // "Пароль": the box reads "Использовать пароль"; ticked, use goes on.
    EXPECT_EQ(access.RunProcedure(), TOperatorAccess::Outcome::Unlocked);
    EXPECT_EQ(a.seenCaption, QStringLiteral("Использовать пароль"));
    EXPECT_EQ(PasswEn(), std::optional<bool>(true));
    // The next start asks.
    Console c2;
    TOperatorAccess again(&c2.window, c2.guarded);
    Answer a2;
    a2.password = QStringLiteral("wrong");
    Connect(again, c2, a2);
    EXPECT_EQ(again.AskAtStartup(), TOperatorAccess::Outcome::Locked);
    EXPECT_EQ(a2.shown, 1);
    EXPECT_TRUE(c2.AllLocked());
}

TEST(OperatorAccess, CancelAtStartUpStaysLockedAndThePasswordButtonAsksAgain) {
    TestEnv env;
    Console c;
    TOperatorAccess access(&c.window, c.guarded);
    Answer a;
    a.password = kService;
    a.cancel = true;
    Connect(access, c, a);
    EXPECT_EQ(access.AskAtStartup(), TOperatorAccess::Outcome::Locked);
    EXPECT_TRUE(c.AllLocked());
    EXPECT_TRUE(access.IsLocked());
    EXPECT_FALSE(PasswEn().has_value()); // nothing stored without a correct password
    a.cancel = false;
    a.newPw = a.confirm = QStringLiteral("секрет");
    EXPECT_EQ(access.RunProcedure(), TOperatorAccess::Outcome::Unlocked);
    EXPECT_EQ(a.shown, 2);
    EXPECT_TRUE(c.AllOpen());
    // The new password is now the operator's.
    a.password = QStringLiteral("секрет");
    a.newPw = a.confirm = QString();
    EXPECT_EQ(access.RunProcedure(), TOperatorAccess::Outcome::Unlocked);
    a.password = QStringLiteral("секре");
    EXPECT_EQ(access.RunProcedure(), TOperatorAccess::Outcome::Locked);
    EXPECT_TRUE(c.AllLocked());
}

TEST(OperatorAccess, RegistryFailureShowsTheMessageAndClosesTheWindow) {
    TestEnv env;
    Console c;
    c.window.show();
    TOperatorAccess access(&c.window, c.guarded, QStringLiteral("/proc/varnel-none/r.ini"));
    QString shownText;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shownText = box->text();
            box->accept();
        }
    });
    EXPECT_EQ(access.RunProcedure(), TOperatorAccess::Outcome::Fatal);
    EXPECT_EQ(shownText, QStringLiteral("Продолжение невозможно. Прграмма будет закрыта"));
    QApplication::processEvents();
    EXPECT_FALSE(c.window.isVisible());
}
