#include "TestSupport.h"

#include "link/Ats.h"
#include "platform/Clock.h"
#include "platform/ProgramLog.h"
#include "platform/Registry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <array>
#include <memory>

namespace {
QString KeyOf(int n) {
    return QStringLiteral("\\Software\\ZezozuDaruduri\\ATS %1").arg(n);
}

// The controls of one exchange as plain widgets.
struct Widgets {
    QCheckBox port;
    QComboBox selector;
    QLineEdit dop, mg, mn, name;
    QCheckBox dopCheck;
    QPlainTextEdit memo, autoMemo;
    TAtsControls Bind() {
        TAtsControls c;
        c.CheckBoxPort = &port;
        c.ComboBoxPort = &selector;
        c.EditDop = &dop;
        c.EditMG = &mg;
        c.EditMN = &mn;
        c.EditAtsName = &name;
        c.CheckBoxDop = &dopCheck;
        c.Memo = &memo;
        c.MemoAutoProm = &autoMemo;
        return c;
    }
};

class AtsSettings : public ::testing::Test {
protected:
    void SetUp() override {
        app.CurDir = env.Dir();
        app.RollDir = env.Dir() + QStringLiteral("/Rulon/");
        QDir().mkpath(app.RollDir);
        app.Console = &console;
        reg = std::make_unique<Registry>();
        app.Reg = reg.get();
    }
    void TearDown() override { Clock::SetTestTime(QDateTime()); }

    // Stores values (all as text, as a hand-edited store would hold them).
    void Store(int n, const QList<QPair<QString, QString>>& values) {
        Registry r;
        ASSERT_TRUE(r.OpenKey(KeyOf(n), true));
        for (const auto& [name, value] : values)
            r.WriteString(name, value);
        r.CloseKey();
    }
    std::optional<QString> Stored(int n, const QString& name) {
        Registry r;
        if (!r.OpenKey(KeyOf(n), false)) return std::nullopt;
        return r.ReadString(name);
    }
    std::unique_ptr<TAts> Make(int n, Widgets& w) {
        const TAtsControls c = w.Bind();
        auto ats = std::make_unique<TAts>(app, n, &c);
        ats->InitSettings();
        return ats;
    }

    TestEnv env;
    RecordingConsole console;
    AppState app;
    std::unique_ptr<Registry> reg;
};
} // namespace

TEST_F(AtsSettings, FreshMachineCreatesKeysWithDefaults) {
    std::array<Widgets, 4> w;
    std::array<std::unique_ptr<TAts>, 4> ats;
    for (int n = 1; n <= 4; ++n) {
        const TAtsControls c = w[n - 1].Bind();
        ats[n - 1] = std::make_unique<TAts>(app, n, &c);
    }
    for (auto& a : ats)
        a->InitSettings();
    for (int n = 1; n <= 4; ++n) {
        const TAts& a = *ats[n - 1];
        const Widgets& c = w[n - 1];
        SCOPED_TRACE(n);
        EXPECT_EQ(Stored(n, QStringLiteral("PortDelayMS")), QStringLiteral("150"));
        EXPECT_EQ(a.Key, QStringLiteral("ATS %1").arg(n));
        EXPECT_EQ(a.Name, a.Key);
        EXPECT_EQ(c.name.text(), a.Key);
        EXPECT_EQ(a.Port, n);
        EXPECT_EQ(c.selector.count(), 16);
        EXPECT_EQ(c.selector.currentText(), QString::number(n));
        EXPECT_EQ(c.dop.text(), QStringLiteral("9"));
        EXPECT_EQ(c.mg.text(), QStringLiteral("8"));
        EXPECT_EQ(c.mn.text(), QStringLiteral("810"));
        EXPECT_EQ(a.SL + a.MG + a.MN, QStringLiteral("98810"));
        EXPECT_FALSE(a.SLCheck);
        EXPECT_FALSE(c.dopCheck.isChecked());
        EXPECT_FALSE(c.port.isChecked());
        EXPECT_FALSE(a.PortIsOpen());
        ASSERT_NE(a.PaceTimer, nullptr);
        EXPECT_EQ(a.PaceTimer->interval(), 150);
        EXPECT_FALSE(a.AutoTimer->isActive());
        EXPECT_EQ(a.AutoInText + a.AutoEveryText, QStringLiteral("01:0001:00"));
        EXPECT_EQ(a.RollFileName, app.RollDir + QStringLiteral("Varnel%1.rul").arg(n));
        EXPECT_EQ(a.AutoFileName, app.RollDir + QStringLiteral("Auto%1.txt").arg(n));
        EXPECT_EQ(a.AutoMemo, &c.autoMemo);
    }
    EXPECT_TRUE(console.Status.isEmpty());
}

