// The terminal's exchange object against the simulator over a real
// pseudo-terminal: a directive answered in the roll, and a memory read whose
// frames stop at the terminal's continuation.
#include "TestSupport.h"

#include "link/AppState.h"
#include "link/Ats.h"
#include "platform/Codec.h"
#include "platform/ProgramLog.h"
#include "platform/Registry.h"
#include "platform/Wait.h"
#include "tariff/ReceiveParser.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {
bool WaitUntil(const std::function<bool()>& cond, int ms) {
    QElapsedTimer t;
    t.start();
    QTimer wake;
    wake.start(20);
    WaitWhile([&] { return !cond() && t.elapsed() < ms; }, false);
    return cond();
}

// A statistics-style parser: the one-shot rule (third frame) on a word.
struct WordParser : TAts {
    TAts& line;
    int frames = 0;
    int word = -1;
    WordParser(AppState& app, TAts& l) : TAts(app, 1, nullptr), line(l) {}
    void Parse(uint8_t* data, int) override {
        ++frames;
        if (line.FrameCounter < 2) {
            ++line.FrameCounter;
            return;
        }
        word = ((data[0] * 16 + data[1]) * 16 + data[2]) * 16 + data[3];
        line.FrameDone = true;
    }
};

class SimE2E : public ::testing::Test {
protected:
    void SetUp() override {
        SetLogDir(env.Dir());
        sim.start(QStringLiteral(VARNEL_BIN_DIR "/varnel-sim"),
                  {QStringLiteral("--calls"), QStringLiteral("0"), QStringLiteral("--seed"),
                   QStringLiteral("7"), QStringLiteral("--clock"),
                   QStringLiteral("2026-12-05 14:05:00")});
        ASSERT_TRUE(sim.waitForStarted(5000));
        ASSERT_TRUE(WaitUntil([&] { return sim.canReadLine(); }, 5000));
        const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
        ASSERT_TRUE(device.startsWith(QStringLiteral("/dev/")));
        {
            Registry reg;
            ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\Ports"), true));
            reg.WriteString(QStringLiteral("1"), device);
        }
        app.CurDir = env.Dir();
        app.RollDir = env.Dir() + QStringLiteral("/Rulon/");
        receiver = std::make_unique<TReceive>(app);
        receiver->AskNoAnswer = [] { return QMessageBox::Cancel; };
        app.Receiver = receiver.get();
        TAtsControls c;
        c.CheckBoxPort = &box;
        ats = std::make_unique<TAts>(app, 1, &c);
        app.Ats[0] = ats.get();
        app.CurrentAts = ats.get();
        app.CurrentAtsNumber = 1;
        ats->InitSettings();
        ats->PortCheckClicked(true);
        ASSERT_TRUE(ats->PortIsOpen());
    }
    void TearDown() override {
        ats.reset();
        receiver.reset();
        if (sim.state() != QProcess::NotRunning) {
            sim.write("quit\n");
            if (!sim.waitForFinished(3000)) sim.kill();
            sim.waitForFinished(3000);
        }
        SetLogDir(QString());
    }
    QString Roll() const {
        QFile f(app.RollDir + QStringLiteral("Varnel1.rul"));
        return f.open(QIODevice::ReadOnly) ? Codec::FromCp1251(f.readAll()) : QString();
    }
    // The simulator's reply to a control command.
    QString Ask(const QByteArray& command) {
        sim.readAll();
        sim.write(command + '\n');
        WaitUntil([&] { return sim.canReadLine(); }, 3000);
        return QString::fromLocal8Bit(sim.readLine()).trimmed();
    }

    TestEnv env;
    QProcess sim;
    AppState app;
    std::unique_ptr<TReceive> receiver;
    QCheckBox box;
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
    WordParser parser(app, *ats);
    app.CurrentParser = &parser;
    ats->FramesExpected = true;
    ats->NoContinue = false;
    ats->BitMode = false;
    ats->FrameLen = 7;
    ats->DataCount = 100;
    ats->FrameDone = false;
    ats->FrameCounter = 0;
    receiver->SendRequest(*ats, QStringLiteral("ТО_8,5FA3,3,10,,1-"));
    ASSERT_TRUE(WaitUntil([&] { return ats->FrameDone; }, 5000));
    EXPECT_EQ(parser.word & 0x3F, 47); // 48 battery receivers
    EXPECT_GE(parser.frames, 3);
    // The continuation sent with the third frame has stopped the frames.
    EXPECT_TRUE(
        WaitUntil([&] { return Ask("status").endsWith(QStringLiteral("reading -")); }, 3000));
    ats->FramesExpected = false;
    app.CurrentParser = nullptr;
}
