// The state tabs in the main window: where they sit, the result and request
// buttons, the repair forms with their hover hint, and the state summary
// against the simulator. With VARNEL_STATE_SHOT set, the filled "Состояние
// АТС" tab is saved there as a picture (run under a real X server for the
// documentation).
#include "StateTestSupport.h"

#include "console/DirectiveEntry.h"
#include "console/Form2.h"
#include "link/Ats.h"
#include "platform/Registry.h"
#include "state/ui/StatePages.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

namespace {
struct StatePagesFixture : ::testing::Test {
    TestEnv env;
    std::unique_ptr<TForm2> form;
    QStringList executed;

    void SetUp() override {
        Registry reg(env.RegistryPath());
        reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\ATS 1"), true);
        reg.WriteInteger(QStringLiteral("PortDelayMS"), 1);
        reg.CloseKey();
        PasswordOff();
        form = std::make_unique<TForm2>(env.Dir());
        bool shown = false;
        QObject::connect(form.get(), &TForm2::shown, [&shown] { shown = true; });
        form->show();
        WaitWhile([&] { return !shown; }, false);
        QObject::connect(&form->Entry(), &DirectiveEntry::executing,
                         [this](const QString& d) { executed << d; });
        form->findChild<StatePages*>()->PuuWaitTimer().setInterval(30);
    }
    template <class W> W* Named(const char* name) { return Find<W>(form.get(), name); }
    void Type(const char* field, const char* text) {
        auto* e = Named<QLineEdit>(field);
        ASSERT_NE(e, nullptr) << field;
        e->setFocus();
        e->selectAll();
        TypeText(e, QString::fromUtf8(text));
    }
    void Click(const char* button) { Named<QPushButton>(button)->click(); }
    QStringList Lines(const char* memo) {
        auto* m = Named<QPlainTextEdit>(memo);
        return m ? m->toPlainText().split(QLatin1Char('\n')) : QStringList();
    }
    // The tab pages that hold w brought to the front, as an operator would.
    static void Reveal(QWidget* w) {
        for (; w && w->parentWidget(); w = w->parentWidget())
            if (auto* tabs = qobject_cast<QTabWidget*>(w->parentWidget()->parentWidget()))
                if (tabs->indexOf(w) >= 0) tabs->setCurrentWidget(w);
    }
};

QStringList TabTexts(const QTabWidget* t) {
    QStringList out;
    for (int i = 0; t && i < t->count(); ++i)
        out << t->tabText(i);
    return out;
}
} // namespace

TEST_F(StatePagesFixture, TabsAtTheirPlacesWithOneRequestButtonForBg) {
    QWidget* bg = Named<QWidget>("Button14");
    ASSERT_NE(bg, nullptr);
    EXPECT_EQ(form->findChildren<QPushButton*>(QStringLiteral("Button14")).size(), 1);
    auto* puu = qobject_cast<QTabWidget*>(
        Named<QWidget>("MemoBG")->parentWidget()->parentWidget()->parentWidget()->parentWidget());
    ASSERT_NE(puu, nullptr);
    EXPECT_EQ(TabTexts(puu), Utf8List({"Состояние БГ", "Состояние ВВК", "Состояние УВП с ПАК",
                                       "Состояние УВП с ПАКР"}));
    Reveal(bg);
    EXPECT_TRUE(bg->isVisible());

    // The repair forms sit with the other maintenance directives.
    auto* to = qobject_cast<QTabWidget*>(
        PageOf(form.get(), QStringLiteral("Ремонт ШК"))->parentWidget()->parentWidget());
    ASSERT_NE(to, nullptr);
    EXPECT_EQ(TabTexts(to).mid(TabTexts(to).size() - 3),
              Utf8List({"Ремонт ШК", "Ремонт ИК", "Ремонт ВК"}));
    EXPECT_EQ(PageOf(form.get(), QStringLiteral("Директивы ТО")), to->parentWidget());
}

