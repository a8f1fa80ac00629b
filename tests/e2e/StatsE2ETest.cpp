// The incoming trunk statistics in the whole terminal against the simulator
// program: from the "Статистика" tab through the refresh to the live
// overview, a direction opened and closed, and back to plain printouts.
#include "TestSupport.h"

#include "console/Form2.h"
#include "link/Ats.h"
#include "link/RequestTracker.h"
#include "platform/Codec.h"
#include "platform/Registry.h"
#include "platform/Wait.h"
#include "stats/ui/KitPanel.h"
#include "stats/ui/UnitVK.h"
#include "stats/ui/UnitVKNapr.h"
#include "tables/Table.h"

#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

TEST(StatsE2E, IncomingTrunksFromTheButtonToPlainPrintoutsAgain) {
    TestEnv env;
    QProcess sim;
    sim.start(QStringLiteral(VARNEL_BIN_DIR "/varnel-sim"),
              {QStringLiteral("--calls"), QStringLiteral("0"), QStringLiteral("--seed"),
               QStringLiteral("3")});
    ASSERT_TRUE(sim.waitForStarted(5000) && WaitUntil([&] { return sim.canReadLine(); }, 5000));
    const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
    {
        Registry reg;
        reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\Ports"), true);
        reg.WriteString(QStringLiteral("1"), device);
        reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\ATS 1"), true);
        reg.WriteBool(QStringLiteral("In"), true);
        reg.WriteInteger(QStringLiteral("PortDelayMS"), 2);
        reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\Current ATS"), true);
        reg.WriteBool(QStringLiteral("PasswEn"), false);
    }
    TForm2 form(env.Dir());
    form.show();
    ASSERT_TRUE(WaitUntil([&] { return form.Ats(1) && form.Ats(1)->PortIsOpen(); }, 5000));
    form.Tracker()->TimerWeStillGetIt->setInterval(500);

    QWidget* page = form.Page(QStringLiteral("Статистика"));
    ASSERT_NE(page, nullptr);
    const QStringList captions{"Статистика ПБ", "Статистика ИК",  "Статистика ВК",
                               "Статистика АК", "Статистика ИШК", "Статистика ВШК"};
    QStringList shown;
    for (QPushButton* b : page->findChildren<QPushButton*>())
        shown << b->text();
    EXPECT_EQ(shown, captions);
    QPushButton* vk = page->findChild<QPushButton*>(QStringLiteral("ButtonStatVK"));
    ASSERT_NE(vk, nullptr);
    EXPECT_EQ(vk->toolTip(), QStringLiteral("Снятие статистики Входящих Комплектов"));

    // The operator: waits for the overview, opens direction 2, closes it,
    // closes the overview.
    int step = 0;
    bool detailSeen = false;
    QTimer operatorTimer;
    QObject::connect(&operatorTimer, &QTimer::timeout, [&] {
        TFormStatVK* o = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* f = qobject_cast<TFormStatVK*>(w)) o = f;
        if (!o) return;
        if (step == 0 && o->isVisible()) {
            ++step;
            EXPECT_TRUE(form.isMinimized());
            EXPECT_TRUE(o->Panels()[2]->Raised()); // directions 0..23 have kits
            EXPECT_FALSE(o->Panels()[30]->Raised());
            QTimer::singleShot(0, o, [o] { QTest::mouseClick(o->Panels()[2], Qt::LeftButton); });
        } else if (step == 1 && o->FormVKNapr()->isVisible()) {
            ++step;
            TFormVKNapr* d = o->FormVKNapr();
            detailSeen = d->LabelCountVK->text().toInt() > 0;
            d->close();
        } else if (step == 2 && o->isVisible()) {
            ++step;
            o->close();
        }
    });
    operatorTimer.start(20);
    QTimer guard; // a run that does not come this far is cut short
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { EscTracker::SetEscDown(true); });
    guard.start(60000);
    vk->click();
    guard.stop();
    EscTracker::SetEscDown(false);
    EXPECT_EQ(step, 3);
    EXPECT_TRUE(detailSeen);
    EXPECT_FALSE(form.isMinimized());
    EXPECT_FALSE(form.Ats(1)->Receiver().FramesExpected());

    auto kits = tables::Table::ForFile(env.Path(QStringLiteral("Tables/TableVK1.db")));
    ASSERT_TRUE(kits->Open(true));
    EXPECT_EQ(kits->RecordCount(), 192);

    // The line is plain again: a directive's printout reaches the roll.
    form.Ats(1)->SendDirective(QStringLiteral("МВ_-"));
    const QString roll = form.Ats(1)->RollLog().FileName();
    EXPECT_TRUE(WaitUntil(
        [&] { return Codec::FromCp1251(FileBytes(roll)).contains(QStringLiteral("МАШИННОЕ")); },
        8000));
    sim.write("quit\n");
    if (!sim.waitForFinished(3000)) sim.kill();
}
