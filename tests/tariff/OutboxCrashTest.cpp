// A billed call's DestTar row, day-file row and central queue record are one
// commit: cut at each step of the journal, the next start has every call in
// DestTar exactly once in the queue and nothing in the queue that DestTar
// lacks; staging goes on with the next dense sequence number.
#include "CallRecordsTestSupport.h"
#include "tables/TxFile.h"

#include <gtest/gtest.h>

namespace {

// A numbers of DestTar's rows and of the queue's records, in order; the
// queue's sequence numbers must run 1..n.
QStringList DestTarA(const TariffRig& rig) {
    QStringList out;
    for (const QVariantList& r : rig.DestTar())
        out << r.value(0).toString();
    return out;
}

QStringList QueueA(const Outbox& q) {
    QStringList out;
    qint64 seq = 0;
    for (const QByteArray& l : q.Read(1, 1000)) {
        const auto r = CentralRecord::FromCopyLine(l);
        if (!r || r->seq != ++seq || r->epoch != q.Epoch()) return {QStringLiteral("bad line")};
        out << r->aNumber;
    }
    return out;
}

} // namespace

TEST(OutboxCrash, QueueAndDestTarStayTogetherAtEveryStopOfTheJournal) {
    using Stop = tables::Transaction::Stop;
    for (Stop stop : {Stop::TornJournal, Stop::AfterJournal, Stop::AfterFirstFile,
                      Stop::AfterAllFiles, Stop::None}) {
        SCOPED_TRACE(int(stop));
        TariffRig rig;
        rig.central = true;
        ASSERT_TRUE(rig.Start());
        rig.Call(1, QStringLiteral("2001"), QStringLiteral("3000001"), 1, 60000);
        rig.Call(2, QStringLiteral("2002"), QStringLiteral("3000002"), 1, 60000);
        // The third call's end, committed by an enclosing transaction that
        // stops as if the process died there.
        rig.calls->OnCallStart(*rig.ats,
                               StartFrame(3, QStringLiteral("2003"), QStringLiteral("3000003"), 1));
        Clock::Advance(60000);
        {
            tables::Transaction tx(rig.tables->StandardDir());
            rig.calls->OnCallEnd(*rig.ats, EndFrame(3, QStringLiteral("3000003")));
            QString e;
            ASSERT_TRUE(tx.Commit(&e, stop)) << e.toStdString();
        }
        const QString dir = rig.tables->StandardDir();
        rig.Stop();
        // The next start.
        QString e;
        ASSERT_TRUE(tables::RecoverJournal(dir, &e)) << e.toStdString();
        ASSERT_TRUE(rig.Start());
        const int billed = stop == Stop::TornJournal ? 2 : 3;
        QStringList want{QStringLiteral("2001"), QStringLiteral("2002"), QStringLiteral("2003")};
        want = want.mid(0, billed);
        EXPECT_EQ(DestTarA(rig), want);
        EXPECT_EQ(QueueA(*rig.outbox), want);
        EXPECT_EQ(rig.TarifTA().size(), 3 - billed); // the cut call's start is still there

        rig.Call(4, QStringLiteral("2004"), QStringLiteral("3000004"), 1, 60000);
        want << QStringLiteral("2004");
        EXPECT_EQ(DestTarA(rig), want);
        EXPECT_EQ(QueueA(*rig.outbox), want);
        EXPECT_EQ(rig.outbox->Durable(), billed + 1);
    }
}

// What the record carries, built from the call; a call that is not billed
// (free) stages nothing, and a failed stage leaves the call unbilled.
TEST(OutboxCrash, RecordCarriesTheCallAndAFailedStageBillsNothing) {
    TariffRig rig;
    rig.central = true;
    rig.mode.maxNoPaneTime = 5;
    ASSERT_TRUE(rig.Start());
    rig.ats->Number = 3;
    rig.Call(7, QStringLiteral("2345"), QStringLiteral("0123456"), 2, 61500);
    rig.Call(8, QStringLiteral("2346"), QStringLiteral("3000009"), 2, 2000); // free
    const QList<QByteArray> lines = rig.outbox->Read(1, 10);
    ASSERT_EQ(lines.size(), 1);
    const auto r = CentralRecord::FromCopyLine(lines[0]);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->exchange, 3);
    EXPECT_EQ(r->kit, 7);
    EXPECT_EQ(r->aNumber, QStringLiteral("2345"));
    EXPECT_EQ(r->bDialled, QStringLiteral("0123456"));
    EXPECT_EQ(r->durationUnit, QStringLiteral("s"));
    EXPECT_EQ(r->duration, rig.DestTar().value(0).value(3).toLongLong());
    EXPECT_EQ(r->started.msecsTo(r->ended), 61500);
    EXPECT_EQ(r->ended.offsetFromUtc(), Clock::Now().offsetFromUtc());

    // Calls of one read are durable (and readable) once the read's sync is made.
    rig.calls->InputBegins();
    rig.Call(10, QStringLiteral("2348"), QStringLiteral("3000011"), 2, 60000);
    EXPECT_EQ(rig.outbox->Last(), 2);
    EXPECT_EQ(rig.outbox->Durable(), 1);
    rig.calls->InputDone();
    EXPECT_EQ(rig.outbox->Read(2, 10).size(), 1);

    // An outbox that cannot stage: the call stays unbilled (its start row stays).
    rig.calls.reset();
    rig.outbox.reset();
    Outbox closed(rig.tables->StandardDir(), QStringLiteral("T1"));
    rig.calls = std::make_unique<CallRecords>(rig.mode, *rig.tables, &closed);
    const int rows = rig.DestTar().size();
    rig.Call(9, QStringLiteral("2347"), QStringLiteral("3000010"), 2, 60000);
    EXPECT_EQ(rig.DestTar().size(), rows);
    EXPECT_EQ(rig.TarifTA().size(), 1);
    EXPECT_TRUE(LogLines().join('\n').contains(QStringLiteral("очередь центра")));
    rig.calls.reset();
}