// The words are hexadecimal fields: other characters are refused, a short
// word is the number typed ("1" is 0001, not 1000).
TEST_F(StatePagesFixture, ResultButtonsFillTheirLists) {
    Type("MaskEditStativBG", "3");
    Type("MaskEditBG0stv", "1");
    Click("Button11");
    EXPECT_EQ(Lines("MemoBG"),
              Utf8List({"Номер статива - 3", "0 ствол", "БВ01 \"60\" - неисправно", "1 ствол"}));

    // The "00" of the ВВК words stays; small letters become capitals.
    Type("MaskEditVVK0stv", "4xa");
    QTest::keyClick(Named<QLineEdit>("MaskEditVVK0stv"), Qt::Key_Home);
    QTest::keyClick(Named<QLineEdit>("MaskEditVVK0stv"), Qt::Key_Delete);
    EXPECT_EQ(Named<QLineEdit>("MaskEditVVK0stv")->text(), QStringLiteral("004A"));
    Type("MaskEditVVK1", "4a");
    Click("Button12");
    EXPECT_EQ(Lines("MemoVVK"), Utf8List({"Номер статива - ", "0 ствол", "1 ствол"}));

    Type("MaskEditSboyRsp", "8300");
    Type("MaskEditSboyEvm", "1");
    Click("ButtonSboy");
    EXPECT_EQ(Lines("MemoSboy"),
              Utf8List({"Синхронный режим", "Неисправна ЭУМ 1", "Не прошел тест самоконтроля",
                        "Остановленная ЭУМ не вышла на обработку аварии"}));
}

TEST_F(StatePagesFixture, RequestButtonsSendTheirSequences) {
    Click("Button16");
    Click("Button16"); // ignored while the run goes on
    EXPECT_TRUE(WaitUntil([&] { return executed.size() >= 3; }, 5000));
    EXPECT_EQ(executed, Utf8List({"РЯ_271E7-", "РЯ_271E8-", "ТО_5,-"}));
    executed.clear();
    Click("Button14");
    EXPECT_EQ(executed, Utf8List({"ТО_5,-"}));
}

TEST_F(StatePagesFixture, RepairStartSendsWhatTheHintShows) {
    struct Case {
        const char* suffix;
        const char* number;
        std::vector<const char*> ticks;
        const char* directive;
    } cases[] = {
        {"SK", "123", {"CheckBoxSKOff64", "CheckBoxSKOn1", "RadioGroupSK1"}, "ТО_20,123,4001,1-"},
        {"IK", "7", {"RadioGroupReleIK1", "RadioGroupIK0"}, "ТО_2A,007,0000,2,0-"},
        {"VK",
         "010",
         {"CheckBoxVKOn32", "RadioGroupReleVK1", "RadioGroupVK2"},
         "ТО_2C,010,0020,1,2-"},
    };
    for (const Case& c : cases) {
        const QByteArray s(c.suffix);
        Type(("MaskEdit" + s).constData(), c.number);
        for (const char* t : c.ticks)
            Named<QAbstractButton>(t)->click();
        auto* start = Named<QPushButton>(("ButtonRepair" + s).constData());
        Reveal(start);
        // Entering and moving over it: the move must not reach the page's hint.
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(start, &enter);
        QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), start->mapToGlobal(QPointF(3, 3)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(start, &move);
        EXPECT_EQ(form->PanelText(0), QString::fromUtf8(c.directive));
        start->click();
        ASSERT_FALSE(executed.isEmpty());
        EXPECT_EQ(executed.last(), QString::fromUtf8(c.directive));
    }

    // No kit number: nothing goes out, the operator is asked for one.
    executed.clear();
    Type("MaskEditVK", "xy");
    Named<QPushButton>("ButtonRepairVK")->click();
    EXPECT_TRUE(executed.isEmpty());
    auto* box = Named<QMessageBox>("MessageRepairNumber");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QString::fromUtf8("Введите номер ВК"));
    box->accept();
}

