// The version windows on real pseudo-terminals against varnel-sim: a full
// image unloaded into a file, and one loaded into a second exchange, with
// frames garbled on the way; bad files; a line lost mid-transfer; the checksum window
// and the tab's buttons.
#include "TerminalExchange.h"
#include "TestSupport.h"
#include "VersionFiles.h"

#include "Memory.h"
#include "platform/Codec.h"
#include "versions/ui/FormGetVers.h"
#include "versions/ui/FormKontrolSumm.h"
#include "versions/ui/FormSendVers.h"
#include "versions/ui/VersionsPage.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {
// The operator: picks the given files and notes the messages.
struct Operator {
    QString open, save;
    QStringList messages;
    VersionDialogs Dialogs() {
        VersionDialogs d;
        d.open = [this](QWidget*, const QString&, const QString&, const QString&) { return open; };
        d.save = [this](QWidget*, const QString&, const QString&, const QString&) { return save; };
        d.message = [this](QWidget*, const QString& text) { messages << text; };
        return d;
    }
};

// A simulator with a fixed image (no live changes).
QStringList Still(const QStringList& more = {}) {
    return QStringList{QStringLiteral("--seed"), QStringLiteral("5"), QStringLiteral("--still")} +
           more;
}

QString Text(QWidget& w, const char* name) {
    if (auto* l = w.findChild<QLabel*>(QLatin1String(name))) return l->text();
    if (auto* m = w.findChild<QPlainTextEdit*>(QLatin1String(name))) return m->toPlainText();
    return QStringLiteral("<no %1>").arg(QLatin1String(name));
}

struct VersionWindows : ::testing::Test {
    TestEnv env;
    Operator op;
};
} // namespace

TEST_F(VersionWindows, FullImageUnloadedThroughGarbledAndDroppedFrames) {
    SimProcess sim1;
    ASSERT_FALSE(sim1.Start(Still({QStringLiteral("--baud"), QStringLiteral("0")}), 1).isEmpty());
    const QString reference = env.Path(QStringLiteral("sim1.ver"));
    ASSERT_EQ(sim1.Command(QStringLiteral("save ") + reference), QStringLiteral("ok"));
    ASSERT_EQ(sim1.Command(QStringLiteral("unloader")), QStringLiteral("ok 1920 blocks"));

    op.save = env.Path(QStringLiteral("unloaded.ver"));
    TerminalExchange ex1(env.Dir(), 1);
    TFormGetVers get(ex1.Lines(), env.Dir());
    get.Dialogs = op.Dialogs();
    QObject::connect(&get.Session(), &VersionGetSession::block, &get,
                     [&](const VersionReceiver::Block& b) {
                         if (b.count % 300 == 100) sim1.Post(QStringLiteral("corrupt 3"));
                         if (b.count % 700 == 500) sim1.Post(QStringLiteral("drop 7"));
                     });
    get.show();
    EXPECT_EQ(Text(get, "Memo1"), QStringLiteral("Port 1 Ready"));
    get.StartClick();
    // Blocks keep coming (a dropped one is asked for again within seconds).
    ASSERT_TRUE(WaitUntilMoving([&] { return !get.isVisible(); },
                                [&] { return get.Session().Receiver().Stored(); }, 15000, 240000))
        << get.Session().Receiver().Stored() << " blocks kept";
    EXPECT_TRUE(op.messages.isEmpty()) << op.messages.join(QLatin1Char('|')).toStdString();
    EXPECT_GT(get.Session().Receiver().Broken(), 0);
    EXPECT_EQ(FileBytes(op.save), FileBytes(reference));
    EXPECT_EQ(FileBytes(env.Path(QStringLiteral("Vers/versbyte.bin"))), FileBytes(reference));
    EXPECT_EQ(Text(get, "LabelAddress"), QStringLiteral("573C0"));
    EXPECT_TRUE(Text(get, "Memo1").endsWith(QStringLiteral("\n573C0")));
    // The status list and the roll say where the version went.
    const QString saved = QStringLiteral("Версия сохранена в ") + QDir::toNativeSeparators(op.save);
    EXPECT_EQ(ex1.Status, QStringList({QStringLiteral("Порт открыт Com 1"), saved}));
    QFile roll(ex1.ats->RollLog().FileName());
    ASSERT_TRUE(roll.open(QIODevice::ReadOnly));
    EXPECT_TRUE(Codec::FromCp1251(roll.readAll()).contains(saved));
}

