// The serial link of an exchange over real pseudo-terminals: opening and
// closing, the outgoing queue in its three disciplines, reading, and a line
// that goes away and comes back.
#include "TestSupport.h"

#include "link/AppState.h"
#include "link/Ats.h"
#include "platform/Codec.h"
#include "platform/ProgramLog.h"
#include "platform/Registry.h"
#include "platform/SerialPort.h"
#include "platform/Wait.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include <fcntl.h>
#include <unistd.h>

namespace {
struct StatusList : IConsole {
    QStringList lines;
    void AddStatus(const QString& line) override { lines << line; }
    void SetPanelText(int, const QString&) override {}
};

struct Recorder : IReceiver {
    std::vector<uint8_t> codes;
    int reads = 0;
    void ReceiveParser(TAts& ats) override {
        codes.insert(codes.end(), ats.RawRx.begin(), ats.RawRx.begin() + ats.RxCount);
        ++reads;
    }
};

const QString kOpened = QStringLiteral("ATS 1 Порт открыт Com 1");
const QString kClosed = QStringLiteral("ATS 1 Порт закрыт Com 1");
const QString kBusy = QStringLiteral("Канал занят. Не освобожден вых. буфер");

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLogDir(env.Dir());
        app.CurDir = env.Dir();
        app.RollDir = env.Dir() + QLatin1Char('/');
        app.Console = &status;
        app.Receiver = &rx;
        app.DuplexBoundMs = 100;
        app.ReopenIntervalMs = 100;
        ASSERT_TRUE(pty->Ok());
        pty->MapToPort(1);
    }
    void TearDown() override {
        ats.reset();
        SetLogDir(QString());
    }
    void Make(bool duplex = false, bool blockSend = true) {
        app.DuplexMode = duplex;
        app.BlockSend = blockSend;
        TAtsControls c;
        c.CheckBoxPort = &box;
        c.ComboBoxPort = &combo;
        ats = std::make_unique<TAts>(app, 1, &c);
        app.Ats[0] = ats.get();
        app.CurrentAts = ats.get();
        app.CurrentAtsNumber = 1;
        if (ats->PaceTimer) ats->PaceTimer->setInterval(1);
    }
    void Open() {
        box.click();
        ASSERT_TRUE(ats->PortIsOpen());
        ASSERT_EQ(pty->ReadMaster(1, 2000), std::vector<uint8_t>{4}); // the opening space
        status.lines.clear();
    }
    std::optional<bool> RegistryIn() {
        Registry reg;
        if (!reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\ATS 1"), false))
            return std::nullopt;
        return reg.ReadBool(QStringLiteral("In"));
    }
    QString Log() {
        QFile f(LogFilePath());
        return f.open(QIODevice::ReadOnly) ? Codec::FromCp1251(f.readAll()) : QString();
    }
    // Fills the pseudo-terminal so that nothing more can be written to it.
    int FillLine() {
        const int fd =
            ::open(pty->SlavePath().toLocal8Bit().constData(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) return -1;
        // The kernel moves written bytes on to the reading side's buffer in
        // the background: fill until a pause brings no more room.
        std::vector<char> junk(4096, 'x');
        for (bool more = true; more;) {
            more = false;
            for (size_t chunk = junk.size(); chunk > 0; chunk /= 2)
                while (::write(fd, junk.data(), chunk) > 0)
                    more = true;
            ::usleep(20000);
        }
        return fd;
    }
    int Count(const QString& line) const { return int(status.lines.count(line)); }

    TestEnv env;
    std::unique_ptr<PtyPair> pty = std::make_unique<PtyPair>();
    AppState app;
    StatusList status;
    Recorder rx;
    QCheckBox box;
    QComboBox combo;
    std::unique_ptr<TAts> ats;
};

// Runs the event loop until cond() holds or ms have passed.
bool WaitUntil(const std::function<bool()>& cond, int ms = 3000) {
    QElapsedTimer t;
    t.start();
    QTimer wake;
    wake.start(10);
    WaitWhile([&] { return !cond() && t.elapsed() < ms; }, false);
    return cond();
}

const std::vector<uint8_t> kTo5 = {0, 0, 16, 24, 4, 27, 16, 12, 3}; // "ТО_5,-"
} // namespace

TEST_F(LinkTest, CheckingTheBoxClosesThenOpensAndMirrorsIn) {
    Make();
    box.click();
    EXPECT_TRUE(ats->PortIsOpen());
    EXPECT_EQ(status.lines, QStringList({kClosed, kOpened}));
    EXPECT_EQ(pty->ReadMaster(1, 2000), std::vector<uint8_t>{4});
    EXPECT_EQ(RegistryIn(), true);

    ats.reset(); // shut-down closes the line but leaves "In" for the next start
    EXPECT_EQ(RegistryIn(), true);
}