TEST_F(AtsSettings, EmptyOrMalformedValuesTakeTheirDefaults) {
    Store(2, {{"Port", "abc"},
              {"SL", ""},
              {"MG", ""},
              {"MN", ""},
              {"Name", ""},
              {"SLCheck", "maybe"},
              {"PortDelayMS", "fast"},
              {"AutoInTime", "-5"},
              {"AutoEveryTime", "0"},
              {"AutoEvery", "true"},
              {"In", "maybe"}});
    Widgets w;
    auto ats = Make(2, w);
    EXPECT_EQ(ats->Port, 2);
    EXPECT_EQ(w.selector.currentText(), QStringLiteral("2"));
    EXPECT_EQ(ats->SL + ats->MG + ats->MN, QStringLiteral("98810"));
    EXPECT_EQ(w.dop.text() + w.mg.text() + w.mn.text(), QStringLiteral("98810"));
    EXPECT_EQ(ats->Name, QStringLiteral("ATS 2"));
    EXPECT_FALSE(ats->SLCheck);
    EXPECT_EQ(ats->PaceTimer->interval(), 150);
    EXPECT_EQ(Stored(2, QStringLiteral("PortDelayMS")),
              QStringLiteral("fast")); // only a missing one is written
    EXPECT_EQ(ats->AutoInTime, 3600000);
    // A zero period would spin the timer: the default hour is used.
    EXPECT_TRUE(ats->AutoTimer->isActive());
    EXPECT_EQ(ats->AutoTimer->interval(), 3600000);
    EXPECT_FALSE(w.port.isChecked());
}

TEST_F(AtsSettings, StoredValuesReachFieldsTimersAndEditors) {
    Clock::SetTestTime(QDateTime(QDate(2026, 12, 5), QTime(0, 30)));
    Store(3, {{"Port", "9"},
              {"SL", "7"},
              {"Name", "Юг"},
              {"SLCheck", "true"},
              {"PortDelayMS", "40"},
              {"AutoInTime", "3600000"},
              {"AutoIn", "1"},
              {"AutoEveryTime", "172800000"}});
    Widgets w;
    auto ats = Make(3, w);
    EXPECT_EQ(ats->Port, 9);
    EXPECT_EQ(w.selector.currentText(), QStringLiteral("9"));
    EXPECT_EQ(w.name.text(), QStringLiteral("Юг"));
    EXPECT_EQ(w.dop.text(), QStringLiteral("7"));
    EXPECT_TRUE(w.dopCheck.isChecked());
    EXPECT_EQ(ats->PaceTimer->interval(), 40);
    EXPECT_EQ(ats->AutoEveryText, QStringLiteral("48:00"));
    // Run-at 01:00 seen at 00:30: in half an hour; at 01:30: tomorrow.
    EXPECT_TRUE(ats->AutoTimer->isActive());
    EXPECT_EQ(ats->AutoTimer->interval(), 1800000);
    Clock::SetTestTime(QDateTime(QDate(2026, 12, 5), QTime(1, 30)));
    ats->ArmRunAt();
    EXPECT_EQ(ats->AutoTimer->interval(), 84600000);
}

TEST_F(AtsSettings, EditorsStoreAtOnce) {
    Widgets w1, w2;
    auto ats1 = Make(1, w1);
    auto ats2 = Make(2, w2);
    app.CurrentAts = ats1.get();
    app.CurrentAtsNumber = 1;

    w2.name.setText(QStringLiteral("Север"));
    QTest::keyClick(&w2.name, Qt::Key_Return);
    EXPECT_EQ(Stored(2, QStringLiteral("Name")), QStringLiteral("Север"));
    EXPECT_EQ(ats2->Name, QStringLiteral("Север"));
    ASSERT_EQ(console.Renames.size(), 1);
    EXPECT_EQ(console.Renames[0], qMakePair(2, QStringLiteral("Север")));
    // An empty name is stored as typed and shown as the key name, as the next
    // start would show it.
    w2.name.clear();
    QTest::keyClick(&w2.name, Qt::Key_Return);
    EXPECT_EQ(Stored(2, QStringLiteral("Name")), QString());
    EXPECT_EQ(console.Renames.last(), qMakePair(2, QStringLiteral("ATS 2")));

    w1.mg.setText(QStringLiteral("0"));
    QTest::keyClick(&w1.mg, Qt::Key_Return);
    w1.mn.setText(QStringLiteral("00"));
    QTest::keyClick(&w1.mn, Qt::Key_Return);
    w1.dop.clear();
    QTest::keyClick(&w1.dop, Qt::Key_Return);
    EXPECT_EQ(Stored(1, QStringLiteral("MG")), QStringLiteral("0"));
    EXPECT_EQ(Stored(1, QStringLiteral("MN")), QStringLiteral("00"));
    EXPECT_EQ(Stored(1, QStringLiteral("SL")), QString());
    EXPECT_EQ(ats1->MG + "|" + ats1->MN + "|" + ats1->SL, QStringLiteral("0|00|9"));

    w1.dopCheck.click();
    EXPECT_TRUE(ats1->SLCheck);
    EXPECT_EQ(Stored(1, QStringLiteral("SLCheck")), QStringLiteral("true"));
    w1.dopCheck.click();
    EXPECT_FALSE(ats1->SLCheck);
    EXPECT_EQ(Stored(1, QStringLiteral("SLCheck")), QStringLiteral("false"));
    EXPECT_TRUE(console.Status.isEmpty());
}

