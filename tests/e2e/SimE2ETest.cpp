// The terminal against the simulator over a real pseudo-terminal: a
// directive answered in the roll, a memory read whose frames stop at the
// terminal's continuation, a cell read captured from a printout, and a line
// missing at start-up that appears and bills a call.
#include "TestSupport.h"

#include "console/Form2.h"
#include "link/AppState.h"
#include "link/Ats.h"
#include "link/RequestSession.h"
#include "link/RequestTracker.h"
#include "platform/Codec.h"
#include "platform/Registry.h"
#include "platform/Wait.h"
#include "tables/Table.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <gtest/gtest.h>

#include <memory>

namespace {
const QStringList kSim = {QStringLiteral("--seed"), QStringLiteral("7"), QStringLiteral("--clock"),
                          QStringLiteral("2026-12-05 14:05:00")};

class SimE2E : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(sim.Start(kSim, 1).isEmpty());
        app.CurDir = env.Dir();
        app.RollDir = env.Dir() + QStringLiteral("/Rulon/");
        ats = std::make_unique<TAts>(app, 1);
        ats->InitSettings();
        ats->SwitchPort(true);
        ASSERT_TRUE(ats->PortIsOpen());
    }
    void TearDown() override { ats.reset(); }
    QString Roll() const {
        QFile f(app.RollDir + QStringLiteral("Varnel1.rul"));
        return f.open(QIODevice::ReadOnly) ? Codec::FromCp1251(f.readAll()) : QString();
    }
    TestEnv env;
    SimProcess sim;
    AppState app;
    RequestTracker tracker;
    std::unique_ptr<TAts> ats;
};
} // namespace

TEST_F(SimE2E, ClockDirectiveIsAnsweredInTheRoll) {
    ats->SendDirective(QStringLiteral("МВ_-"));
    EXPECT_TRUE(WaitUntil([&] { return Roll().contains(QStringLiteral("2026")); }, 5000));
    const QString roll = Roll();
    EXPECT_TRUE(roll.contains(QStringLiteral("МВ_-"))) << roll.toStdString();
    EXPECT_TRUE(roll.contains(QStringLiteral("МАШИННОЕ_ВРЕМЯ_14.05"))) << roll.toStdString();
    EXPECT_TRUE(roll.contains(QStringLiteral(".12.2026"))) << roll.toStdString();
}

TEST_F(SimE2E, MemoryReadRepeatsUntilTheContinuation) {
    // The one-shot rule of the statistics: the third frame is the answer.
    RequestSession s(*ats, tracker);
    int frames = 0, word = -1;
    s.Parse = [&](const uint8_t* data, int) {
        ++frames;
        if (s.FrameCounter < 2) {
            ++s.FrameCounter;
            return;
        }
        word = ((data[0] * 16 + data[1]) * 16 + data[2]) * 16 + data[3];
        s.FrameDone = true;
    };
    s.ExpectFrames(7);
    s.DataCount = 100;
    s.Send(QStringLiteral("ТО_8,5FA3,3,10,,1-"));
    ASSERT_TRUE(WaitUntil([&] { return s.FrameDone; }, 5000));
    EXPECT_EQ(word & 0x3F, 47); // 48 battery receivers
    EXPECT_GE(frames, 3);
    // The continuation sent with the third frame has stopped the frames.
    EXPECT_TRUE(WaitUntil(
        [&] { return sim.Command(QStringLiteral("status")).endsWith(QStringLiteral("reading -")); },
        3000));
}

TEST_F(SimE2E, CellValueIsCapturedFromThePrintoutAndCutFromTheRoll) {
    EXPECT_TRUE(sim.Command(QStringLiteral("poke 77 AB")).startsWith(QStringLiteral("ok")));
    std::optional<QString> value;
    {
        RequestSession s(*ats, tracker);
        value = s.Capture(
            QStringLiteral("00077+-"), 5, [&] { ats->SendDirective(QStringLiteral("РЯ_77-")); },
            5000);
    }
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(*value, QStringLiteral("000AB"));
    // The rest of the printout went to the roll, without the cell's line.
    ASSERT_TRUE(WaitUntil([&] { return Roll().contains(QStringLiteral("РЯ_77-")); }, 3000));
    EXPECT_FALSE(Roll().contains(QStringLiteral("00077+-"))) << Roll().toStdString();

    // A cell that never comes: the capture gives up at its time and the line
    // is plain again.
    {
        RequestSession s(*ats, tracker);
        EXPECT_FALSE(s.Capture(
                          QStringLiteral("НИКОГДА"), 5, [] {}, 300)
                         .has_value());
    }
    EXPECT_FALSE(ats->Receiver().CapturePending());
    ats->SendDirective(QStringLiteral("РЯ_77-"));
    EXPECT_TRUE(WaitUntil([&] { return Roll().contains(QStringLiteral("00077+-000AB")); }, 5000))
        << Roll().toStdString();
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
    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(WaitUntil([&] { return form.Ats(1)->PortIsOpen(); }, 8000));
    EXPECT_LT(t.elapsed(), 6000);

    EXPECT_TRUE(
        sim.Command(QStringLiteral("call 20005 123456 1 1")).startsWith(QStringLiteral("ok")));
    const QString destTar = env.Path(QStringLiteral("Tables/DestTar.db"));
    auto rows = [&] {
        auto table = tables::Table::ForFile(destTar);
        return table->Open(true) ? table->RecordCount() : 0;
    };
    EXPECT_TRUE(WaitUntil([&] { return rows() > 0; }, 8000));
}
