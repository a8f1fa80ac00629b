// Esc in the waits of the state analysis, pressed on the main window while
// it works against the simulator with the real six-second pauses: the run
// ends as it should, every directive reaches the exchange whole, the line is
// given back and a typed directive is answered right after.
#include "StateTestSupport.h"

#include "console/DirectiveEntry.h"
#include "console/Form2.h"
#include "directives/ui/MaskEdit.h"
#include "link/Ats.h"
#include "platform/Codec.h"
#include "platform/Registry.h"
#include "state/UnitState.h"
#include "state/ui/AtsStatePage.h"
#include "state/ui/StatePages.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

namespace {
struct StateEsc : ::testing::Test {
    TestEnv env;
    SimProcess sim;
    std::unique_ptr<TForm2> form;
    StatePages* pages = nullptr;
    QStringList executed;
    std::function<void(const QString&)> onExecute;

    void SetUp() override {
        const QString device = sim.Start({QStringLiteral("--seed"), QStringLiteral("7")});
        ASSERT_TRUE(device.startsWith(QStringLiteral("/dev/")));
        MapPort(1, device);
        SwitchLineOn(1);
        PasswordOff();
        form = std::make_unique<TForm2>(env.Dir());
        form->show();
        ASSERT_TRUE(WaitUntil([&] { return form->Ats(1) && form->Ats(1)->PortIsOpen(); }, 5000));
        pages = form->findChild<StatePages*>();
        ASSERT_NE(pages, nullptr);
        ASSERT_EQ(pages->PuuWaitTimer().interval(), StatePages::kPuuWaitMs);
        QObject::connect(&form->Entry(), &DirectiveEntry::executing, [this](const QString& d) {
            executed << d;
            if (onExecute) onExecute(d);
        });
    }
    void TearDown() override { EscTracker::SetEscDown(false); }

    void PressEsc() { QTest::keyPress(form.get(), Qt::Key_Escape); }
    void ReleaseEsc() { QTest::keyRelease(form.get(), Qt::Key_Escape); }
    // Esc pressed and let go while the pause runs.
    void EscInThePause() {
        ASSERT_TRUE(WaitUntil([&] { return pages->PuuWaitTimer().isActive(); }, 10000));
        PressEsc();
        ReleaseEsc();
    }
    QString Roll() const {
        return Codec::FromCp1251(FileBytes(env.Path(QStringLiteral("Rulon/Varnel1.rul"))));
    }
    // Nothing malformed reached the exchange; the line is free and a typed
    // directive is answered.
    void LineIsGivenBack() {
        TAts* ats = form->Ats(1);
        EXPECT_EQ(ats->Session(), nullptr);
        EXPECT_FALSE(ats->Receiver().CapturePending());
        EXPECT_FALSE(pages->Context().busy);
        MaskEdit* edit = form->Entry().Edit();
        form->Entry().Reset();
        QTest::keyClicks(edit, QStringLiteral("vd_"));
        QTest::keyClick(edit, Qt::Key_Return);
        EXPECT_EQ(executed.last(), QString::fromUtf8("МВ_-"));
        EXPECT_TRUE(WaitUntil([&] { return Roll().contains(QString::fromUtf8("МАШИННОЕ")); }, 5000))
            << Roll().toStdString();
        EXPECT_FALSE(Roll().contains(QString::fromUtf8("ОШИБКА"))) << Roll().toStdString();
    }
};
} // namespace

TEST_F(StateEsc, SummaryWithEscInAPauseAndHeldFromACaptureOn) {
    std::optional<StateSummary::End> end;
    QObject::connect(pages->AtsState(), &AtsStatePage::finished,
                     [&](StateSummary::End e) { end = e; });
    // Esc goes down once the second cell's capture waits, and stays down.
    onExecute = [this](const QString& d) {
        if (d == QString::fromUtf8("РЯ_11078-"))
            QTimer::singleShot(0, form.get(), [this] { PressEsc(); });
    };
    form->findChild<QPushButton*>(QStringLiteral("ButtonStateATS"))->click();
    EscInThePause(); // after the first cell
    ASSERT_TRUE(WaitUntil([&] { return end.has_value(); }, 10000));
    ReleaseEsc();
    EXPECT_EQ(*end, StateSummary::End::Escaped);
    EXPECT_EQ(executed, Utf8List({"РЯ_77-", "РЯ_11078-", "РЯ_11079-", "РЯ_EC-", "УК_6,-"}));
    EXPECT_EQ(form->findChild<QPlainTextEdit*>(QStringLiteral("MemoStateATS"))
                  ->toPlainText()
                  .split(QLatin1Char('\n')),
              Utf8List({"Работает ведущая 1-я ЭУМ", "Ячейка 11078: нет ответа",
                        "Ячейка 11079: нет ответа", "Ячейка 000EC: нет ответа"}));
    LineIsGivenBack();
}

TEST_F(StateEsc, UnitRequestWithEscInBothReferenceWaits) {
    const QStringList directives = unitstate::RequestDirectives(unitstate::Unit::VVK);
    ASSERT_EQ(directives.size(), 3);
    form->findChild<QPushButton*>(QStringLiteral("Button15"))->click();
    EXPECT_TRUE(pages->Context().busy);
    EscInThePause();
    ASSERT_TRUE(WaitUntil([&] { return executed.size() == 2; }, 5000));
    // Held down through the second wait and the last directive's send.
    ASSERT_TRUE(WaitUntil([&] { return pages->PuuWaitTimer().isActive(); }, 5000));
    PressEsc();
    ASSERT_TRUE(WaitUntil([&] { return !pages->Context().busy; }, 5000));
    ReleaseEsc();
    EXPECT_EQ(executed, directives);
    EXPECT_TRUE(WaitUntil([&] { return Roll().contains(QString::fromUtf8("СОСТОЯНИЕ")); }, 5000));
    LineIsGivenBack();
}
