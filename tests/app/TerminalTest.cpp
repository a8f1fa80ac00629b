// The terminal without a window, under a plain QCoreApplication: started
// after an unclean end, its line opened to the simulator, a call billed, and
// shut down cleanly.
#include "TestSupport.h"
#include "tariff/CallRecordsTestSupport.h"

#include "app/Terminal.h"
#include "central/CentralSettings.h"
#include "central/Outbox.h"
#include "link/Ats.h"
#include "platform/Registry.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

namespace {
std::optional<bool> CorrectLogOff() {
    Registry reg;
    RegistryKey key{reg, CreateSettings::kKey, false};
    return key ? key->ReadBool(QStringLiteral("CorrectLogOff")) : std::nullopt;
}
} // namespace

TEST(HeadlessTerminal, OpensItsLineBillsACallAndShutsDownCleanly) {
    ASSERT_FALSE(QCoreApplication::instance()->inherits("QGuiApplication"));
    TestEnv env;
    SimProcess sim;
    ASSERT_FALSE(sim.Start({QStringLiteral("--seed"), QStringLiteral("5")}, 1).isEmpty());
    SwitchLineOn(1, 1);
    {
        Registry reg;
        // The previous run ended uncleanly: the start recovers the tables
        // without a window.
        ASSERT_TRUE(reg.OpenKey(CreateSettings::kKey, true));
        reg.WriteBool(QStringLiteral("CorrectLogOff"), false);
    }

    Terminal term(env.Dir());
    ASSERT_TRUE(term.Start());
    EXPECT_EQ(CorrectLogOff(), false) << "a run in progress counts as unclean until it ends";
    term.OpenLines();
    TAts* ats = term.Ats(1);
    ASSERT_NE(ats, nullptr);
    ASSERT_TRUE(ats->PortIsOpen());
    EXPECT_EQ(term.Current(), ats);
    EXPECT_FALSE(term.Ats(2)->PortIsOpen());

    EXPECT_TRUE(sim.Command(QStringLiteral("call 1234 5678 1 1")).startsWith(QStringLiteral("ok")));
    const QString destTar = env.Path(QStringLiteral("Tables/DestTar.db"));
    EXPECT_TRUE(WaitUntil([&] { return ReadRows(destTar).size() == 1; }, 10000));

    // The central call store is off: no queue.
    EXPECT_EQ(term.CentralOutbox(), nullptr);
    EXPECT_FALSE(QFile::exists(env.Path(QStringLiteral("Tables/Central.que"))));

    term.Shutdown();
    EXPECT_EQ(CorrectLogOff(), true);
    const auto rows = ReadRows(destTar);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0][0].toString(), QStringLiteral("1234"));
    EXPECT_EQ(rows[0][5].toString(), QStringLiteral("5678"));
}

// Switched on, the terminal opens the queue in the tables folder and bills
// into it under its terminal id.
TEST(HeadlessTerminal, CentralStoreOnOpensTheQueueForTheCallRecords) {
    TestEnv env;
    {
        Registry reg;
        CentralSettings c;
        c.enabled = true;
        c.terminalId = QStringLiteral("T7");
        ASSERT_TRUE(c.Write(reg));
        EXPECT_EQ(CentralSettings::Read(reg).terminalId, QStringLiteral("T7"));
    }
    Terminal term(env.Dir());
    ASSERT_TRUE(term.Start());
    Outbox* q = term.CentralOutbox();
    ASSERT_NE(q, nullptr);
    EXPECT_GT(q->Epoch(), 0);
    EXPECT_TRUE(QFile::exists(env.Path(QStringLiteral("Tables/Central.que"))));
    term.Shutdown();
    EXPECT_EQ(Outbox::ReadStatus(env.Path(QStringLiteral("Tables"))).pending, 0);
}
