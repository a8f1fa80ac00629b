// The directive buttons of the main window against the simulator: buttons
// clicked in a real window, directives on a real pseudo-terminal, answers in
// the roll; and every fixed directive of the catalogue answered by the
// simulated exchange.
#include "TestSupport.h"

#include "Exchange.h"
#include "console/DirectiveButtons.h"
#include "console/DirectiveCatalogue.h"
#include "console/Form2.h"
#include "console/MaskEdit.h"
#include "link/Ats.h"
#include "link/LineCode.h"
#include "platform/Clock.h"
#include "platform/Codec.h"
#include "platform/Registry.h"
#include "platform/Wait.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {
bool WaitUntil(const std::function<bool()>& cond, int ms) {
    QElapsedTimer t;
    t.start();
    QTimer wake;
    wake.start(20);
    WaitWhile([&] { return !cond() && t.elapsed() < ms; }, false);
    return cond();
}

// The answer lines of the simulated exchange to one directive.
QString Answer(sim::SimExchange& ex, const QString& directive) {
    std::vector<uint8_t> codes(256);
    LineCodeState st;
    codes.resize(size_t(EncodeCodes(st, directive, codes.data(), int(codes.size()))));
    ex.Receive(codes.data(), codes.size(), 0);
    const auto out = ex.TakeAll(0);
    LineCodeState rx;
    QString text = DecodeCodes(rx, out.data(), int(out.size()), [] { return QString(); });
    // Lines after the machine-time line; the roll's "_" are the line's spaces.
    return text.section(QStringLiteral("\r\n  "), 2)
        .replace(QStringLiteral("\r\n  "), QStringLiteral("|"))
        .replace(QLatin1Char('_'), QLatin1Char(' '));
}
} // namespace

TEST(ButtonsE2E, ClickedButtonsAreAnsweredInTheRoll) {
    TestEnv env;
    QProcess sim;
    sim.start(QStringLiteral(VARNEL_BIN_DIR "/varnel-sim"),
              {QStringLiteral("--calls"), QStringLiteral("0"), QStringLiteral("--seed"),
               QStringLiteral("7")});
    ASSERT_TRUE(sim.waitForStarted(5000));
    ASSERT_TRUE(WaitUntil([&] { return sim.canReadLine(); }, 5000));
    const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
    {
        Registry reg(env.RegistryPath());
        ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\Ports"), true));
        reg.WriteString(QStringLiteral("1"), device);
        ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\ATS 1"), true));
        reg.WriteBool(QStringLiteral("In"), true);
        reg.WriteInteger(QStringLiteral("PortDelayMS"), 1);
        reg.CloseKey();
    }
    {
        TForm2 form(env.Dir());
        form.show();
        ASSERT_TRUE(WaitUntil([&] { return form.Ats(1) && form.Ats(1)->PortIsOpen(); }, 5000));
        auto* buttons = form.findChild<DirectiveButtons*>();
        auto* edit = form.findChild<MaskEdit*>(QStringLiteral("MaskEdit"));
        auto roll = [&] {
            QFile f(env.Path(QStringLiteral("Rulon/Varnel1.rul")));
            return f.open(QIODevice::ReadOnly) ? Codec::FromCp1251(f.readAll()) : QString();
        };
        // Directive and answer, in this order, in the roll.
        auto answered = [&](const QString& directive, const QString& answer) {
            const bool ok = WaitUntil(
                [&] {
                    const QString r = roll();
                    const qsizetype at = r.lastIndexOf(directive);
                    return at >= 0 && r.indexOf(answer, at) > at;
                },
                5000);
            return ok ? ::testing::AssertionSuccess()
                      : ::testing::AssertionFailure() << roll().right(400).toStdString();
        };
        auto click = [&](const QStringList& path, const QString& caption) {
            QWidget* page = buttons->PageAt(path);
            for (auto* b : page ? page->findChildren<QPushButton*>() : QList<QPushButton*>())
                if (b->text() == caption) return b->click();
            ADD_FAILURE() << caption.toStdString();
        };

        click({QStringLiteral("Обслуживание АТС"), QStringLiteral("Время")},
              QStringLiteral("Контроль"));
        EXPECT_TRUE(answered(QStringLiteral("МВ_-"), QStringLiteral("МАШИННОЕ_ВРЕМЯ")));

        click({QStringLiteral("Обслуживание АТС"), QStringLiteral("Заявка")},
              QStringLiteral("Снятие диагностики"));
        QTest::keyClicks(edit, QStringLiteral("1"));
        QTest::keyClick(edit, Qt::Key_Return);
        EXPECT_TRUE(answered(QStringLiteral("ТО_19,1-"), QStringLiteral("ДИРЕКТИВА_ПРИНЯТА")));

        form.findChild<QRadioButton*>(QStringLiteral("RadioGroupBlock3"))->click();
        form.findChild<QPushButton*>(QStringLiteral("ButtonPrintCell"))->click();
        QTest::keyClicks(edit, QStringLiteral("40175"));
        QTest::keyClick(edit, Qt::Key_Return);
        EXPECT_TRUE(answered(QStringLiteral("РЯ_340175-"), QStringLiteral("340175+-46240")));

        Clock::SetTestTime(QDateTime(QDate(2027, 2, 3), QTime(9, 7)));
        form.findChild<QPushButton*>(QStringLiteral("ButtonClockSet"))->click();
        Clock::SetTestTime(QDateTime());
        EXPECT_TRUE(
            answered(QStringLiteral("КВ_09,07,03,02,27-"), QStringLiteral("ВРЕМЯ_УСТАНОВЛЕНО")));
        click({QStringLiteral("Обслуживание АТС"), QStringLiteral("Время")},
              QStringLiteral("Контроль"));
        EXPECT_TRUE(answered(QStringLiteral("МВ_-"), QStringLiteral("03.02.2027")));
    }
    sim.write("quit\n");
    if (!sim.waitForFinished(3000)) sim.kill();
}

TEST(ButtonsE2E, EveryFixedDirectiveHasItsOwnAnswer) {
    sim::SimOptions o;
    o.callsPerMinute = 0;
    o.animateMs = 0;
    sim::SimExchange ex(o);
    const QString generic = QStringLiteral("ДИРЕКТИВА ПРИНЯТА");
    const QString refused = QStringLiteral("ОШИБКА В ДИРЕКТИВЕ");
    for (const bool commissioning : {false, true}) {
        for (const DirectiveButton& b : DirectiveCatalogue::Buttons()) {
            if (b.IsTemplate()) continue;
            // Put the exchange in the mode of this round first.
            Answer(ex, commissioning ? QStringLiteral("ТО_7-") : QStringLiteral("ОО_3-"));
            const QString a = Answer(ex, b.hint);
            const bool needsCommissioning = b.hint.startsWith(QStringLiteral("ОО_")) &&
                                            b.hint != QStringLiteral("ОО_3-") &&
                                            !b.hint.startsWith(QStringLiteral("ОО_F"));
            const std::string what = b.hint.toStdString() + " -> " + a.toStdString();
            EXPECT_FALSE(a.isEmpty()) << what;
            EXPECT_NE(a, generic) << what;
            EXPECT_FALSE(a.contains(QStringLiteral("НЕИЗВЕСТНАЯ")) ||
                         a.contains(QStringLiteral("НЕВЕРНЫЕ")))
                << what;
            EXPECT_EQ(a.startsWith(refused), needsCommissioning && !commissioning) << what;
        }
    }
}
