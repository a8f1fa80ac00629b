// Statistics runs from the button to the end, against the simulated exchange
// on a pseudo-terminal: the directives sent, the frames used, the windows,
// and the ways a run ends early.
#include "StatRunFixture.h"

TEST_F(StatRuns, IncomingRefreshReadsTheTablesAndShowsTheDirectionsLive) {
    sim::SimMemory& m = peer.Sim().Memory();
    // The base word of the first step changes from frame to frame: only the
    // third frame holds the right one, and the next directive shows which
    // frame was used.
    m.SetWord(kVkExistPtr, 0x4F01);
    peer.OnFrame = [&](int directive, int frames) {
        if (directive == 0 && frames <= 2) m.SetWord(kVkExistPtr, frames == 1 ? 0x4F02 : kVkExist);
    };
    TFormStatVK* overview = nullptr;
    script.Then([&] { return LiveOverview() && (overview = TopWindow<TFormStatVK>()); },
                [&] {
                    EXPECT_TRUE(main.isMinimized());
                    TrunkStats& s = overview->Stats();
                    for (int k : {0, 5, 100, 159, 160, 191}) {
                        EXPECT_EQ(s.Exist[size_t(k)], m.Bit(kVkExist, 191 - k)) << k;
                        EXPECT_EQ(s.Type[size_t(k)], m.Nibble(kVkType, 191 - k)) << k;
                        EXPECT_EQ(s.Kits[size_t(k)].Napr,
                                  m.ReadNibble(kVkNapr, 2 * (191 - k) + 1) +
                                      16 * (m.ReadNibble(kVkNapr, 2 * (191 - k)) & 3))
                            << k;
                    }
                    // Every direction panel shows its load.
                    for (KitPanel* p : overview->Panels()) {
                        const stats::PanelLook look = s.DirectionLook(p->Tag());
                        EXPECT_EQ(p->Raised(), look.raised) << p->Tag();
                        if (look.colour) {
                            EXPECT_EQ(p->Colour(), *look.colour) << p->Tag();
                        }
                    }
                    EXPECT_EQ(overview->Panels()[31]->Colour(), stats::colour::kButtonFace);
                    QTest::mouseClick(overview->findChild<KitPanel*>(QStringLiteral("Panel4")),
                                      Qt::LeftButton);
                });
    script.Then([&] { return overview->FormVKNapr()->isVisible(); },
                [&] {
                    TFormVKNapr* d = overview->FormVKNapr();
                    EXPECT_FALSE(overview->isVisible());
                    EXPECT_EQ(d->windowTitle(), QStringLiteral("Направление 3"));
                    EXPECT_EQ(d->LabelCountVK->text(),
                              QString::number(overview->Stats().PresentMembers(3)));
                    KitPanel* kit = d->findChild<KitPanel*>(QStringLiteral("Panel25")); // kit 24
                    QTest::mouseMove(kit);
                    EXPECT_TRUE(kit->toolTip().startsWith(QStringLiteral("BK 18\nНаличие ")));
                    d->close();
                });
    script.Then([&] { return overview->isVisible(); }, [&] { overview->close(); });
    Run("ButtonStatVK");

    const QStringList expected{
        "ТО_8,5B2C,3,10,,1-",  "ТО_8,4036,3,10,,1-",   "ТО_8,5779,3,10,,1-",
        "ТО_8,576D,3,10,,1-",  "ТО_8,4088,3,10,,1-",   "ТО_8,5B0A,3,10,,1-",
        "ТО_8,5000,2F,10,,1-", "ТО_8,5010,BF,10,,1-",  "ТО_8,5040,17F,10,,1-",
        "ТО_8,50A0,FF,10,,1-", "ТО_8,5100,2FF,10,,1-", "ТО_8,2100,2F,10,,1-"};
    EXPECT_EQ(peer.Directives, expected);
    // One-shot reads stop at the third frame: no continuation before it.
    for (int i = 0; i < 11; ++i)
        EXPECT_GE(peer.FramesOf(i), 3) << i;
    EXPECT_GE(peer.SpacesAfter(0), 3);
    EXPECT_FALSE(peer.Sim().Repeating());
    ExpectEndedCleanly();

    auto kits = tables::Table::ForFile(env.Path(QStringLiteral("Tables/TableVK1.db")));
    auto dirs = tables::Table::ForFile(env.Path(QStringLiteral("Tables/TableNaprVK1.db")));
    ASSERT_TRUE(kits->Open(true) && dirs->Open(true));
    EXPECT_EQ(kits->RecordCount(), 192);
    EXPECT_EQ(dirs->RecordCount(), 32);
    EXPECT_TRUE(status.isEmpty());
}