TEST(StatePagesSim, StateSummaryFillsItsListFromTheSimulator) {
    TestEnv env;
    SimProcess sim;
    const QString device = sim.Start({QStringLiteral("--seed"), QStringLiteral("7")});
    ASSERT_TRUE(device.startsWith(QStringLiteral("/dev/")));
    MapPort(1, device);
    SwitchLineOn(1);
    EXPECT_TRUE(sim.Command("faults on").startsWith(QStringLiteral("ok")));
    PasswordOff();
    TForm2 form(env.Dir());
    form.show();
    ASSERT_TRUE(WaitUntil([&] { return form.Ats(1) && form.Ats(1)->PortIsOpen(); }, 5000));
    auto* pages = form.findChild<StatePages*>();
    ASSERT_NE(pages, nullptr);
    pages->PuuWaitTimer().setInterval(qEnvironmentVariableIsSet("VARNEL_STATE_SHOT") ? 6000 : 50);

    QStringList progress;
    pages->SetProgress({[&] { progress << QStringLiteral("show"); },
                        [&](int v) { progress << QString::number(v); },
                        [&] { progress << QStringLiteral("hide"); }});
    // The bar is short of 100 while the closing directive goes out.
    QString barAtClose;
    QObject::connect(&form.Entry(), &DirectiveEntry::executing, [&](const QString& d) {
        if (d == QString::fromUtf8("УК_6,-")) barAtClose = progress.last();
    });

    auto* button = form.findChild<QPushButton*>(QStringLiteral("ButtonStateATS"));
    ASSERT_NE(button, nullptr);
    StatePagesFixture::Reveal(button);
    button->click();
    ASSERT_TRUE(WaitUntil([&] { return progress.contains(QStringLiteral("hide")); }, 30000));
    EXPECT_EQ(progress, Utf8List({"show", "0", "20", "40", "60", "80", "100", "hide"}));
    EXPECT_EQ(barAtClose, QStringLiteral("80"));
    auto* memo = form.findChild<QPlainTextEdit*>(QStringLiteral("MemoStateATS"));
    EXPECT_EQ(memo->toPlainText().split(QLatin1Char('\n')),
              Utf8List({"Работает ведущая 1-я ЭУМ", "Режим обслуживания вызовов",
                        "В работе 0-й ствол БК", "Неисправна одна из ЭУМ"}));
    EXPECT_EQ(form.Ats(1)->Session(), nullptr);
    if (const QString shot = qEnvironmentVariable("VARNEL_STATE_SHOT"); !shot.isEmpty()) {
        WaitFor(1500, false); // the closing printout reaches the roll view
        EXPECT_TRUE(form.grab().save(shot));
    }
}

// The summary says when it cannot start or is cut short: a closed port, and
// the exchange's line lost after the first cell (its line stays, the list
// says it is incomplete).
TEST(StatePagesSim, StateSummarySaysWhenItCannotFinish) {
    TestEnv env;
    SimProcess sim;
    const QString device = sim.Start({QStringLiteral("--seed"), QStringLiteral("7")});
    ASSERT_TRUE(device.startsWith(QStringLiteral("/dev/")));
    MapPort(1, device);
    PasswordOff();
    TForm2 form(env.Dir());
    form.show();
    auto* pages = form.findChild<StatePages*>();
    ASSERT_NE(pages, nullptr);
    pages->PuuWaitTimer().setInterval(50);
    QStringList sent;
    QObject::connect(&form.Entry(), &DirectiveEntry::executing,
                     [&](const QString& d) { sent << d; });
    auto* button = form.findChild<QPushButton*>(QStringLiteral("ButtonStateATS"));
    auto* memo = form.findChild<QPlainTextEdit*>(QStringLiteral("MemoStateATS"));

    // Exchange 1 is not switched on.
    button->click();
    EXPECT_EQ(memo->toPlainText(), QString::fromUtf8("Состояние АТС не снято: порт АТС закрыт"));
    EXPECT_TRUE(sent.isEmpty());
    EXPECT_FALSE(pages->Context().busy);

    form.Row(1).CheckBoxPort->click();
    ASSERT_TRUE(form.Ats(1)->PortIsOpen());
    button->click();
    ASSERT_TRUE(WaitUntil([&] { return !memo->toPlainText().isEmpty(); }, 8000));
    sim.Kill();
    ASSERT_TRUE(WaitUntil([&] { return !pages->Context().busy; }, 5000));
    EXPECT_EQ(memo->toPlainText().split(QLatin1Char('\n')),
              Utf8List({"Работает ведущая 1-я ЭУМ",
                        "Состояние АТС снято не полностью: линия АТС потеряна"}));
    EXPECT_EQ(form.Ats(1)->Session(), nullptr);
}
