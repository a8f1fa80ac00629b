// The password procedure on real widgets: the dialog, the locked widgets, the
// check box caption and what is stored.
#include "access/ui/OperatorAccess.h"
#include "TestSupport.h"
#include "access/PasswordLogic.h"
#include "platform/Registry.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// A window with eleven pages (nine guarded), an entry and its button.
struct Console {
    QWidget window;
    QTabWidget* pages = new QTabWidget(&window);
    QList<QWidget*> guarded;
    Console() {
        for (int i = 0; i < 11; ++i) {
            pages->addTab(new QWidget, QString::number(i));
            if (i < 9) guarded << pages->widget(i);
        }
        guarded << new QLineEdit(&window) << new QPushButton(&window);
    }
    bool Locked() const {
        for (QWidget* w : guarded)
            if (w->isEnabled()) return false;
        return pages->widget(10)->isEnabled();
    }
    bool Open() const {
        for (QWidget* w : guarded)
            if (!w->isEnabled()) return false;
        return true;
    }
};

// Answers the dialog when it appears, with OK or Cancel.
struct Answer {
    QString password, newPw, confirm, seenCaption;
    bool tick = false, cancel = false, lockedWhileShown = false, stars = false;
    int shown = 0;
    void Connect(OperatorAccess& access, const Console& c) {
        QObject::connect(&access, &OperatorAccess::DialogShown, [this, &c](QDialog* d) {
            ++shown;
            lockedWhileShown = c.Locked();
            auto* box = d->findChild<QCheckBox*>(QStringLiteral("CheckBox1"));
            auto* pw = d->findChild<QLineEdit*>(QStringLiteral("Password"));
            seenCaption = box->text();
            stars = pw->echoMode() == QLineEdit::Password;
            pw->setText(password);
            d->findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(newPw);
            d->findChild<QLineEdit*>(QStringLiteral("Edit2"))->setText(confirm);
            box->setChecked(tick);
            d->findChild<QPushButton*>(cancel ? QStringLiteral("CancelBtn")
                                              : QStringLiteral("OKBtn"))
                ->click();
        });
    }
};

std::optional<bool> PasswEn() {
    Registry reg;
    if (!reg.OpenKey(oper::kCurrentAtsKey, false)) return std::nullopt;
    return reg.ReadBool(QStringLiteral("PasswEn"));
}

const QString kService = oper::PasswordLogic::ServicePassword();

} // namespace

// No "PasswEn" yet: the start asks, with the window locked while the dialog
// is up; Cancel keeps it locked and stores nothing. The password button asks
// again; the untouched box keeps password use on, a new password is taken,
// and the ticked box switches password use off.
TEST(OperatorAccess, NoPasswEnAsksCancelStaysLockedAndThePasswordButtonAsksAgain) {
    TestEnv env;
    Console c;
    OperatorAccess access(&c.window, c.guarded);
    Answer a;
    a.password = kService;
    a.cancel = true;
    a.Connect(access, c);
    EXPECT_EQ(access.AskAtStartup(), OperatorAccess::Outcome::Locked);
    EXPECT_EQ(a.shown, 1);
    EXPECT_TRUE(a.lockedWhileShown && a.stars && c.Locked() && access.IsLocked());
    EXPECT_EQ(a.seenCaption, QStringLiteral("Не использовать пароль"));
    EXPECT_FALSE(PasswEn().has_value());
    a.cancel = false;
    a.newPw = a.confirm = QStringLiteral("секрет");
    EXPECT_EQ(access.RunProcedure(), OperatorAccess::Outcome::Unlocked);
    EXPECT_TRUE(c.Open());
    EXPECT_EQ(PasswEn(), std::optional<bool>(true));
    a.password = QStringLiteral("секрет");
    a.newPw = a.confirm = QString();
    a.tick = true; // "Не использовать пароль"
    EXPECT_EQ(access.AskAtStartup(), OperatorAccess::Outcome::Unlocked);
    EXPECT_EQ(a.shown, 3);
    EXPECT_EQ(PasswEn(), std::optional<bool>(false));
    QSignalSpy refused(&access, &OperatorAccess::refused);
    a.password = QStringLiteral("секре");
    EXPECT_EQ(access.RunProcedure(), OperatorAccess::Outcome::Locked);
    EXPECT_TRUE(c.Locked());
    EXPECT_EQ(refused.count(), 1) << "a wrong password is told, not only Cancel";
}

TEST(OperatorAccess, PasswEnFalseStartsOpenAndTickingSwitchesItOn) {
    TestEnv env;
    PasswordOff();
    Console c;
    OperatorAccess access(&c.window, c.guarded);
    Answer a;
    a.password = kService;
    a.tick = true;
    a.Connect(access, c);
    EXPECT_EQ(access.AskAtStartup(), OperatorAccess::Outcome::Unlocked);
    EXPECT_EQ(a.shown, 0);
    EXPECT_TRUE(c.Open());
    // "Пароль": the box reads "Использовать пароль"; ticked, use goes on.
    EXPECT_EQ(access.RunProcedure(), OperatorAccess::Outcome::Unlocked);
    EXPECT_EQ(a.seenCaption, QStringLiteral("Использовать пароль"));
    EXPECT_EQ(PasswEn(), std::optional<bool>(true));
}

TEST(OperatorAccess, RegistryFailureShowsTheMessageAndClosesTheWindow) {
    TestEnv env;
    Console c;
    c.window.show();
    OperatorAccess access(&c.window, c.guarded, QStringLiteral("/proc/varnel-none/r.ini"));
    QString shownText;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shownText = box->text();
            box->accept();
        }
    });
    EXPECT_EQ(access.RunProcedure(), OperatorAccess::Outcome::Fatal);
    EXPECT_EQ(shownText, QStringLiteral("Продолжение невозможно. Прграмма будет закрыта"));
    QApplication::processEvents();
    EXPECT_FALSE(c.window.isVisible());
}
