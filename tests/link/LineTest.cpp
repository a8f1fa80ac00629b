// The line over a port in memory: the pace and order of the queue, the
// duplex disciplines with clear-to-send and their bounds, reads, line errors,
// and a wanted line that is lost, or missing at start-up, and comes back.
#include "TestSupport.h"

#include "link/Line.h"
#include "platform/Codec.h"
#include "platform/ProgramLog.h"

#include <QSignalSpy>
#include <QTimer>
#include <gtest/gtest.h>

namespace {
using Codes = std::vector<uint8_t>;
const Codes kTo5 = {0, 0, 16, 24, 4, 27, 16, 12, 3}; // "ТО_5,-"
const QString kOpened = QStringLiteral("ATS 1 Порт открыт Com 1");
const QString kClosed = QStringLiteral("ATS 1 Порт закрыт Com 1");
const QString kBusy = QStringLiteral("Канал занят. Не освобожден вых. буфер");

struct LineRig {
    TestEnv env;
    FakePort* port = new FakePort;
    std::unique_ptr<Line> line;
    QStringList status;

    explicit LineRig(bool duplex = false, bool blockSend = true) {
        Line::Mode m;
        m.duplex = duplex;
        m.blockSend = blockSend;
        m.duplexBoundMs = 30;
        m.reopenIntervalMs = 20;
        line =
            std::make_unique<Line>(std::unique_ptr<SerialPort>(port), QStringLiteral("ATS 1"), m);
        QObject::connect(line.get(), &Line::status, [this](const QString& s) { status << s; });
    }
    void Open() {
        line->Switch(true);
        port->Written.clear();
        status.clear();
    }
    void Tick() { QMetaObject::invokeMethod(line->findChild<QTimer*>("PaceTimer"), "timeout"); }
    bool Sent() {
        return WaitUntil([&] { return !line->IsSending(); });
    }
};
} // namespace

TEST(Line, PacedQueueGoesOutOneByteATickInOrderWaitingForTheByteBefore) {
    LineRig r;
    r.Open();
    QSignalSpy drained(r.line.get(), &Line::drained);
    ASSERT_TRUE(r.line->Queue(kTo5.data(), 5));
    ASSERT_TRUE(r.line->Queue(kTo5.data() + 5, 4)); // appended behind the bytes not yet sent
    EXPECT_TRUE(r.line->IsSending());
    for (size_t i = 0; i < kTo5.size(); ++i) {
        if (i == 3) {
            r.port->Pending = 1; // the byte before has not left: this tick sends nothing
            r.Tick();
            EXPECT_EQ(r.port->Written.size(), 3u);
            r.port->Pending = 0;
        }
        r.Tick();
        ASSERT_EQ(r.port->Written.size(), i + 1) << "tick " << i;
    }
    EXPECT_EQ(r.port->Written, kTo5);
    r.Tick();
    EXPECT_FALSE(r.line->IsSending());
    EXPECT_EQ(r.line->QueuedCount(), 0);
    EXPECT_EQ(drained.count(), 1);
    EXPECT_TRUE(r.status.isEmpty());
}

TEST(Line, ClosedPortReportsEveryPacedByteAndTheQueueHoldsAtMost4095) {
    LineRig r;
    r.line->SetPaceInterval(1);
    r.line->Queue(kTo5.data(), int(kTo5.size()));
    ASSERT_TRUE(r.Sent());
    EXPECT_EQ(r.status, QStringList(int(kTo5.size()), QStringLiteral("Порт закрыт")));

    r.status.clear();
    r.line->SetPaceInterval(3600000);
    const Codes big(4094, 3);
    EXPECT_TRUE(r.line->Queue(big.data(), 4094));
    EXPECT_TRUE(r.line->Queue(big.data(), 1));
    EXPECT_FALSE(r.line->Queue(big.data(), 1));
    EXPECT_EQ(r.line->QueuedCount(), 4095);
    EXPECT_EQ(r.status, QStringList{QStringLiteral("Исходящий буфер переполнен")});
}

TEST(Line, DuplexNtSendsEachByteAfterClearToSendOrItsBound) {
    LineRig r(true, false);
    r.Open();
    r.line->Queue(kTo5.data(), int(kTo5.size()));
    ASSERT_TRUE(r.Sent());
    EXPECT_EQ(r.port->Written, kTo5);

    // A peer that never raises CTS: each byte still goes after the bound.
    r.port->Written.clear();
    r.port->Cts = false;
    r.line->Queue(kTo5.data(), 3);
    EXPECT_TRUE(r.port->Written.empty());
    ASSERT_TRUE(r.Sent());
    EXPECT_EQ(r.port->Written, Codes(kTo5.begin(), kTo5.begin() + 3));
    EXPECT_TRUE(r.status.isEmpty());

    // A line that does not drain: one status line, the rest of the queue dropped.
    r.port->Written.clear();
    r.port->Cts = true;
    r.port->Sticky = true;
    r.line->Queue(kTo5.data(), int(kTo5.size()));
    ASSERT_TRUE(r.Sent());
    EXPECT_EQ(r.port->Written, Codes{kTo5[0]});
    EXPECT_EQ(r.status, QStringList{kBusy});
    EXPECT_EQ(r.line->QueuedCount(), 0);
    EXPECT_EQ(r.port->FlushedOutput, 0);
}

