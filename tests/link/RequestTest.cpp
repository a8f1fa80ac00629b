// Requests and answers: a session takes an exchange's data frames, capture or
// whole input over and gives the line back; the answer timers and the
// no-answer question.
#include "TestSupport.h"

#include "link/Ats.h"
#include "link/LinkOptions.h"
#include "link/RequestSession.h"
#include "link/RequestTracker.h"
#include "platform/Codec.h"

#include <QSignalSpy>
#include <QTimer>
#include <gtest/gtest.h>

namespace {
using Codes = std::vector<uint8_t>;

Codes Text(const QString& text) {
    LineCodeState st;
    uint8_t buf[256];
    const int n = EncodeCodes(st, text, buf, int(sizeof buf));
    return Codes(buf + 1, buf + n);
}

class Request : public ::testing::Test {
protected:
    void SetUp() override {
        app.rollDir = env.Dir() + QLatin1Char('/');
        ats = std::make_unique<TAts>(app, 1, std::unique_ptr<SerialPort>(port));
        ats->SwitchPort(true);
        port->Written.clear();
        tracker.AskNoAnswer = [this] {
            ++asked;
            return answer;
        };
    }
    QString Roll() const { return Codec::FromCp1251(FileBytes(ats->RollLog().FileName())); }

    TestEnv env;
    LinkOptions app;
    FakePort* port = new FakePort;
    std::unique_ptr<TAts> ats;
    RequestTracker tracker;
    int asked = 0;
    RequestTracker::NoAnswer answer = RequestTracker::NoAnswer::Cancel;
};
} // namespace

TEST_F(Request, DataFramesReachParseInNibbleOrBitModeUntilDone) {
    std::vector<Codes> blocks;
    std::vector<int> steps;
    {
        RequestSession s(*ats, tracker);
        s.Parse = [&](const uint8_t* data, int step) {
            blocks.emplace_back(data, data + 4);
            steps.push_back(step);
        };
        s.ExpectFrames(3 + 4);
        s.DataCount = 7;
        const Codes payload = {LineCode::CodeOfNibble(1), LineCode::CodeOfNibble(0xA),
                               LineCode::CodeOfNibble(0xF), LineCode::CodeOfNibble(0)};
        port->Arrive(Text(QStringLiteral("ШУМ")));
        port->Arrive({14, 14, 14, payload[0], payload[1], payload[2], payload[3]});
        ASSERT_EQ(blocks.size(), 1u);
        EXPECT_EQ(blocks[0], (Codes{1, 0xA, 0xF, 0}));
        EXPECT_EQ(steps[0], 7);
        EXPECT_TRUE(tracker.FramesArriving());

        s.BitMode = true; // bits 1..4 of each code, one per byte
        port->Arrive({14, 14, 14, 0b10110, 0b00011, 0, 0});
        EXPECT_EQ(blocks.back(), (Codes{1, 1, 0, 1}));
        EXPECT_EQ(Codes(s.Data() + 4, s.Data() + 8), (Codes{1, 0, 0, 0}));

        s.FrameDone = true; // the consumer has what it asked for
        port->Arrive({14, 14, 14, 2, 2, 2, 2});
        EXPECT_EQ(blocks.size(), 2u);
    }
    // The line is given back: 14, 14, 14 is text again, and the text around
    // the frames was never logged.
    EXPECT_FALSE(ats->Receiver().FramesExpected());
    port->Arrive({27, 14, 14, 14, 4});
    EXPECT_EQ(Roll(), QStringLiteral(":::_"));
}

TEST_F(Request, ContinuationSpacesFromTheThirdFrameAndTheIndicatorWhileShown) {
    QList<bool> lit;
    QObject::connect(&tracker, &RequestTracker::indicator, [&](bool on) { lit << on; });
    RequestSession s(*ats, tracker);
    s.ExpectFrames(4);
    for (int counter : {0, 1, 2, 3}) {
        s.FrameCounter = counter;
        s.NoContinue = counter == 3;
        port->Written.clear();
        port->Arrive({14, 14, 14, 2});
        EXPECT_EQ(port->Written, (counter == 2 ? Codes{4, 4, 4} : Codes{}))
            << "FrameCounter " << counter;
    }
    EXPECT_TRUE(lit.isEmpty()); // the progress window is not shown
    tracker.ProgressVisible = [] { return true; };
    port->Arrive({14, 14, 14, 2});
    EXPECT_EQ(lit, QList<bool>{true});
    EXPECT_TRUE(tracker.TimerReceiveData->isActive());
    tracker.TimerReceiveDataTimer();
    EXPECT_EQ(lit, (QList<bool>{true, false}));
}

