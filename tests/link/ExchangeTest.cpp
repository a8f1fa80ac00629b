// The exchange object: its settings under its registry key, its roll, and
// its line on a real pseudo-terminal.
#include "TestSupport.h"

#include "link/Ats.h"
#include "link/LinkOptions.h"
#include "platform/Clock.h"
#include "platform/Codec.h"
#include "platform/ProgramLog.h"
#include "platform/Registry.h"

#include <QDir>
#include <QSignalSpy>
#include <QTimer>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {
using Codes = std::vector<uint8_t>;
const Codes kTo5 = {0, 0, 16, 24, 4, 27, 16, 12, 3}; // "ТО_5,-"

QString KeyOf(int n) {
    return QStringLiteral("\\Software\\ZezozuDaruduri\\ATS %1").arg(n);
}

class Exchange : public ::testing::Test {
protected:
    void SetUp() override {
        Clock::SetTestTime(QDateTime(QDate(2026, 12, 5), QTime(9, 5, 30)));
        app.rollDir = env.Dir() + QStringLiteral("/Rulon/");
        app.duplexBoundMs = 50;
        app.reopenIntervalMs = 50;
    }
    void TearDown() override { Clock::SetTestTime(QDateTime()); }

    // Stores "Name=value;..." as text, as a hand-edited store would hold it.
    void Store(int n, const QString& values) {
        Registry r;
        ASSERT_TRUE(r.OpenKey(KeyOf(n), true));
        for (const QString& v : values.split(QLatin1Char(';')))
            r.WriteString(v.section(QLatin1Char('='), 0, 0), v.section(QLatin1Char('='), 1));
    }
    std::optional<QString> Stored(int n, const QString& name) {
        Registry r;
        if (!r.OpenKey(KeyOf(n), false)) return std::nullopt;
        return r.ReadString(name);
    }
    std::unique_ptr<TAts> Make(int n) {
        auto ats = std::make_unique<TAts>(app, n);
        QObject::connect(ats.get(), &TAts::status, [this](const QString& s) { status << s; });
        return ats;
    }
    QString Roll(int n = 1) const {
        return Codec::FromCp1251(FileBytes(app.rollDir + QStringLiteral("Varnel%1.rul").arg(n)));
    }
    // Fills the pseudo-terminal so that nothing more can be written to it.
    static int FillLine(const PtyPair& pty) {
        const int fd =
            ::open(pty.SlavePath().toLocal8Bit().constData(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) return -1;
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

    TestEnv env;
    LinkOptions app;
    QStringList status;
};
} // namespace

TEST_F(Exchange, FreshMachineGetsItsKeysAndDefaults) {
    for (int n = 1; n <= 4; ++n) {
        SCOPED_TRACE(n);
        auto ats = Make(n);
        ats->InitSettings();
        EXPECT_EQ(ats->Settings.Key, QStringLiteral("ATS %1").arg(n));
        EXPECT_EQ(ats->Link().PortNumber(), n);
        EXPECT_EQ(Stored(n, QStringLiteral("PortDelayMS")), QStringLiteral("150"));
        EXPECT_EQ(ats->RollLog().FileName(), app.rollDir + QStringLiteral("Varnel%1.rul").arg(n));
        EXPECT_EQ(ats->AutoFileName(), app.rollDir + QStringLiteral("Auto%1.txt").arg(n));
    }
    EXPECT_TRUE(status.isEmpty());
}

TEST_F(Exchange, StoredValuesAreReadAndUnreadableOnesTakeTheirDefaults) {
    Store(2, QStringLiteral("Port=abc;SL=;MG=;MN=;Name=;SLCheck=maybe;PortDelayMS=fast;"
                            "AutoInTime=-5;AutoEveryTime=0;AutoEvery=true;In=maybe"));
    auto bad = Make(2);
    bad->InitSettings();
    EXPECT_EQ(bad->Settings.Port, 2);
    EXPECT_EQ(bad->Settings.SL + bad->Settings.MG + bad->Settings.MN, QStringLiteral("98810"));
    EXPECT_EQ(bad->Settings.Name, QStringLiteral("ATS 2"));
    EXPECT_FALSE(bad->Settings.SLCheck);
    EXPECT_EQ(bad->Link().PaceInterval(), 150);
    EXPECT_EQ(Stored(2, QStringLiteral("PortDelayMS")),
              QStringLiteral("fast")); // only a missing one is written
    // A zero period would spin the timer: the default hour is used.
    EXPECT_EQ(bad->Settings.AutoInTime, 3600000);
    EXPECT_TRUE(bad->Schedule().AutoTimer->isActive());
    EXPECT_EQ(bad->Schedule().AutoTimer->interval(), 3600000);
    EXPECT_FALSE(bad->Link().Wanted());

    Clock::SetTestTime(QDateTime(QDate(2026, 12, 5), QTime(0, 30)));
    Store(3, QStringLiteral("Port=9;SL=7;Name=Юг;SLCheck=true;PortDelayMS=40;"
                            "AutoInTime=3600000;AutoIn=1;AutoEveryTime=172800000"));
    auto good = Make(3);
    good->InitSettings();
    EXPECT_EQ(good->Settings.Port, 9);
    EXPECT_EQ(good->Settings.Name, QStringLiteral("Юг"));
    EXPECT_EQ(good->Settings.SL, QStringLiteral("7"));
    EXPECT_TRUE(good->Settings.SLCheck);
    EXPECT_EQ(good->Link().PaceInterval(), 40);
    EXPECT_EQ(good->Settings.AutoEveryText(), QStringLiteral("48:00"));
    // Run-at 01:00 seen at 00:30: in half an hour.
    EXPECT_EQ(good->Schedule().AutoTimer->interval(), 1800000);
}

TEST_F(Exchange, EditorsStoreWhatWasTypedAndUseTheDefaultOfTheNextStart) {
    auto ats = Make(1);
    AtsSettings& s = ats->Settings;
    s.SetName(QString());
    s.SetMG(QStringLiteral("0"));
    s.SetSL(QString());
    s.SetSLCheck(true);
    EXPECT_EQ(Stored(1, QStringLiteral("Name")), QString());
    EXPECT_EQ(s.Name, QStringLiteral("ATS 1"));
    EXPECT_EQ(Stored(1, QStringLiteral("MG")), QStringLiteral("0"));
    EXPECT_EQ(Stored(1, QStringLiteral("SL")), QString());
    EXPECT_EQ(s.SL, QStringLiteral("9"));
    EXPECT_EQ(Stored(1, QStringLiteral("SLCheck")), QStringLiteral("true"));

    // A store that cannot be written: the values in use still change.
    QFile blocker(env.Path(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    AtsSettings unwritable(4, env.Path(QStringLiteral("blocker/registry.ini")));
    unwritable.SetMG(QStringLiteral("1"));
    EXPECT_EQ(unwritable.MG, QStringLiteral("1"));
    EXPECT_FALSE(unwritable.Load(true, 150));
    EXPECT_TRUE(FileBytes(LogFilePath()).contains("ATS 4"));
}

TEST_F(Exchange, RollIsAppendedNeverTruncatedAndEchoesFollowTheStampedLine) {
    QDir().mkpath(app.rollDir);
    {
        QFile f(app.rollDir + QStringLiteral("Varnel1.rul"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old\r\nroll");
    }
    auto ats = Make(1);
    QStringList echoes;
    QObject::connect(ats.get(), &TAts::echoed, [&](const QString& e) { echoes << e; });
    ats->SendDirective(QStringLiteral("ТО_5,-"));
    // The receive side has just opened a stamped line: the echo stands on it.
    const uint8_t lineFeed = 2;
    ats->Receiver().Feed(&lineFeed, 1);
    EXPECT_TRUE(ats->Receiver().LineStamped());
    ats->SendDirective(QStringLiteral("УК_1-"));
    EXPECT_FALSE(ats->Receiver().LineStamped());
    EXPECT_EQ(Roll(),
              QStringLiteral("old\r\nroll\r\n9,05|05,12,26|  ТО_5,-\r\n9,05|05,12,26|  УК_1-"));
    EXPECT_EQ(echoes.last(), QStringLiteral("УК_1-"));

    // A roll that cannot be written: the status line, and the directive still goes.
    {
        QFile blocker(env.Path(QStringLiteral("blocker")));
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    app.rollDir = env.Path(QStringLiteral("blocker/"));
    auto lost = Make(2);
    lost->SendDirective(QStringLiteral("ТО_5,-"));
    EXPECT_EQ(status.first(), QStringLiteral("Ошибка записи в рулон"));
    EXPECT_EQ(lost->Link().QueuedCount(), int(kTo5.size()));
}

TEST_F(Exchange, LineOnAPseudoTerminalSendsAndReopensOnlyOnANewPortNumber) {
    PtyPair line5, line6;
    ASSERT_TRUE(line5.Ok() && line6.Ok());
    line5.MapToPort(5);
    line6.MapToPort(6);
    Store(1, QStringLiteral("Port=5;In=true"));
    auto ats = Make(1);
    QSignalSpy wanted(ats.get(), &TAts::portWantedChanged);
    ats->InitSettings();
    ASSERT_TRUE(ats->PortIsOpen());
    EXPECT_EQ(wanted.count(), 1);
    EXPECT_EQ(line5.ReadMaster(1, 2000), Codes{4});
    ats->SendDirective(QStringLiteral("ТО_5,-"));
    EXPECT_EQ(line5.ReadMaster(kTo5.size(), 2000), kTo5);
    status.clear();

    ats->ChangePort(5);
    EXPECT_TRUE(status.isEmpty());
    EXPECT_TRUE(line5.ReadMaster(1, 100).empty());

    ats->ChangePort(6);
    EXPECT_EQ(Stored(1, QStringLiteral("Port")), QStringLiteral("6"));
    EXPECT_TRUE(ats->PortIsOpen());
    EXPECT_EQ(line6.ReadMaster(1, 2000), Codes{4});
    // The status lines name the devices the ports are mapped to.
    EXPECT_EQ(status.first(),
              QStringLiteral("ATS 1 Порт закрыт Com 5 (%1)").arg(line5.SlavePath()));
    EXPECT_EQ(status.last(), QStringLiteral("ATS 1 Порт открыт Com 6 (%1)").arg(line6.SlavePath()));
    ats.reset(); // shut-down closes the line but leaves "In" for the next start
    EXPECT_EQ(Stored(1, QStringLiteral("In")), QStringLiteral("true"));
}

TEST_F(Exchange, DuplexOnAPseudoTerminalSendsWithoutCtsAndGivesUpOnAFullLine) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    pty.MapToPort(1);
    app.duplexMode = true;
    for (bool block : {false, true}) {
        SCOPED_TRACE(block);
        app.blockSend = block;
        auto ats = Make(1);
        ats->SwitchPort(true);
        ASSERT_TRUE(ats->PortIsOpen());
        pty.ReadMaster(1, 2000);
        // A pseudo-terminal has no CTS: every byte waits out its bound and goes.
        ats->SendDirective(QStringLiteral("ТО_5,-"));
        EXPECT_EQ(pty.ReadMaster(kTo5.size(), 3000), kTo5);
        status.clear();

        const int fd = FillLine(pty);
        ASSERT_GE(fd, 0);
        ats->SendDirective(QStringLiteral("ТО_5,-"));
        EXPECT_TRUE(WaitUntil([&] { return !ats->IsSending(); }));
        ::close(fd);
        EXPECT_EQ(status.count(QStringLiteral("Канал занят. Не освобожден вых. буфер")), 1);
        pty.ReadMaster(1 << 20, 200);
    }
    EXPECT_TRUE(Codec::FromCp1251(FileBytes(LogFilePath()))
                    .contains(QStringLiteral("линии модема недоступны")));
}

TEST_F(Exchange, PseudoTerminalRefusalsAreNotedOnce) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    pty.MapToPort(1);
    DevicePort port;
    port.SetPortNumber(1);
    port.SetHardwareFlow(true);
    ASSERT_TRUE(port.Open()) << port.ErrorText().toStdString();
    EXPECT_FALSE(port.ClearToSend());
    EXPECT_FALSE(port.ClearToSend());
    port.Close();
    ASSERT_TRUE(port.Open());
    EXPECT_FALSE(port.LineErrorsArmed()); // a pty has no error counters
    const QString log = Codec::FromCp1251(FileBytes(LogFilePath()));
    EXPECT_EQ(log.count(QStringLiteral("5 бит данных не установлено")), 1);
    EXPECT_EQ(log.count(QStringLiteral("линии модема недоступны")), 1);
    EXPECT_EQ(log.count(QStringLiteral("счетчики ошибок линии недоступны")), 1);
}

TEST_F(Exchange, LostPseudoTerminalIsClosedOnceAndReopenedWhenBack) {
    auto pty = std::make_unique<PtyPair>();
    pty->MapToPort(1);
    auto ats = Make(1);
    ats->SwitchPort(true);
    ASSERT_TRUE(ats->PortIsOpen());
    status.clear();
    pty.reset(); // the far end goes away (and its name, which another pty may get)
    {
        Registry reg;
        reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\Ports"), true);
        reg.WriteString(QStringLiteral("1"), env.Path(QStringLiteral("gone")));
    }
    ASSERT_TRUE(WaitUntil([&] { return !ats->PortIsOpen(); }));
    WaitFor(50, false);
    EXPECT_EQ(status.size(), 1); // once, no storm
    EXPECT_TRUE(status.value(0).startsWith(QStringLiteral("ATS 1 Порт закрыт Com 1 (")));
    EXPECT_EQ(Stored(1, QStringLiteral("In")), QStringLiteral("true"));

    pty = std::make_unique<PtyPair>(); // back, as another pseudo-terminal on the same port
    pty->MapToPort(1);
    ASSERT_TRUE(WaitUntil([&] { return ats->PortIsOpen(); }));
    EXPECT_EQ(pty->ReadMaster(1, 2000), Codes{4});
    QStringList text;
    QObject::connect(ats.get(), &TAts::printout, [&](const QString& t) { text << t; });
    ASSERT_TRUE(pty->WriteMaster({3, 5}));
    ASSERT_TRUE(WaitUntil([&] { return text.join(QString()).size() >= 2; }));
    EXPECT_EQ(text.join(QString()), QStringLiteral("AS"));
}