TEST_F(LinkTest, FailedOpenUnchecksTheBoxAndIsNotReportedAsOpened) {
    {
        Registry reg;
        reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\Ports"), true);
        reg.WriteString(QStringLiteral("1"), env.Path(QStringLiteral("no-such-tty")));
    }
    Make();
    box.click();
    EXPECT_FALSE(ats->PortIsOpen());
    EXPECT_FALSE(box.isChecked());
    EXPECT_EQ(Count(kOpened), 0);
    EXPECT_EQ(RegistryIn(), false);
    EXPECT_TRUE(Log().contains(QStringLiteral("Ошибка доступа к порту 1")));
}

TEST_F(LinkTest, DirectiveLeavesTheLineAsItsCodesAndIsEchoedToTheRoll) {
    Make();
    Open();
    ats->SendDirective(QStringLiteral("ТО_5,-"));
    EXPECT_EQ(pty->ReadMaster(kTo5.size(), 2000), kTo5);
    EXPECT_EQ(ats->OutQueueLen, 0);
    QFile roll(ats->RollFileName);
    ASSERT_TRUE(roll.open(QIODevice::ReadOnly));
    EXPECT_TRUE(Codec::FromCp1251(roll.readAll()).endsWith(QStringLiteral("  ТО_5,-")));
}

TEST_F(LinkTest, PacedModeSendsOneCodePerTick) {
    Make();
    Open();
    ats->PaceTimer->setInterval(3600000); // ticks are given by hand below
    ats->EncodedLen = EncodeText(*ats, QStringLiteral("ТО_5,-"));
    ats->QueueEncoded();
    EXPECT_TRUE(ats->PaceTimer->isActive());
    std::vector<uint8_t> got;
    for (size_t i = 0; i < kTo5.size(); ++i) {
        QMetaObject::invokeMethod(ats->PaceTimer, "timeout");
        const auto more = pty->ReadMaster(1, 2000);
        ASSERT_EQ(more.size(), 1u) << "tick " << i;
        got.push_back(more[0]);
    }
    EXPECT_EQ(got, kTo5);
    QMetaObject::invokeMethod(ats->PaceTimer, "timeout");
    EXPECT_FALSE(ats->PaceTimer->isActive());
    EXPECT_EQ(ats->OutQueueLen, 0);
    EXPECT_EQ(ats->SendPos, 0);
}

TEST_F(LinkTest, ClosedPortReportsEveryByteAndEmptiesTheQueue) {
    Make();
    ats->SendDirective(QStringLiteral("ТО_5,-"));
    EXPECT_EQ(Count(QStringLiteral("Порт закрыт")), int(kTo5.size()));
    EXPECT_FALSE(ats->PaceTimer->isActive());
    EXPECT_EQ(ats->OutQueueLen, 0);
}

TEST_F(LinkTest, QueueHoldsAtMost4095Bytes) {
    Make();
    ats->PaceTimer->setInterval(3600000);
    ats->EncodedLen = 4094;
    ats->QueueEncoded();
    ats->EncodedLen = 1;
    ats->QueueEncoded();
    EXPECT_EQ(ats->OutQueueLen, 4095);
    EXPECT_TRUE(status.lines.isEmpty());
    ats->EncodedLen = EncodeText(*ats, QString()); // one code: the leading 0
    ats->QueueEncoded();
    EXPECT_EQ(ats->OutQueueLen, 4095);
    EXPECT_EQ(status.lines, QStringList{QStringLiteral("Исходящий буфер переполнен")});
}

TEST_F(LinkTest, DuplexNtSendsAfterEachClearToSendBoundAndTimesOutOnAFullLine) {
    // A pseudo-terminal has no CTS: every wait for it runs out its bound and
    // the byte goes out all the same.
    app.DuplexBoundMs = 20;
    Make(true, false);
    Open();
    ats->SendDirective(QStringLiteral("ТО_5,-"));
    EXPECT_EQ(pty->ReadMaster(kTo5.size(), 2000), kTo5);
    EXPECT_EQ(Count(kBusy), 0);
    EXPECT_TRUE(Log().contains(QStringLiteral("линии модема недоступны")));

    // A line that does not drain: clear-to-send bound, then drain bound.
    app.DuplexBoundMs = 100;
    const int fd = FillLine();
    ASSERT_GE(fd, 0);
    QElapsedTimer t;
    t.start();
    ats->SendDirective(QStringLiteral("ТО_5,-"));
    const qint64 ms = t.elapsed();
    ::close(fd);
    EXPECT_EQ(Count(kBusy), 1);
    EXPECT_EQ(ats->OutQueueLen, 0);
    EXPECT_GE(ms, 2 * app.DuplexBoundMs - 20);
}