TEST_F(VersionWindows, FullImageLoadedIntoAnotherExchangeThroughGarbledFrames) {
    // The image of a simulator with a fixed memory, as its own unloader sends it.
    SimProcess sim1;
    ASSERT_FALSE(sim1.Start(Still()).isEmpty());
    const QString reference = env.Path(QStringLiteral("sim1.ver"));
    ASSERT_EQ(sim1.Command(QStringLiteral("save ") + reference), QStringLiteral("ok"));
    sim1.Kill();

    // The second exchange starts from an image of zeros.
    const QString zeros = env.Path(QStringLiteral("zeros.ver"));
    ASSERT_TRUE(sim::SaveVersionFile(sim::SimMemory(), zeros, sim::VersionType::Planeta, nullptr));
    SimProcess sim2;
    ASSERT_FALSE(sim2.Start(Still({QStringLiteral("--image"), zeros}), 2).isEmpty());
    TerminalExchange ex2(env.Dir(), 2, true); // a duplex line, open before the loader starts
    ASSERT_EQ(sim2.Command(QStringLiteral("loader")), QStringLiteral("ok"));
    op.open = reference;
    TFormSendVers send(ex2.Lines(), env.Dir());
    send.Dialogs = op.Dialogs();
    QObject::connect(&send.Session(), &VersionSendSession::block, &send,
                     [&](const VersionSender::Block& b) {
                         if (b.index % 400 == 200) sim2.Post(QStringLiteral("corrupt 2 in"));
                     });
    send.show();
    send.StartClick();
    ASSERT_TRUE(WaitUntilMoving([&] { return !op.messages.isEmpty(); },
                                [&] { return send.Session().Sender().FramesSent(); }, 15000,
                                240000))
        << send.Session().Sender().FramesSent() << " frames sent";
    EXPECT_EQ(op.messages, QStringList{QStringLiteral("Загрузка Версии в АТС успешно завершена")});
    EXPECT_FALSE(send.isVisible());
    EXPECT_GT(send.Session().Sender().FramesSent(), 1920 - 16); // some were sent again
    EXPECT_EQ(ex2.Status, QStringList{QStringLiteral("ATS 1 Порт открыт Com 2")});
    const QString loaded = env.Path(QStringLiteral("sim2.ver"));
    ASSERT_EQ(sim2.Command(QStringLiteral("save ") + loaded), QStringLiteral("ok"));
    EXPECT_EQ(FileBytes(loaded), FileBytes(reference));
}

TEST_F(VersionWindows, SendWindowBindsTheLineAndRefusesBadFiles) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    pty.MapToPort(3);
    TerminalExchange ex(env.Dir(), 3);
    pty.ReadMaster(1, 2000); // the space the exchange sends as it opens its line
    TFormSendVers send(ex.Lines(), env.Dir());
    send.Dialogs = op.Dialogs();
    send.show();
    EXPECT_EQ(Text(send, "Memo1"), QStringLiteral("Порт Com3 открыт"));

    QFile shortFile(env.Path(QStringLiteral("short.ver")));
    ASSERT_TRUE(shortFile.open(QIODevice::WriteOnly));
    shortFile.write(QByteArray(200, '\0'));
    shortFile.close();
    for (const QString& f : {shortFile.fileName(), env.Path(QStringLiteral("none.ver"))}) {
        op.open = f;
        send.StartClick();
    }
    EXPECT_EQ(op.messages, (QStringList{QStringLiteral("Ошибка чтения файла версии"),
                                        QStringLiteral("Файл не найден: ") +
                                            env.Path(QStringLiteral("none.ver"))}));
    pty.WriteMaster({8});
    EXPECT_TRUE(pty.ReadMaster(1, 300).empty()); // nothing was sent

    // A good file: the exchange's 8 gets the first frame.
    auto* type = send.findChild<QComboBox*>(QStringLiteral("ComboBoxType"));
    type->setCurrentIndex(1);
    EXPECT_EQ(Text(send, "LabelLoader"), QStringLiteral("66009"));
    op.open = env.Path(QStringLiteral("v.ver"));
    ASSERT_TRUE(WriteVersion(op.open, {0x2000, 0x2040, 0x4000}));
    send.StartClick();
    EXPECT_EQ(Text(send, "LabelAddress"), QStringLiteral("10000"));
    pty.WriteMaster({8});
    auto got = pty.ReadMaster(Vers::kFrameChars, 3000);
    ASSERT_EQ(got.size(), size_t(Vers::kFrameChars));
    uint8_t bank = 0;
    Vers::Record r{};
    EXPECT_TRUE(Vers::DecodeFrame(got.data(), bank, r));
    EXPECT_EQ(bank, 63);

    send.hide();
    EXPECT_EQ(ex.Status, QStringList{QStringLiteral("ATS 1 Порт открыт Com 3")});
    pty.WriteMaster({0});
    EXPECT_TRUE(pty.ReadMaster(1, 300).empty()); // the line is the exchange's again
}

