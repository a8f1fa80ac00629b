// The terminal against the simulator over a real pseudo-terminal: a cell read
// captured from a printout, and a line missing at start-up that appears and
// bills a call.
#include "TestSupport.h"

#include "console/Form2.h"
#include "link/Ats.h"
#include "link/LinkOptions.h"
#include "link/RequestSession.h"
#include "link/RequestTracker.h"
#include "platform/Codec.h"
#include "platform/EscTracker.h"
#include "platform/Registry.h"
#include "tables/Table.h"

#include <QCheckBox>
#include <QFile>
#include <gtest/gtest.h>

#include <memory>

namespace {
const QStringList kSim = {QStringLiteral("--seed"), QStringLiteral("7"), QStringLiteral("--clock"),
                          QStringLiteral("2026-12-05 14:05:00")};
} // namespace

TEST(SimE2E, CellValueIsCapturedFromThePrintoutAndCutFromTheRoll) {
    TestEnv env;
    SimProcess sim;
    ASSERT_FALSE(sim.Start(kSim, 1).isEmpty());
    LinkOptions app;
    RequestTracker tracker;
    app.rollDir = env.Dir() + QStringLiteral("/Rulon/");
    auto ats = std::make_unique<TAts>(app, 1);
    ats->InitSettings();
    ats->SwitchPort(true);
    ASSERT_TRUE(ats->PortIsOpen());
    auto roll = [&] {
        QFile f(app.rollDir + QStringLiteral("Varnel1.rul"));
        return f.open(QIODevice::ReadOnly) ? Codec::FromCp1251(f.readAll()) : QString();
    };
    EXPECT_TRUE(sim.Command(QStringLiteral("poke 77 AB")).startsWith(QStringLiteral("ok")));
    using End = RequestSession::CaptureEnd;
    std::optional<End> end;
    QString value;
    auto report = [&](End e, const QString& v) {
        end = e;
        value = v;
    };
    {
        RequestSession s(*ats, tracker);
        s.Capture(
            QStringLiteral("00077+-"), 5, [&] { ats->SendDirective(QStringLiteral("РЯ_77-")); },
            5000, report);
        ASSERT_TRUE(WaitUntil([&] { return end.has_value(); }, 8000));
    }
    EXPECT_EQ(*end, End::Value);
    EXPECT_EQ(value, QStringLiteral("000AB"));
    // The rest of the printout went to the roll, without the cell's line.
    ASSERT_TRUE(WaitUntil([&] { return roll().contains(QStringLiteral("РЯ_77-")); }, 3000));
    EXPECT_FALSE(roll().contains(QStringLiteral("00077+-"))) << roll().toStdString();

    // After a capture that gave up, the same printout is plain roll text.
    end.reset();
    {
        RequestSession s(*ats, tracker);
        s.Capture(
            QStringLiteral("НИКОГДА"), 5, [] {}, 300, report);
        ASSERT_TRUE(WaitUntil([&] { return end.has_value(); }, 3000));
    }
    EXPECT_EQ(*end, End::TimedOut);
    // Esc ends a capture; a second session is refused and the capture goes
    // on until given up.
    end.reset();
    {
        RequestSession s(*ats, tracker);
        s.Capture(
            QStringLiteral("НИКОГДА"), 5, [] {}, 60000, report);
        EscTracker::SetEscDown(true);
        EscTracker::SetEscDown(false);
        ASSERT_TRUE(WaitUntil([&] { return end.has_value(); }, 3000));
        EXPECT_EQ(*end, End::Escaped);
        end.reset();
        s.Capture(
            QStringLiteral("НИКОГДА"), 5, [] {}, 60000, report);
        RequestSession other(*ats, tracker);
        EXPECT_TRUE(other.Refused());
        EXPECT_TRUE(s.CaptureWaiting());
        s.StopCapture();
        ASSERT_TRUE(WaitUntil([&] { return end.has_value(); }, 3000));
        EXPECT_EQ(*end, End::TimedOut);
    }
    EXPECT_FALSE(ats->Receiver().CapturePending());
    ats->SendDirective(QStringLiteral("РЯ_77-"));
    EXPECT_TRUE(WaitUntil([&] { return roll().contains(QStringLiteral("00077+-000AB")); }, 5000))
        << roll().toStdString();
}

TEST(SimStartUp, LineMissingAtStartUpOpensWhenItAppearsAndBillsACall) {
    TestEnv env;
    const QString adapter = env.Path(QStringLiteral("ttyUSB0"));
    {
        Registry reg;
        reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\Ports"), true);
        reg.WriteString(QStringLiteral("1"), adapter);
        reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\ATS 1"), true);
        reg.WriteBool(QStringLiteral("In"), true);
    }
    PasswordOff();
    TForm2 form(env.Dir());
    form.show();
    ASSERT_TRUE(WaitUntil([&] { return form.Ats(1) && form.Ats(1)->Link().Wanted(); }, 5000));
    EXPECT_FALSE(form.Ats(1)->PortIsOpen());
    // The missing line stays wanted, in the window and in the settings.
    EXPECT_TRUE(form.Row(1).CheckBoxPort->isChecked());
    {
        Registry reg;
        reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\ATS 1"), false);
        EXPECT_EQ(reg.ReadBool(QStringLiteral("In")), true);
    }

    SimProcess sim; // the adapter is plugged in
    const QString device = sim.Start(kSim);
    ASSERT_FALSE(device.isEmpty());
    ASSERT_TRUE(QFile::link(device, adapter));
    ASSERT_TRUE(WaitUntil([&] { return form.Ats(1)->PortIsOpen(); }, 8000));

    EXPECT_TRUE(
        sim.Command(QStringLiteral("call 20005 123456 1 1")).startsWith(QStringLiteral("ok")));
    auto rows = [&] {
        auto table = tables::Table::ForFile(env.Path(QStringLiteral("Tables/DestTar.db")));
        return table->Open(true) ? table->RecordCount() : 0;
    };
    EXPECT_TRUE(WaitUntil([&] { return rows() > 0; }, 8000));
}
