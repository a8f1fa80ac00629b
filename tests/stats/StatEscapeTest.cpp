// Esc during the reading of every kind of statistics: the run ends at once,
// nothing malformed reaches the exchange (a request still leaving the port
// goes out whole before the continuation), and the line is the operator's
// again.
#include "StatRunFixture.h"

#include <QRegularExpression>

namespace {
class StatEscape : public StatRuns, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        StatRuns::SetUp();
        QObject::connect(ats, &TAts::printout, &main, [this](const QString& t) { printouts += t; });
    }
    // Esc released, a typed directive is answered at once. By its answer
    // the exchange has read everything that went before it.
    void ExpectLineFree() {
        EscTracker::SetEscDown(false);
        ats->SendDirective(QStringLiteral("МВ_-"));
        EXPECT_TRUE(WaitUntil([&] { return printouts.contains(QStringLiteral("МАШИННОЕ")); }, 3000))
            << printouts.toStdString();
        EXPECT_EQ(peer.Directives.last(), QStringLiteral("МВ_-"));
    }
    // The reads before the typed directive: `reads` of them, each a whole
    // memory read, and no error printed.
    void ExpectWholeReads(int reads) {
        static const QRegularExpression read(QStringLiteral("^ТО_8,[0-9A-F]+,[0-9A-F]+,10,,1-$"));
        EXPECT_EQ(peer.Directives.size(), reads + 1) << peer.Directives.join(' ').toStdString();
        for (const QString& d : peer.Directives.mid(0, reads))
            EXPECT_TRUE(read.match(d).hasMatch()) << d.toStdString();
        EXPECT_FALSE(printouts.contains(QStringLiteral("ОШИБКА"))) << printouts.toStdString();
    }
    QString printouts;
};
} // namespace

// Esc goes down while the run waits for the quiet line after its first read:
// no further read goes out.
TEST_P(StatEscape, EscDuringTheReadingEndsTheRunCleanly) {
    script.Then([&] { return peer.SpacesAfter(0) >= 3; }, [] { EscTracker::SetEscDown(true); });
    Run(GetParam());
    ExpectEndedCleanly();
    ExpectLineFree();
    ExpectWholeReads(1);
}

INSTANTIATE_TEST_SUITE_P(Kinds, StatEscape,
                         ::testing::Values("ButtonStatVK", "ButtonStatIK", "ButtonStatPB",
                                           "ButtonStatAK", "ButtonStatISK", "ButtonStatVSK"),
                         [](const auto& info) { return std::string(info.param + 10); });

// Esc goes down while the second read is still leaving the paced queue: it
// goes out whole, then the continuation, and nothing after.
TEST_F(StatEscape, EscWhileAReadLeavesThePortLetsItGoFirst) {
    ats->Link().SetPaceInterval(10);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (peer.Directives.size() == 1 && peer.FramesOf(0) >= 3 && ats->IsSending())
            EscTracker::SetEscDown(true);
    });
    watch.start(1);
    Run("ButtonStatVK");
    watch.stop();
    ExpectEndedCleanly();
    ExpectLineFree();
    ExpectWholeReads(2);
    EXPECT_GE(peer.SpacesAfter(1), 3); // the continuation after the second read
}