TEST_F(VersionWindows, ALineLostMidTransferEndsItAndGivesTheLineBack) {
    SimProcess sim;
    ASSERT_FALSE(sim.Start(Still(), 4).isEmpty());
    ASSERT_TRUE(sim.Command(QStringLiteral("unloader")).startsWith(QStringLiteral("ok")));
    TerminalExchange ex(env.Dir(), 4);
    TFormGetVers get(ex.Lines(), env.Dir());
    get.Dialogs = op.Dialogs();
    get.show();
    get.StartClick();
    ASSERT_TRUE(WaitUntil([&] { return get.Session().Receiver().Stored() >= 5; }, 10000));
    sim.Kill();
    ASSERT_TRUE(WaitUntil([&] { return !get.Session().Holding(); }, 5000));
    EXPECT_TRUE(Text(get, "Memo1").endsWith(QStringLiteral("Порт Com4 закрыт")));
    EXPECT_FALSE(get.Session().Receiver().Running());
    EXPECT_FALSE(QFile::exists(env.Path(QStringLiteral("Vers/versbyte.bin"))));
    get.hide();
}

TEST_F(VersionWindows, ChecksumWindowAndTheVersionsTab) {
    std::vector<Vers::Record> records;
    for (int i = 0; i < 384; ++i)
        records.push_back(TestRecord(uint16_t(0x2000 + 0x40 * i), [](int) { return uint16_t(0); }));
    op.open = env.Path(QStringLiteral("main.ver"));
    ASSERT_TRUE(WriteRecords(op.open, records));

    TFormKontrolSumm sums(env.Dir());
    sums.Dialogs = op.Dialogs();
    sums.show(); // the file is asked for at once
    ASSERT_TRUE(WaitUntil([&] { return !Text(sums, "Label7").isEmpty(); }, 5000));
    for (const char* l : {"Label1", "Label4", "Label7", "Label9"})
        EXPECT_EQ(Text(sums, l), QStringLiteral("00000")) << l;
    EXPECT_EQ(Text(sums, "LabelFile"), QDir::toNativeSeparators(op.open));
    records.resize(100);
    ASSERT_TRUE(WriteRecords(op.open, records));
    sums.StartClick();
    EXPECT_EQ(op.messages, QStringList{QStringLiteral("Cant read ") + op.open});
    EXPECT_FALSE(sums.isVisible());

    PtyPair pty;
    pty.MapToPort(5);
    QWidget page;
    TerminalExchange ex(env.Dir(), 5);
    VersionsPage tab(&page, ex.Lines(), env.Dir(), nullptr);
    page.findChild<QPushButton*>(QStringLiteral("ButtonGetVers"))->click();
    EXPECT_TRUE(tab.GetWindow()->isVisible());
    tab.GetWindow()->findChild<QComboBox*>(QStringLiteral("ComboBoxType"))->setCurrentIndex(1);
    EXPECT_EQ(Text(*tab.GetWindow(), "LabelLoader"), QStringLiteral("66000"));
    tab.GetWindow()->hide();
}

// A duplex line whose clear-to-send stays low (a pseudo-terminal has no modem
// lines, so the port here is one whose output never drains): each frame is
// dropped after the bound, the time-out repeats it, and the load ends with
// "Станция не отвечает".
TEST_F(VersionWindows, DuplexLoadOnAHeldLineRepeatsAndGivesUp) {
    LinkOptions app;
    app.rollDir = env.Dir() + QLatin1Char('/');
    app.duplexMode = true;
    auto* port = new FakePort;
    port->Sticky = true;
    TAts ats(app, 1, std::unique_ptr<SerialPort>(port));
    ats.SwitchPort(true);
    TFormSendVers send(
        [&]() -> std::unique_ptr<VersionLine> {
            return std::make_unique<ExchangeVersionLine>(ats, true, [](const QString&) {});
        },
        env.Dir());
    send.Dialogs = op.Dialogs();
    send.Session().DrainBoundMs = 50;
    send.Session().Sender().ResendMs = 50;
    send.show();
    op.open = env.Path(QStringLiteral("v.ver"));
    ASSERT_TRUE(WriteVersion(op.open, {0x2000, 0x2040}));
    send.StartClick();
    port->Written.clear();
    port->Arrive({8});
    ASSERT_TRUE(WaitUntil(
        [&] { return Text(send, "Memo1").endsWith(QStringLiteral("Станция не отвечает")); }, 5000))
        << Text(send, "Memo1").toStdString();
    // The first frame and a repeat per time-out but the last, each dropped.
    EXPECT_EQ(port->Written.size(), size_t(VersionSender::kSilentLimit * Vers::kFrameChars));
    EXPECT_GE(port->FlushedOutput, VersionSender::kSilentLimit);
    EXPECT_FALSE(send.Session().Sender().Running());
    EXPECT_TRUE(op.messages.isEmpty());
    send.hide();
}