TEST_F(Request, SendArmsTheTimersTheWatchdogAsksAndACaptureGivesUp) {
    RequestSession s(*ats, tracker);
    tracker.RequestPending = true;
    s.AnswerTicks = 55;
    s.StartCapture(QStringLiteral("НЕТ"), 2);
    port->Arrive(Text(QStringLiteral("ПРИВЕТ")));
    s.Send(QStringLiteral("ТО_8,1,2,10,,1-"));
    EXPECT_EQ(s.AnswerTicks, 0);
    EXPECT_EQ(tracker.TimerStat->interval(), 100);
    EXPECT_TRUE(tracker.TimerStat->isActive());
    EXPECT_TRUE(tracker.TimerWeStillDontGet->isActive());
    EXPECT_EQ(tracker.LastRequest, QStringLiteral("ТО_8,1,2,10,,1-"));
    const int queued = ats->Link().QueuedCount();
    EXPECT_GT(queued, 0);
    EXPECT_EQ(Roll(), QString()); // no echo, and the capture holds the text

    tracker.TimerWeStillDontGetTimer();
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(tracker.TimerWeStillDontGet->isActive());
    EXPECT_FALSE(tracker.AbortRequest);
    answer = RequestTracker::NoAnswer::Retry;
    tracker.TimerWeStillDontGetTimer();
    EXPECT_GT(ats->Link().QueuedCount(), queued); // sent again
    EXPECT_TRUE(tracker.TimerWeStillDontGet->isActive());
    answer = RequestTracker::NoAnswer::Abort;
    tracker.TimerWeStillDontGetTimer();
    EXPECT_TRUE(tracker.AbortRequest);

    // About 10 s of ticks: the capture gives up and shows what it held.
    for (int i = 0; i < 101 && s.CapturePending(); ++i)
        tracker.TimerStatTimer();
    EXPECT_FALSE(s.CapturePending());
    EXPECT_FALSE(tracker.TimerStat->isActive());
    EXPECT_EQ(Roll(), QStringLiteral("ПРИВЕТ"));
}

TEST_F(Request, SessionEndsGiveTheLineBackOnEveryPath) {
    Codes raw;
    auto s = std::make_unique<RequestSession>(*ats, tracker);
    s->SetRaw([&](const uint8_t* c, int n) { raw.insert(raw.end(), c, c + n); });
    port->Arrive({3, 5, 14});
    EXPECT_EQ(raw, (Codes{3, 5, 14}));
    EXPECT_EQ(Roll(), QString());
    const uint8_t block[] = {1, 2, 3};
    s->WriteRaw(block, 3);
    EXPECT_EQ(port->Written, (Codes{1, 2, 3}));

    // A second session is refused while the first holds the line, and the
    // exchange says which tool holds it.
    QSignalSpy refused(ats.get(), &TAts::lineRefused);
    {
        RequestSession second(*ats, tracker, QStringLiteral("статистика ВК"));
        EXPECT_TRUE(second.Refused());
        EXPECT_EQ(second.Exchange(), nullptr);
        second.WriteRaw(block, 3); // goes nowhere
        second.Send(QStringLiteral("А"));
    }
    EXPECT_EQ(port->Written.size(), 3u);
    ASSERT_EQ(refused.size(), 1);
    EXPECT_EQ(refused[0][0].toString(), QString::fromUtf8("Линия АТС занята: идет запрос к АТС"));
    EXPECT_EQ(ats->Session(), s.get());
    EXPECT_TRUE(s->IsRaw());
    s.reset(); // the line is free: the next session takes it
    RequestSession second(*ats, tracker, QStringLiteral("статистика ВК"));
    EXPECT_EQ(RequestSession::BusyText(*ats),
              QString::fromUtf8("Линия АТС занята: идет статистика ВК"));
    EXPECT_EQ(ats->Session(), &second);
    second.ExpectFrames(5);

    // The exchange goes away first: the session notices.
    ats.reset();
    EXPECT_EQ(second.Exchange(), nullptr);
    second.Send(QStringLiteral("А"));
    EXPECT_FALSE(second.CapturePending());
}
