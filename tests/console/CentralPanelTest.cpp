// The central store's panel in the main window: the queue while the server
// answers, "нет связи" with the time from when it does not, and the status
// lines of the loss and the recovery; no panel when the feature is off.
#include "ConsoleTestSupport.h"
#include "PgServer.h"

#include "central/CentralSchema.h"
#include "platform/Registry.h"

#include <QLabel>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

TEST(CentralPanel, ShowsTheQueueTheLossAndTheRecovery) {
    VARNEL_REQUIRE_POSTGRES();
    TestEnv env;
    {
        auto form = StartForm(env.Dir());
        EXPECT_EQ(form->findChild<QLabel*>(QStringLiteral("StatusPanelCentral")), nullptr);
    }
    PgServer pg;
    ASSERT_TRUE(pg.Start()) << pg.Error().toStdString();
    QStringList report;
    QString error;
    ASSERT_TRUE(CentralSchema::Init(pg.ConnInfo(), &report, &error)) << error.toStdString();
    {
        Registry reg(env.RegistryPath());
        ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\Central"), true));
        reg.WriteBool(QStringLiteral("Enabled"), true);
        reg.WriteString(QStringLiteral("ConnInfo"), pg.ConnInfo());
    }
    auto form = StartForm(env.Dir());
    auto* panel = form->findChild<QLabel*>(QStringLiteral("StatusPanelCentral"));
    ASSERT_NE(panel, nullptr);
    auto* memo = Find<QPlainTextEdit>(form.get(), "MemoStatus");
    const QString queued = QStringLiteral("Центр: в очереди 0");
    EXPECT_TRUE(WaitUntil([&] { return panel->text() == queued; }, 10000))
        << panel->text().toStdString();

    ASSERT_TRUE(pg.Kill());
    EXPECT_TRUE(WaitUntil(
        [&] { return panel->text().startsWith(QStringLiteral("Центр: нет связи с ")); }, 10000))
        << panel->text().toStdString();
    EXPECT_TRUE(memo->toPlainText().contains(QStringLiteral("Центр: нет связи (")));
    ASSERT_TRUE(pg.Start()) << pg.Error().toStdString();
    EXPECT_TRUE(WaitUntil([&] { return panel->text() == queued; }, 40000))
        << panel->text().toStdString();
    EXPECT_TRUE(memo->toPlainText().contains(QStringLiteral("Центр: связь восстановлена")));
}
