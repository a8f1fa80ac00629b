// The directive buttons bound in the main window: built at their places, the
// two kinds of click, the groups and dialogs of the composed buttons, the clock.
#include "ConsoleTestSupport.h"

#include "console/DirectiveButtons.h"
#include "console/DirectiveEntry.h"
#include "console/FormAKNum.h"
#include "console/OkCancl1.h"
#include "directives/DirectiveCatalogue.h"
#include "directives/ui/MaskEdit.h"
#include "platform/Clock.h"
#include "platform/EscTracker.h"
#include "platform/Registry.h"

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include <functional>
#include <gtest/gtest.h>

namespace {
struct ButtonsFixture : ::testing::Test {
    TestEnv env;
    std::unique_ptr<TForm2> form;
    DirectiveButtons* buttons = nullptr;
    MaskEdit* edit = nullptr;
    QStringList executed;

    void SetUp() override {
        Registry reg(env.RegistryPath());
        ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\ATS 1"), true));
        reg.WriteInteger(QStringLiteral("PortDelayMS"), 1);
        reg.CloseKey();
        form = StartForm(env.Dir());
        buttons = form->findChild<DirectiveButtons*>();
        ASSERT_NE(buttons, nullptr);
        edit = Find<MaskEdit>(form.get(), "MaskEdit");
        QObject::connect(&form->Entry(), &DirectiveEntry::executing,
                         [this](const QString& d) { executed << d; });
    }
    void TearDown() override { Clock::SetTestTime(QDateTime()); }

    // The button of this caption on the tab at path, its tabs brought to the
    // front as an operator would.
    QPushButton* Button(const char* path, const char* caption) {
        QWidget* page = buttons->PageAt(QString::fromUtf8(path).split(QLatin1Char('/')));
        if (!page) return nullptr;
        for (QWidget* w = page; w->parentWidget(); w = w->parentWidget())
            if (auto* tabs = qobject_cast<QTabWidget*>(w->parentWidget()->parentWidget()))
                if (tabs->indexOf(w) >= 0) tabs->setCurrentWidget(w);
        for (auto* b : page->findChildren<QPushButton*>())
            if (b->text() == QString::fromUtf8(caption)) return b;
        return nullptr;
    }
    template <class W> W* Named(const char* name) { return Find<W>(form.get(), name); }
};

// Runs fn on the next modal dialog of type D once it is open.
template <class D> void WhenModal(QObject* owner, std::function<void(D*)> fn) {
    auto* timer = new QTimer(owner);
    timer->start(10);
    QObject::connect(timer, &QTimer::timeout, [timer, fn] {
        if (auto* d = qobject_cast<D*>(QApplication::activeModalWidget())) {
            timer->deleteLater();
            timer->stop();
            fn(d);
        }
    });
}
} // namespace

TEST_F(ButtonsFixture, EveryCatalogueButtonIsAtItsPlace) {
    EXPECT_TRUE(buttons->Missing().isEmpty());
    for (const DirectiveButton& d : DirectiveCatalogue::Buttons()) {
        QWidget* page = buttons->PageAt(d.path);
        ASSERT_NE(page, nullptr) << d.path.join('/').toStdString();
        int found = 0;
        for (auto* b : page->findChildren<QPushButton*>())
            found += b->text() == d.caption && b->toolTip() == d.hint;
        EXPECT_EQ(found, 1) << d.path.join('/').toStdString() << " › " << d.caption.toStdString();
    }
    // Same captions under different tabs are different pages.
    EXPECT_NE(buttons->PageAt({QStringLiteral("Обслуживание АТС"), QStringLiteral("Режим")}),
              buttons->PageAt({QStringLiteral("Директивы ОО"), QStringLiteral("Режим")}));
    EXPECT_NE(Named<QPushButton>("Button14"), nullptr);
}

TEST_F(ButtonsFixture, FixedSendsAtOnceTemplatePreparesTheLine) {
    // A half-typed directive is dropped: the fixed directive goes out alone.
    QTest::keyClicks(edit, QStringLiteral("nj1"));
    QTest::mouseClick(Button("Обслуживание АТС/Заявка", "Снятие цикла"), Qt::LeftButton);
    EXPECT_EQ(executed, QStringList{QString::fromUtf8("ТО_10-")});

    // A template sends nothing: it puts its mask into the line, the caret on
    // its first field.
    QTest::mouseClick(
        Button("Директивы ТО/Линейные компл./КСЛ/Направления", "Перевод ИК в направление"),
        Qt::LeftButton);
    EXPECT_EQ(executed.size(), 1);
    EXPECT_EQ(edit->EditMask(), QString::fromUtf8(">ТО_\\2\\3,ccc,cc\\-;1;_"));
    EXPECT_EQ(edit->CaretPos(), 6);

    // The composed templates read their groups at the click.
    Named<QRadioButton>("RadioGroupBlock3")->click();
    QTest::mouseClick(Named<QPushButton>("ButtonPrintCell"), Qt::LeftButton);
    EXPECT_EQ(edit->EditMask(), QString::fromUtf8(">РЯ_\\3ccccc\\-;1;_"));
    Named<QRadioButton>("RadioGroupSwitchTO5")->click();
    QTest::mouseClick(Named<QPushButton>("ButtonDiagTO"), Qt::LeftButton);
    EXPECT_EQ(edit->EditMask(), QString::fromUtf8(">ТО_\\1\\1,\\5,c,cc,c-;1;_"));
}

