// The subscriber, cord and battery-receiver runs from the button to the end,
// against the simulated exchange: the requests of blocks and racks, the live
// colours, the refresh of a subscriber block, the line given back between
// details.
#include "StatRunFixture.h"

#include "stats/ui/FormAKNapr.h"
#include "stats/ui/FormStatAK.h"
#include "stats/ui/FormStatISK.h"
#include "stats/ui/FormStatPB.h"
#include "stats/ui/FormStatVSK.h"

#include <QMouseEvent>
#include <QPointer>
#include <QScreen>

namespace {
// The last directive is a read from `address` and `frames` of it have come.
bool Reading(const SimPeer& peer, const QString& address, int frames) {
    const int d = int(peer.Directives.size()) - 1;
    return d >= 0 && peer.Directives[d].startsWith(QStringLiteral("ТО_8,") + address + ',') &&
           peer.FramesOf(d) >= frames;
}
// The status bar's text once the mouse moves over a panel (index from 0).
// The move goes to the panel itself: which of the overlapping top-level
// windows an offscreen cursor lands on is not defined.
QString HoverText(KitWindow* w, int panel) {
    QWidget* p = w->Panels()[size_t(panel)];
    const QPointF at(p->width() / 2, p->height() / 2);
    QMouseEvent move(QEvent::MouseMove, at, p->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(p, &move);
    return w->StatusBar1->currentMessage();
}
uint32_t ColourOf(KitWindow* w, int panel) {
    return w->findChild<KitPanel*>(QStringLiteral("Panel") + QString::number(panel))->Colour();
}
} // namespace

TEST_F(StatRuns, SubscriberBlocksReadBlockedBitsThenLiveOnesAndRefresh) {
    sim::SimMemory& m = peer.Sim().Memory();
    QPointer<QTimer> refresh; // the detail's TimerStatAK
    // Block 0: position 5 blocked, 6 not; both change on every live frame.
    m.SetBit(kAkBlocked, 63 - 5, true);
    m.SetBit(kAkBlocked, 63 - 6, false);
    peer.OnFrame = [&](int d, int) {
        if (!peer.Directives[d].startsWith(QStringLiteral("ТО_8,E00,"))) return;
        for (int p : {5, 6})
            m.SetBit(kAkFree, 63 - p, !m.Bit(kAkFree, 63 - p));
    };
    TFormStatAK* o = nullptr;
    TFormAKNapr* d = nullptr;
    int n = 0, framesBefore = 0;
    script.Then(
        [&] { return (o = TopWindow<TFormStatAK>()) && o->isVisible(); },
        [&] {
            d = o->FormAKNapr();
            refresh = d->TimerStatAK;
            EXPECT_EQ(refresh->interval(), 30000);
            refresh->setInterval(60000);
            EXPECT_EQ(peer.Directives, QStringList({"ТО_8,408C,3,10,,1-", "ТО_8,5F34,7,10,,1-"}));
            for (KitPanel* p : o->Panels()) {
                EXPECT_EQ(p->Raised(), p->Tag() < kAkBlocksPresent) << p->Tag();
                EXPECT_EQ(p->Colour(), p->Tag() < kAkBlocksPresent ? stats::colour::kGreen
                                                                   : stats::colour::kButtonFace);
            }
            EXPECT_EQ(o->Panels()[1]->toolTip(), QStringLiteral("40-7F"));
            QTest::mouseClick(o->Panels()[31], Qt::LeftButton); // block 1F, absent
        });
    script.Then([&] { return d && d->isVisible() && Reading(peer, "E7C", 2); },
                [&] {
                    EXPECT_FALSE(o->isVisible());
                    EXPECT_EQ(peer.Directives.mid(2),
                              QStringList({"ТО_8,DFC,F,10,,1-", "ТО_8,E7C,F,10,,1-"}));
                    EXPECT_EQ(d->windowTitle(), QStringLiteral("Статистика АК. Бал 1F"));
                    EXPECT_EQ(d->Panels()[0]->text(), QStringLiteral("7C0"));
                    EXPECT_TRUE(refresh->isActive());
                    d->close();
                });
    // The line is the printouts' again until the next block.
    script.Then([&] { return o->isVisible() && !ats->Receiver().FramesExpected(); },
                [&] {
                    EXPECT_FALSE(refresh->isActive());
                    QTest::mouseClick(o->Panels()[0], Qt::LeftButton);
                });
    script.Then([&] { return d->isVisible() && Reading(peer, "E00", 3); },
                [&] {
                    EXPECT_EQ(ColourOf(d, 6), stats::colour::kPurple);
                    EXPECT_NE(ColourOf(d, 7), stats::colour::kPurple);
                    m.SetBit(kAkBlocked, 63 - 6, true); // blocked from now on
                    n = int(peer.Directives.size());
                    framesBefore = peer.FramesOf(n - 1);
                });
    script.Then([&] { return peer.FramesOf(n - 1) >= framesBefore + 3; },
                [&] {
                    // Live frames do not show blocking: position 6 waits for the
                    // refresh, position 5 stays purple while its bit changes.
                    EXPECT_EQ(peer.Directives.size(), n);
                    EXPECT_EQ(ColourOf(d, 6), stats::colour::kPurple);
                    EXPECT_NE(ColourOf(d, 7), stats::colour::kPurple);
                    refresh->setSingleShot(true); // one tick, soon
                    refresh->start(20);
                });
    script.Then([&] { return int(peer.Directives.size()) >= n + 2 && Reading(peer, "E00", 2); },
                [&] {
                    refresh->setSingleShot(false);
                    EXPECT_EQ(peer.Directives[n], QStringLiteral("ТО_8,D80,F,10,,1-"));
                    EXPECT_EQ(ColourOf(d, 6), stats::colour::kPurple);
                    EXPECT_EQ(ColourOf(d, 7), stats::colour::kPurple);
                    EXPECT_EQ(HoverText(d, 6), QStringLiteral("Блокирован"));
                    d->close();
                });
    script.Then([&] { return o->isVisible(); }, [&] { o->close(); });
    Run("ButtonStatAK");
    EXPECT_TRUE(refresh.isNull()); // freed with the run's windows
    ExpectEndedCleanly();
}

TEST_F(StatRuns, CordRacksShowTheExchangeKindAndTheirKitsLive) {
    sim::SimMemory& m = peer.Sim().Memory();
    const uint16_t kit0 = uint16_t(kIsk + 2 * 32 + 31); // rack 2, position 0
    m.SetWord(kit0, 3 << 13);
    TFormStatISK* o = nullptr;
    int framesBefore = 0;
    auto setState = [&](int state) {
        m.SetWord(kit0, uint16_t(state << 13));
        framesBefore = peer.FramesOf(int(peer.Directives.size()) - 1);
    };
    auto fresh = [&] { return Reading(peer, "2840", framesBefore + 3); };
    script.Then(
        [&] { return (o = TopWindow<TFormStatISK>()) && o->isVisible(); },
        [&] {
            EXPECT_EQ(
                o->windowTitle(),
                QStringLiteral("Статистика ИШК. Не спаренный( Городская, учрежденческая АТС)"));
            EXPECT_EQ(peer.Directives, QStringList({"ТО_8,4085,3,10,,1-", "ТО_8,601B,3,10,,1-",
                                                    "ТО_8,5F30,F,10,,1-"}));
            for (KitPanel* p : o->Panels())
                EXPECT_EQ(p->Raised(), p->Tag() < kRacksEquipped) << p->Tag();
            // Wide enough for its caption.
            EXPECT_GT(o->width(), o->fontMetrics().horizontalAdvance(o->windowTitle()));
            QTest::mouseClick(o->Panels()[2], Qt::LeftButton);
        });
    script.Then([&] { return o->FormIskNapr()->isVisible() && Reading(peer, "2840", 2); },
                [&] {
                    TFormIskNapr* d = o->FormIskNapr();
                    EXPECT_FALSE(o->isVisible());
                    // Beside the overview when the screen has room, and
                    // inside the screen.
                    const QRect area = o->screen()->availableGeometry();
                    if (o->frameGeometry().width() + d->frameGeometry().width() < area.width()) {
                        EXPECT_FALSE(d->frameGeometry().intersects(o->frameGeometry()));
                    }
                    EXPECT_TRUE(area.contains(d->frameGeometry()));
                    EXPECT_EQ(d->windowTitle(), QStringLiteral("ИШК. Статив 2"));
                    EXPECT_EQ(d->Panels()[31]->text(), QStringLiteral("5F"));
                    EXPECT_EQ(ColourOf(d, 1), stats::colour::kYellow); // state 3
                    setState(1);
                });
    for (int state : {4, 6, 7, 0})
        script.Then(fresh, [&, state] {
            // States 1, 4, 6 and 7 leave the colour; 0 is free.
            EXPECT_EQ(ColourOf(o->FormIskNapr(), 1), stats::colour::kYellow);
            setState(state);
        });
    script.Then(fresh, [&] {
        EXPECT_EQ(ColourOf(o->FormIskNapr(), 1), stats::colour::kGreen);
        o->FormIskNapr()->close();
    });
    script.Then([&] { return o->isVisible() && !ats->Receiver().FramesExpected(); },
                [&] { o->close(); });
    Run("ButtonStatISK");
    ExpectEndedCleanly();
}

TEST_F(StatRuns, AnUnequippedRackOpensWithoutAnotherRacksColours) {
    TFormStatVSK* o = nullptr;
    auto detailLive = [&](const char* address) {
        return o->FormVskNapr()->isVisible() && Reading(peer, address, 2);
    };
    script.Then([&] { return (o = TopWindow<TFormStatVSK>()) && o->isVisible(); },
                [&] { QTest::mouseClick(o->Panels()[0], Qt::LeftButton); });
    script.Then([&] { return detailLive("2A00"); }, [&] { o->FormVskNapr()->close(); });
    script.Then([&] { return o->isVisible(); },
                [&] {
                    EXPECT_FALSE(o->Panels()[15]->Raised());
                    QTest::mouseClick(o->Panels()[15], Qt::LeftButton);
                });
    script.Then([&] { return detailLive("2BE0"); },
                [&] {
                    TFormVskNapr* d = o->FormVskNapr();
                    EXPECT_EQ(d->windowTitle(), QStringLiteral("ВШК. Статив F"));
                    // Kits not in service (state 1) have no colour of their own.
                    for (KitPanel* p : d->Panels())
                        EXPECT_EQ(p->Colour(), stats::colour::kButtonFace) << p->Tag();
                    d->close();
                });
    script.Then([&] { return o->isVisible(); }, [&] { o->close(); });
    Run("ButtonStatVSK");
    EXPECT_EQ(peer.Directives.first(), QStringLiteral("ТО_8,4086,3,10,,1-"));
    ExpectEndedCleanly();
}

TEST_F(StatRuns, BatteryReceiversOfACountNotAMultipleOfFourAreAllPainted) {
    sim::SimMemory& m = peer.Sim().Memory();
    m.SetWord(kPbCount, 0x0104); // five receivers: two codes a table
    for (uint16_t table : {kPbExcluded, kPbBlocked, kPbBusy})
        m.SetWord(table, 0);
    // Receiver i is element 4 - i: 0 busy, 1 excluded, 4 blocked.
    m.SetBit(kPbBusy, 4, true);
    m.SetBit(kPbExcluded, 3, true);
    m.SetBit(kPbBlocked, 0, true);
    peer.OnFrame = [&](int d, int) {
        if (!peer.Directives[d].startsWith(QStringLiteral("ТО_8,2224,"))) return;
        for (int e : {0, 3}) // the blocked and the excluded receiver
            m.SetBit(kPbBusy, e, !m.Bit(kPbBusy, e));
    };
    script.Then([&] { return TopWindow<TFormStatPB>() && Reading(peer, "2224", 4); },
                [&] {
                    TFormStatPB* w = TopWindow<TFormStatPB>();
                    EXPECT_TRUE(w->isVisible());
                    EXPECT_EQ(peer.Directives,
                              QStringList({"ТО_8,5FA3,3,10,,1-", "ТО_8,5FC4,1,10,,1-",
                                           "ТО_8,2254,1,10,,1-", "ТО_8,2224,1,10,,1-"}));
                    using namespace stats::colour;
                    const uint32_t expected[5] = {kYellow, kButtonFace, kGreen, kGreen, kPurple};
                    for (int i = 0; i < 64; ++i) {
                        KitPanel* p = w->Panels()[size_t(i)];
                        EXPECT_EQ(p->Raised(), i < 5) << i;
                        EXPECT_EQ(p->Colour(), i < 5 ? expected[i] : kButtonFace) << i;
                    }
                    // The kit hint of the colour under the mouse.
                    EXPECT_EQ(HoverText(w, 1), QStringLiteral("Исключен или отсутствует"));
                    EXPECT_EQ(HoverText(w, 0), QStringLiteral("В работе"));
                    w->close();
                });
    Run("ButtonStatPB");
    ExpectEndedCleanly();
}