TEST_F(LinkTest, DuplexBlockSendsTheQueueAndTimesOutOnAFullLine) {
    Make(true, true);
    Open();
    ats->SendDirective(QStringLiteral("ТО_5,-"));
    EXPECT_EQ(pty->ReadMaster(kTo5.size(), 2000), kTo5);
    EXPECT_EQ(Count(kBusy), 0);

    const int fd = FillLine();
    ASSERT_GE(fd, 0);
    ats->SendDirective(QStringLiteral("ТО_5,-"));
    ::close(fd);
    EXPECT_EQ(Count(kBusy), 1);
    EXPECT_EQ(ats->OutQueueLen, 0);
    EXPECT_EQ(ats->Line()->OutputCount(), 0); // the port's output was discarded
}

TEST_F(LinkTest, DuplexSendQueuedFromInsideAWaitGoesOutOnce) {
    Make(true, true);
    Open();
    // A second directive arrives while the first one's wait runs.
    QTimer::singleShot(0, ats.get(), [this] { ats->SendDirective(QStringLiteral("А")); });
    ats->SendDirective(QStringLiteral("ТО_5,-"));
    std::vector<uint8_t> want = kTo5;
    want.insert(want.end(), {0, 0, 3});
    EXPECT_EQ(pty->ReadMaster(want.size() + 1, 200), want);
}

TEST_F(LinkTest, ReceivedBytesAreMaskedToFiveBits) {
    Make();
    Open();
    ASSERT_TRUE(pty->WriteMaster({1, 31, 32, 0xFF, 0x4E}));
    WaitUntil([&] { return rx.codes.size() >= 5; });
    EXPECT_EQ(rx.codes, (std::vector<uint8_t>{1, 31, 0, 31, 14}));
}

TEST_F(LinkTest, LostLineIsClosedKeptWantedAndReopened) {
    Make();
    Open();
    pty.reset(); // the far end goes away
    ASSERT_TRUE(WaitUntil([&] { return !ats->PortIsOpen(); }));
    WaitFor(50, false);
    EXPECT_EQ(status.lines, QStringList{kClosed}); // once, no storm
    EXPECT_TRUE(box.isChecked());
    EXPECT_EQ(RegistryIn(), true);

    // The device comes back (here as another pseudo-terminal on the same port).
    pty = std::make_unique<PtyPair>();
    pty->MapToPort(1);
    ASSERT_TRUE(WaitUntil([&] { return ats->PortIsOpen(); }));
    EXPECT_EQ(status.lines.last(), kOpened);
    EXPECT_EQ(pty->ReadMaster(1, 2000), std::vector<uint8_t>{4});
    ASSERT_TRUE(pty->WriteMaster({3, 5}));
    WaitUntil([&] { return rx.codes.size() >= 2; });
    EXPECT_EQ(rx.codes, (std::vector<uint8_t>{3, 5}));
}

TEST_F(LinkTest, UncheckingStopsTheRetries) {
    Make();
    Open();
    pty.reset();
    ASSERT_TRUE(WaitUntil([&] { return !ats->PortIsOpen(); }));
    box.click();
    EXPECT_EQ(RegistryIn(), false);
    pty = std::make_unique<PtyPair>();
    pty->MapToPort(1);
    WaitFor(3 * app.ReopenIntervalMs, false);
    EXPECT_FALSE(ats->PortIsOpen());
    EXPECT_EQ(Count(kOpened), 0);
}

TEST_F(LinkTest, PseudoTerminalRefusalsAreNotedOnceAndTheLineStillWorks) {
    SerialPort port;
    port.SetPortNumber(1);
    port.SetHardwareFlow(true);
    ASSERT_TRUE(port.Open()) << port.ErrorText().toStdString();
    EXPECT_FALSE(port.ClearToSend());
    EXPECT_FALSE(port.ClearToSend());
    port.Close();
    ASSERT_TRUE(port.Open());
    EXPECT_FALSE(port.LineErrorsArmed()); // a pty has no error counters
    const QString log = Log();
    EXPECT_EQ(log.count(QStringLiteral("5 бит данных не установлено")), 1);
    EXPECT_EQ(log.count(QStringLiteral("линии модема недоступны")), 1);
    EXPECT_EQ(log.count(QStringLiteral("счетчики ошибок линии недоступны")), 1);

    const uint8_t out[] = {1, 2, 3};
    ASSERT_TRUE(port.WriteBlock(out, 3));
    EXPECT_EQ(pty->ReadMaster(3, 2000), (std::vector<uint8_t>{1, 2, 3}));
    ASSERT_TRUE(pty->WriteMaster({7, 8}));
    ASSERT_TRUE(WaitUntil([&] { return port.BytesAvailable() >= 2; }));
    uint8_t in[4] = {};
    EXPECT_EQ(port.Read(in, 4), 2);
    EXPECT_EQ(in[0], 7);
    EXPECT_EQ(in[1], 8);
}
