// The state summary against the simulator over a pseudo-terminal: the lines
// its cells give, the faults it can be told to show, Esc in the middle, and
// an exchange that stays silent.
#include "TestSupport.h"

#include "StateTestSupport.h"
#include "link/Ats.h"
#include "link/ExchangeSet.h"
#include "link/LinkOptions.h"
#include "link/RequestSession.h"
#include "link/RequestTracker.h"
#include "platform/Codec.h"
#include "platform/EscTracker.h"
#include "state/StateSummary.h"

#include <QFile>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace {
class Summary : public ::testing::Test {
protected:
    void SetUp() override {
        const QString device = sim.Start({QStringLiteral("--seed"), QStringLiteral("7")});
        ASSERT_TRUE(device.startsWith(QStringLiteral("/dev/")));
        MapPort(1, device);
        app.rollDir = env.Dir() + QStringLiteral("/Rulon/");
        ats = &exchanges.Add(std::make_unique<TAts>(app, 1));
        ats->InitSettings();
        ats->SwitchPort(true);
        ASSERT_TRUE(ats->PortIsOpen());
        exchanges.Select(1);
        pause.setInterval(50);
    }
    void TearDown() override {
        EscTracker::SetEscDown(false);
        exchanges.Clear();
    }

    StateSummary::End Run(int captureMs = StateSummary::kCaptureMs) {
        lines.clear();
        sent.clear();
        progress.clear();
        StateSummary s(exchanges, tracker, pause);
        s.Send = [this](const QString& d) {
            sent << d;
            ats->SendDirective(d);
            if (onSend) onSend(d);
        };
        s.OnLine = [this](const QString& l) { lines << l; };
        s.Progress = {[this] { progress << QStringLiteral("show"); },
                      [this](int v) { progress << QString::number(v); },
                      [this] { progress << QStringLiteral("hide"); }};
        s.CaptureMs = captureMs;
        std::optional<StateSummary::End> end;
        s.OnEnd = [&end](StateSummary::End e) { end = e; };
        s.Run();
        // Four cells, their pauses and the closing directive take seconds.
        EXPECT_TRUE(WaitUntil([&] { return end.has_value(); }, 30000));
        return end.value_or(StateSummary::End::LineLost);
    }
    QString Roll() const {
        QFile f(app.rollDir + QStringLiteral("Varnel1.rul"));
        return f.open(QIODevice::ReadOnly) ? Codec::FromCp1251(f.readAll()) : QString();
    }

    TestEnv env;
    SimProcess sim;
    LinkOptions app;
    ExchangeSet exchanges;
    RequestTracker tracker;
    QTimer pause;
    TAts* ats = nullptr;
    std::function<void(const QString&)> onSend;
    QStringList lines, sent, progress;
};
} // namespace

TEST_F(Summary, LinesFromTheExchangeCells) {
    EXPECT_EQ(Run(), StateSummary::End::Done);
    EXPECT_EQ(lines, Utf8List({"Работает ведущая 1-я ЭУМ", "Режим обслуживания вызовов",
                               "В работе 0-й ствол БК", "Синхронный режим"}));
    EXPECT_EQ(sent, Utf8List({"РЯ_77-", "РЯ_11078-", "РЯ_11079-", "РЯ_EC-", "УК_6,-"}));
    EXPECT_EQ(progress, Utf8List({"show", "0", "20", "40", "60", "80", "100", "hide"}));
    EXPECT_EQ(ats->Session(), nullptr);

    // A statistics run holds the line: nothing starts.
    {
        RequestSession stats(*ats, tracker);
        EXPECT_EQ(Run(), StateSummary::End::LineBusy);
        EXPECT_TRUE(sent.isEmpty() && progress.isEmpty());
        EXPECT_EQ(ats->Session(), &stats);
    }

    // The exchange told to show faults, trunk 1 switched in.
    EXPECT_TRUE(sim.Command("faults on").startsWith(QStringLiteral("ok")));
    EXPECT_TRUE(sim.Command("poke 2479 F").startsWith(QStringLiteral("ok")));
    EXPECT_EQ(Run(), StateSummary::End::Done);
    EXPECT_EQ(lines, Utf8List({"Работает ведущая 1-я ЭУМ", "Режим обслуживания вызовов",
                               "В работе 1-й ствол БК", "Неисправна одна из ЭУМ"}));
}

TEST_F(Summary, EscShortensTheWaitsTheSequenceGoesOnAndGivesTheLineBack) {
    onSend = [](const QString& d) {
        if (d == QStringLiteral("РЯ_11078-")) EscTracker::SetEscDown(true);
    };
    EXPECT_EQ(Run(), StateSummary::End::Escaped);
    EscTracker::SetEscDown(false);
    // Cells without their value by then say so.
    EXPECT_EQ(lines, Utf8List({"Работает ведущая 1-я ЭУМ", "Ячейка 11078: нет ответа",
                               "Ячейка 11079: нет ответа", "Ячейка 000EC: нет ответа"}));
    EXPECT_EQ(sent, Utf8List({"РЯ_77-", "РЯ_11078-", "РЯ_11079-", "РЯ_EC-", "УК_6,-"}));
    EXPECT_EQ(progress, Utf8List({"show", "0", "20", "40", "60", "80", "100", "hide"}));
    EXPECT_EQ(ats->Session(), nullptr);
    EXPECT_FALSE(ats->Receiver().CapturePending());
    // The answer that came after Esc is plain roll text again.
    EXPECT_TRUE(WaitUntil([&] { return Roll().contains(QStringLiteral("11078+-00001")); }, 5000))
        << Roll().toStdString();
}

TEST_F(Summary, SilentExchangeGivesUnansweredCellsAndTheRunGoesOn) {
    EXPECT_TRUE(sim.Command("silent 4").startsWith(QStringLiteral("ok")));
    EXPECT_EQ(Run(300), StateSummary::End::Done);
    EXPECT_EQ(lines, Utf8List({"Ячейка 00077: нет ответа", "Ячейка 11078: нет ответа",
                               "Ячейка 11079: нет ответа", "Ячейка 000EC: нет ответа"}));
    EXPECT_EQ(sent.size(), 5);
    EXPECT_FALSE(ats->Receiver().CapturePending());
}