TEST_F(StatRuns, OutgoingRefreshTakesTheDirectionFromBitsZeroToFive) {
    sim::SimMemory& m = peer.Sim().Memory();
    m.SetByte(kIkNapr, 191 - 5, 0xC3); // kit 5: direction 3, bits 6-7 set
    TFormStatIK* overview = nullptr;
    script.Then([&] { return LiveOverview() && (overview = TopWindow<TFormStatIK>()); },
                [&] {
                    TrunkStats& s = overview->Stats();
                    EXPECT_EQ(s.Napr[5], 0xC3);
                    EXPECT_EQ(s.Kits[5].Napr, 3);
                    EXPECT_TRUE(s.IsMember(5, 3));
                    ASSERT_EQ(overview->Panels().size(), 256u);
                    // Directions above 63 are unused.
                    QTest::mouseMove(overview->Panels()[100]);
                    EXPECT_EQ(overview->StatusBar1->currentMessage(),
                              QStringLiteral("Не задействовано"));
                    overview->close();
                });
    Run("ButtonStatIK");
    const QStringList expected{
        "ТО_8,5B28,3,10,,1-",   "ТО_8,4035,3,10,,1-",   "ТО_8,5B33,3,10,,1-",
        "ТО_8,4087,3,10,,1-",   "ТО_8,5200,2F,10,,1-",  "ТО_8,5210,BF,10,,1-",
        "ТО_8,5240,17F,10,,1-", "ТО_8,5300,2FF,10,,1-", "ТО_8,2230,2F,10,,1-"};
    EXPECT_EQ(peer.Directives, expected);
    ExpectEndedCleanly();
}

TEST_F(StatRuns, StoredConfigurationSendsOnlyTheAddressStepAndTheLiveRead) {
    StoreTables(VkKind());
    StoreTables(IkKind());
    for (const char* button : {"ButtonStatVK", "ButtonStatIK"}) {
        script.Then([] { return Question() != nullptr; },
                    [] { Question()->button(QMessageBox::No)->click(); });
        script.Then([this] { return LiveOverview() != nullptr; },
                    [this] {
                        TrunkOverview* o = LiveOverview();
                        // The stored direction 1 shows its load.
                        EXPECT_TRUE(o->Panels()[1]->Raised());
                        EXPECT_FALSE(o->Panels()[2]->Raised());
                        // Incoming directions are captioned in two digits,
                        // outgoing ones as the exchange numbers them.
                        EXPECT_EQ(o->Panels()[10]->text(), qobject_cast<TFormStatIK*>(o)
                                                               ? QStringLiteral("A")
                                                               : QStringLiteral("0A"));
                        o->close();
                    });
        Run(button);
        ExpectEndedCleanly();
    }
    const QStringList expected{"ТО_8,5B0A,3,10,,1-", "ТО_8,2100,2F,10,,1-", "ТО_8,2230,2F,10,,1-"};
    EXPECT_EQ(peer.Directives, expected);
    EXPECT_EQ(peer.SpacesAfter(0), 0) << "no continuation for the address step";
}

TEST_F(StatRuns, EscapeDuringTheThirdStepEndsTheRunAtOnce) {
    peer.OnDirective = [&](const QString&) {
        if (peer.Directives.size() == 3) EscTracker::SetEscDown(true);
    };
    main.setWindowState(Qt::WindowMaximized);
    Run("ButtonStatVK");
    EscTracker::SetEscDown(false);
    EXPECT_EQ(peer.Directives.size(), 3);
    WaitUntil([&] { return !peer.Sim().Repeating(); }, 2000);
    EXPECT_EQ(peer.SpacesAfter(2), 3); // the continuation, once
    ExpectEndedCleanly();
    EXPECT_TRUE(main.isMaximized());
}

TEST_F(StatRuns, ClosedPortEndsTheRun) {
    ats->SwitchPort(false);
    Run("ButtonStatVK");
    EXPECT_EQ(status, QStringList{QStringLiteral("Порт закрыт. Продолжение невозможно")});
    ExpectEndedCleanly();

    // The stored path ends without a word.
    StoreTables(IkKind());
    script.Then([] { return Question() != nullptr; },
                [] { Question()->button(QMessageBox::No)->click(); });
    Run("ButtonStatIK");
    EXPECT_EQ(status.size(), 1);
    ExpectEndedCleanly();
    EXPECT_TRUE(peer.Directives.isEmpty());
}

TEST_F(StatRuns, NoAnswerAsksAndAbortEndsTheRun) {
    peer.Deaf = true;
    tracker.SetWatchdogInterval(200);
    answers = {RequestTracker::NoAnswer::Retry, RequestTracker::NoAnswer::Abort};
    Run("ButtonStatIK");
    EXPECT_EQ(asked, 2);
    ExpectEndedCleanly();
}

TEST_F(StatRuns, BrokenFramesAndGarbageNeitherCrashNorStopTheRun) {
    // Garbled codes, a frame header without its frame and noise between
    // frames on every step.
    peer.OnFrame = [&](int, int frames) {
        if (frames == 1) peer.Command(QStringLiteral("raw 14 14 14 9 14 14 3 1 14"));
        if (frames == 2) peer.Command(QStringLiteral("corrupt 5"));
    };
    script.Then(
        [] { return TopWindow<TrunkOverview>() && TopWindow<TrunkOverview>()->isVisible(); },
        [] { TopWindow<TrunkOverview>()->close(); });
    Run("ButtonStatVK");
    ExpectEndedCleanly();
}