// An engineer types the separator between a template's fields: a short field
// ends at it; full fields send as they did.
TEST_F(ButtonsFixture, TemplateFieldEndsAtATypedSeparator) {
    const struct {
        const char* typed;
        const char* sent;
    } cases[] = {{"4000,7FFF", "КС_4000,7FFF-"},
                 {"400000,7FFFFF", "КС_400000,7FFFFF-"},
                 {"4000007FFFFF", "КС_400000,7FFFFF-"}};
    for (const auto& c : cases) {
        QTest::mouseClick(Button("ПРЦиЗУ/Процессор", "Расчет контрольных сумм от Анач до Акон"),
                          Qt::LeftButton);
        TypeText(edit, QString::fromUtf8(c.typed));
        QTest::keyClick(edit, Qt::Key_Return);
        ASSERT_FALSE(executed.isEmpty());
        EXPECT_EQ(executed.last(), QString::fromUtf8(c.sent)) << c.typed;
    }
}

TEST_F(ButtonsFixture, IndexedWriteRunsUntilItsEndOrEsc) {
    QPushButton* write = Named<QPushButton>("ButtonWriteIndexed");
    auto fill = [](QStringList fields) {
        return [fields](OkCancl1* d) {
            for (int i = 0; i < 5; ++i)
                d->Field(i)->SetText(fields[i]);
            QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("OKBtn")), Qt::LeftButton);
        };
    };
    WhenModal<OkCancl1>(form.get(), [](OkCancl1* d) { d->reject(); });
    QTest::mouseClick(write, Qt::LeftButton);
    EXPECT_TRUE(executed.isEmpty()) << "Cancel sends nothing";

    Named<QRadioButton>("RadioGroupBlock2")->click();
    WhenModal<OkCancl1>(form.get(), fill({"00100", "00102", "00001", "00010", "0000F"}));
    QTest::mouseClick(write, Qt::LeftButton);
    EXPECT_TRUE(WaitUntil([&] { return !buttons->Writing(); }, 5000));
    EXPECT_EQ(executed, QStringList({QString::fromUtf8("ЗЯ_200100,0000F-"),
                                     QString::fromUtf8("ЗЯ_200101,0001F-"),
                                     QString::fromUtf8("ЗЯ_200102,0002F-")}));

    // Step 0 repeats one address until Esc is held down.
    executed.clear();
    auto esc = QObject::connect(&form->Entry(), &DirectiveEntry::executing, [this] {
        if (executed.size() == 4) EscTracker::SetEscDown(true);
    });
    WhenModal<OkCancl1>(form.get(), fill({"00100", "00200", "  Z  ", "00001", ""}));
    QTest::mouseClick(write, Qt::LeftButton);
    EXPECT_TRUE(WaitUntil([&] { return !buttons->Writing(); }, 5000));
    EscTracker::SetEscDown(false);
    QObject::disconnect(esc);
    EXPECT_EQ(executed.size(), 4);
    EXPECT_EQ(executed.first().left(10), executed.last().left(10));
    EXPECT_FALSE(buttons->Writing());
}

TEST_F(ButtonsFixture, UnblockAsksForTheLineNumber) {
    ModalAnswerer boxes;
    QPushButton* unblock =
        Button("Директивы ТО/Линейные компл./АК/Заявка", "Частичная разблокировка АК");
    WhenModal<TFormAKNum>(form.get(), [](TFormAKNum* d) {
        d->MaskEdit1()->TypeChar(QLatin1Char('1'));
        d->MaskEdit1()->TypeChar(QLatin1Char('a'));
        QTest::keyClick(d->MaskEdit1(), Qt::Key_Return);
    });
    QTest::mouseClick(unblock, Qt::LeftButton);
    EXPECT_EQ(executed, QStringList{QString::fromUtf8("ЗЯ_0521A,00000-")});

    // Not a hexadecimal number: the operator is told, nothing is sent.
    WhenModal<TFormAKNum>(form.get(), [](TFormAKNum* d) {
        d->MaskEdit1()->SetText(QStringLiteral("XY"));
        d->accept();
    });
    QTest::mouseClick(unblock, Qt::LeftButton);
    EXPECT_EQ(executed.size(), 1);
    ASSERT_EQ(boxes.Texts.size(), 1);
    EXPECT_TRUE(boxes.Texts[0].contains(QStringLiteral("XY")));
}

TEST_F(ButtonsFixture, ClockSettingReadsTheClockOnce) {
    Clock::SetTestTime(QDateTime(QDate(2027, 2, 3), QTime(9, 7, 40)));
    auto* set = Named<QPushButton>("ButtonClockSet");
    QTest::mouseClick(set, Qt::LeftButton);
    EXPECT_EQ(executed, QStringList{QString::fromUtf8("КВ_09,07,03,02,27-")});
    EXPECT_EQ(edit->CaretPos(), 3);
    Named<QCheckBox>("CheckBoxFourDigitYear")->click();
    QTest::mouseClick(set, Qt::LeftButton);
    EXPECT_EQ(executed.last(), QString::fromUtf8("КВ_09,07,03,02,2027-"));
}