TEST_F(AtsSettings, PortSelectorReopensOnlyOnANewNumber) {
    PtyPair line5, line6;
    ASSERT_TRUE(line5.Ok() && line6.Ok());
    line5.MapToPort(5);
    line6.MapToPort(6);
    Store(1, {{"Port", "5"}, {"In", "true"}});
    app.CurrentAtsNumber = 1;
    Widgets w;
    auto ats = Make(1, w);
    ASSERT_TRUE(w.port.isChecked());
    ASSERT_TRUE(ats->PortIsOpen());
    EXPECT_EQ(line5.ReadMaster(1, 2000), std::vector<uint8_t>{4});
    console.Status.clear();

    // The number already stored: nothing happens.
    ats->PortSelected(QStringLiteral("5"));
    EXPECT_TRUE(console.Status.isEmpty());
    EXPECT_TRUE(ats->PortIsOpen());
    EXPECT_TRUE(line5.ReadMaster(1, 100).empty());

    // Another number: closed, stored, opened again on the new line.
    w.selector.setCurrentText(QStringLiteral("6"));
    EXPECT_EQ(ats->Port, 6);
    EXPECT_EQ(Stored(1, QStringLiteral("Port")), QStringLiteral("6"));
    EXPECT_TRUE(w.port.isChecked());
    EXPECT_TRUE(ats->PortIsOpen());
    EXPECT_EQ(line6.ReadMaster(1, 2000), std::vector<uint8_t>{4});
    ASSERT_FALSE(console.Status.isEmpty());
    EXPECT_EQ(console.Status.first(), QStringLiteral("ATS 1 Порт закрыт Com 5"));
    EXPECT_EQ(console.Status.last(), QStringLiteral("ATS 1 Порт открыт Com 6"));
    EXPECT_EQ(console.PortText, QStringLiteral("6"));

    // Destruction closes the line but leaves "In" for the next start.
    ats.reset();
    EXPECT_EQ(Stored(1, QStringLiteral("In")), QStringLiteral("true"));
}

TEST_F(AtsSettings, UnwritableRegistryIsLoggedAndConstructionGoesOn) {
    QFile blocker(env.Path(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    reg = std::make_unique<Registry>(env.Path(QStringLiteral("blocker/registry.ini")));
    app.Reg = reg.get();
    Widgets w;
    auto ats = Make(4, w);
    EXPECT_EQ(ats->Port, 4);
    EXPECT_EQ(w.dop.text() + w.mg.text() + w.mn.text(), QStringLiteral("98810"));
    w.mg.setText(QStringLiteral("1"));
    QTest::keyClick(&w.mg, Qt::Key_Return);
    EXPECT_EQ(ats->MG, QStringLiteral("1"));
    QFile log(LogFilePath());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("ATS 4"));
}

TEST_F(AtsSettings, WithoutControlsOnlyFieldsAndBuffers) {
    TAts ats(app, 1, nullptr);
    EXPECT_FALSE(ats.HasControls());
    EXPECT_EQ(ats.PaceTimer, nullptr);
    EXPECT_EQ(ats.AutoTimer, nullptr);
    EXPECT_EQ(ats.Line(), nullptr);
    EXPECT_TRUE(ats.RollFileName.isEmpty());
    EXPECT_FALSE(ats.RollFile.isOpen());
    EXPECT_EQ(ats.Encoded.size(), size_t(kEncodedSize));
    EXPECT_EQ(ats.OutQueue.size(), size_t(kOutQueueSize));
    EXPECT_EQ(ats.RawRx.size(), size_t(kRxSize));
    EXPECT_EQ(ats.RxText.size(), size_t(kRxSize));
    EXPECT_EQ(ats.RollBuf.size(), size_t(kRxSize));
    EXPECT_EQ(ats.Data.size(), size_t(kDataSize));
    ats.InitSettings(); // harmless without controls
    ats.Parse(ats.Data.data(), 0);
    EXPECT_EQ(ats.Name, QStringLiteral("ATS 1"));
}