TEST(Line, DuplexBlockSendsAppendedBytesOnceAndDiscardsAStuckOutput) {
    LineRig r(true, true);
    r.Open();
    r.port->Pending = 1; // the first block is still leaving...
    r.line->Queue(kTo5.data(), 5);
    EXPECT_EQ(r.port->Written, Codes(kTo5.begin(), kTo5.begin() + 5));
    r.line->Queue(kTo5.data() + 5, 4); // ...when more is queued
    r.port->Pending = 0;
    ASSERT_TRUE(r.Sent());
    EXPECT_EQ(r.port->Written, kTo5);

    r.port->Sticky = true;
    r.line->Queue(kTo5.data(), int(kTo5.size()));
    ASSERT_TRUE(r.Sent());
    EXPECT_EQ(r.status, QStringList{kBusy});
    EXPECT_EQ(r.port->FlushedOutput, 1);
    EXPECT_EQ(r.port->Pending, 0);

    // A closed port: one line per send, not one per byte.
    r.line->Switch(false);
    r.status.clear();
    r.line->Queue(kTo5.data(), int(kTo5.size()));
    ASSERT_TRUE(r.Sent());
    EXPECT_EQ(r.status, QStringList{QStringLiteral("Порт закрыт")});
}

TEST(Line, ReadsAreMaskedAndWhatCameMeanwhileIsReadWithoutFurtherInput) {
    LineRig r;
    r.Open();
    Codes got;
    int reads = 0;
    QObject::connect(r.line.get(), &Line::received, [&](const uint8_t* c, int n) {
        got.insert(got.end(), c, c + n);
        // Bytes that come while the first read is handled raise no new event.
        if (++reads == 1) r.port->Input.insert(r.port->Input.end(), {5, 6, 7});
    });
    r.port->Arrive({1, 31, 32, 0xFF, 0x4E});
    ASSERT_TRUE(WaitUntil([&] { return got.size() >= 8; }));
    EXPECT_EQ(got, (Codes{1, 31, 0, 31, 14, 5, 6, 7}));
}

TEST(Line, InputOverflowDiscardsBothBuffersOverrunOnlyTheInput) {
    LineRig r;
    r.Open();
    const int armed = r.port->Armed;
    r.port->Pending = 7;
    r.port->Error(SerialPort::ReceiverOverrun);
    EXPECT_EQ(r.port->FlushedInput, 1);
    EXPECT_EQ(r.port->FlushedOutput, 0);
    EXPECT_EQ(r.port->Pending, 7);
    r.port->Error(SerialPort::InputOverflow);
    EXPECT_EQ(r.port->FlushedInput, 2);
    EXPECT_EQ(r.port->FlushedOutput, 1);
    EXPECT_EQ(r.port->Pending, 0);
    EXPECT_EQ(r.port->Armed, armed + 2); // the trigger is armed again each time
}

TEST(Line, SwitchingOnClosesThenOpensAndAFailedOpenIsNotWanted) {
    LineRig r;
    QSignalSpy wanted(r.line.get(), &Line::wantedChanged);
    r.line->Switch(true);
    EXPECT_TRUE(r.line->IsOpen());
    EXPECT_EQ(r.status, (QStringList{kClosed, kOpened}));
    EXPECT_EQ(r.port->Written, Codes{4}); // the opening space
    ASSERT_EQ(wanted.count(), 1);
    EXPECT_TRUE(wanted.last().at(0).toBool());

    r.status.clear();
    r.port->Openable = false;
    r.line->Switch(true);
    EXPECT_FALSE(r.line->Wanted());
    EXPECT_FALSE(r.line->Retrying());
    EXPECT_EQ(r.status, (QStringList{kClosed, kClosed}));
    EXPECT_FALSE(wanted.last().at(0).toBool());
    EXPECT_TRUE(Codec::FromCp1251(FileBytes(LogFilePath()))
                    .contains(QStringLiteral("Ошибка доступа к порту 1")));
}

TEST(Line, WantedLineIsRetriedWhenLostOrMissingAtStartUp) {
    LineRig r;
    r.Open();
    r.port->Lose();
    EXPECT_EQ(r.status, QStringList{kClosed});
    EXPECT_TRUE(r.line->Wanted());
    EXPECT_TRUE(r.line->Retrying());
    r.port->Openable = false;
    WaitFor(70, false);
    EXPECT_GE(r.port->Opens, 3); // still trying
    r.port->Openable = true;
    ASSERT_TRUE(WaitUntil([&] { return r.line->IsOpen(); }));
    EXPECT_FALSE(r.line->Retrying());
    EXPECT_EQ(r.status.last(), kOpened);
    EXPECT_EQ(r.port->Written, Codes{4});

    // Missing at start-up: wanted all the same, said once, retried.
    LineRig s;
    s.port->Openable = false;
    QSignalSpy wanted(s.line.get(), &Line::wantedChanged);
    s.line->Switch(true, true);
    EXPECT_TRUE(s.line->Wanted());
    EXPECT_EQ(s.status, (QStringList{kClosed, QStringLiteral("ATS 1 Порт недоступен Com 1")}));
    EXPECT_TRUE(wanted.last().at(0).toBool());
    s.port->Openable = true;
    ASSERT_TRUE(WaitUntil([&] { return s.line->IsOpen(); }));
    EXPECT_EQ(s.status.last(), kOpened);

    // Switching off ends the retries.
    s.port->Lose();
    s.line->Switch(false);
    const int opens = s.port->Opens;
    WaitFor(70, false);
    EXPECT_EQ(s.port->Opens, opens);
}
