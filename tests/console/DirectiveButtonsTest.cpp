// The directive buttons in the main window: built from the catalogue at their
// places, the two kinds of click, the composed buttons with their groups and
// dialogs, the clock.
#include "ConsoleTestSupport.h"
#include "TestSupport.h"

#include "console/DirectiveButtons.h"
#include "console/DirectiveCatalogue.h"
#include "console/DirectiveEntry.h"
#include "console/Form2.h"
#include "console/MaskEdit.h"
#include "console/OkCancl1.h"
#include "console/UnitAKNum.h"
#include "platform/Clock.h"
#include "platform/Registry.h"
#include "platform/Wait.h"

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include <functional>
#include <gtest/gtest.h>

namespace {
// A started main window, the directives it executes, and ways to reach its
// buttons.
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
        form = std::make_unique<TForm2>(env.Dir());
        bool shown = false;
        QObject::connect(form.get(), &TForm2::shown, [&shown] { shown = true; });
        form->show();
        WaitWhile([&] { return !shown; }, false);
        buttons = form->findChild<DirectiveButtons*>();
        ASSERT_NE(buttons, nullptr);
        edit = Find<MaskEdit>(form.get(), "MaskEdit");
        QObject::connect(&form->Entry(), &DirectiveEntry::executing,
                         [this](const QString& d) { executed << d; });
    }
    void TearDown() override { Clock::SetTestTime(QDateTime()); }

    // The button with this caption on the tab at path (shown, as an operator
    // would find it).
    QPushButton* Button(const QStringList& path, const QString& caption) {
        QWidget* page = buttons->PageAt(path);
        if (!page) return nullptr;
        // Each tab on the way is brought to the front (a page's parent is the
        // tab control's stack).
        for (QWidget* w = page; w->parentWidget(); w = w->parentWidget())
            if (auto* tabs = qobject_cast<QTabWidget*>(w->parentWidget()->parentWidget()))
                if (tabs->indexOf(w) >= 0) tabs->setCurrentWidget(w);
        for (auto* b : page->findChildren<QPushButton*>())
            if (b->text() == caption) return b;
        return nullptr;
    }
    QPushButton* Button(const char* path, const char* caption) {
        return Button(QString::fromUtf8(path).split(QLatin1Char('/')), QString::fromUtf8(caption));
    }
};

// Runs fn on the next modal dialog of type D once it is open.
template <class D> void WhenModal(QObject* owner, std::function<void(D*)> fn) {
    auto* timer = new QTimer(owner);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, fn] {
        if (auto* d = qobject_cast<D*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            fn(d);
        }
    });
    timer->start();
}

void Fill(MaskEdit* f, const QString& text) {
    f->SetCaretPos(0);
    for (const QChar c : text)
        f->TypeChar(c);
}
} // namespace

TEST_F(ButtonsFixture, EveryCatalogueButtonIsAtItsPlace) {
    EXPECT_TRUE(buttons->Missing().isEmpty()) << buttons->Missing().join(',').toStdString();
    for (const DirectiveButton& d : DirectiveCatalogue::Buttons()) {
        QWidget* page = buttons->PageAt(d.path);
        ASSERT_NE(page, nullptr) << d.path.join('/').toStdString();
        int found = 0;
        for (auto* b : page->findChildren<QPushButton*>())
            found += b->text() == d.caption && b->toolTip() == d.hint;
        EXPECT_EQ(found, 1) << d.path.join('/').toStdString() << " › " << d.caption.toStdString();
    }
    // Same captions on different tabs stay apart: "Режим" of the service tab
    // and of "Директивы ОО" are two pages.
    EXPECT_NE(buttons->PageAt({QStringLiteral("Обслуживание АТС"), QStringLiteral("Режим")}),
              buttons->PageAt({QStringLiteral("Директивы ОО"), QStringLiteral("Режим")}));
    EXPECT_NE(Find<QPushButton>(form.get(), "Button14"), nullptr);
    // The hint of a directive button shows in the status bar's first panel.
    QPushButton* b =
        Button("Директивы ТО/Вспом. директивы", "Поиск сцепок ШК (в реж. пусконаладки)");
    ASSERT_NE(b, nullptr);
    QTest::mouseMove(form->windowHandle(), QPoint(1, 1));
    QTest::mouseMove(form->windowHandle(), b->mapTo(form.get(), b->rect().center()));
    WaitFor(20, false);
    EXPECT_EQ(form->PanelText(0), QString::fromUtf8("ОО_2,F-"));
}

TEST_F(ButtonsFixture, FixedSendsAtOnceTemplatePreparesTheLine) {
    // A half-typed directive is dropped: the fixed directive goes out alone.
    QTest::keyClicks(edit, QStringLiteral("nj1"));
    QTest::mouseClick(Button("Обслуживание АТС/Заявка", "Снятие цикла"), Qt::LeftButton);
    EXPECT_EQ(executed, QStringList{QString::fromUtf8("ТО_10-")});
    EXPECT_EQ(form->Entry().Stack().Items().first(), QString::fromUtf8("ТО_10-"));

    // A template sends nothing; what is typed closes up when sent.
    QTest::mouseClick(
        Button("Директивы ТО/Линейные компл./КСЛ/Направления", "Перевод ИК в направление"),
        Qt::LeftButton);
    EXPECT_EQ(executed.size(), 1);
    EXPECT_EQ(edit->EditMask(), QString::fromUtf8(">ТО_\\2\\3,ccc,cc\\-;1;_"));
    EXPECT_EQ(edit->CaretPos(), 6);
    EXPECT_EQ(form->focusWidget(), edit);
    QTest::keyClicks(edit, QStringLiteral("12"));
    edit->SetCaretPos(10);
    QTest::keyClicks(edit, QStringLiteral("5"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(executed.last(), QString::fromUtf8("ТО_23,12,5-"));
}

TEST_F(ButtonsFixture, MemoryAndSwitchButtonsReadTheirGroups) {
    QPushButton* cell = Find<QPushButton>(form.get(), "ButtonPrintCell");
    QTest::mouseClick(cell, Qt::LeftButton);
    EXPECT_EQ(edit->EditMask(), QString::fromUtf8(">РЯ_ccccc\\-;1;_"));
    EXPECT_EQ(edit->CaretPos(), 3);
    Find<QRadioButton>(form.get(), "RadioGroupBlock3")->click();
    QTest::mouseClick(cell, Qt::LeftButton);
    EXPECT_EQ(edit->CaretPos(), 4);
    QTest::keyClicks(edit, QStringLiteral("40175"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(executed, QStringList{QString::fromUtf8("РЯ_340175-")});

    Find<QRadioButton>(form.get(), "RadioGroupSwitchOO2")->click();
    QTest::mouseClick(Find<QPushButton>(form.get(), "ButtonDiagOO"), Qt::LeftButton);
    EXPECT_EQ(edit->EditMask(), QString::fromUtf8(">ТО_\\1\\1,\\2,,cc,c-;1;_"));
    EXPECT_EQ(edit->CaretPos(), 9);
    Find<QRadioButton>(form.get(), "RadioGroupSwitchTO5")->click();
    QTest::mouseClick(Find<QPushButton>(form.get(), "ButtonDiagTO"), Qt::LeftButton);
    EXPECT_EQ(edit->EditMask(), QString::fromUtf8(">ТО_\\1\\1,\\5,c,cc,c-;1;_"));
    EXPECT_EQ(edit->CaretPos(), 8);
    EXPECT_EQ(executed.size(), 1);
}

TEST_F(ButtonsFixture, IndexedWriteRunsUntilItsEndOrEsc) {
    QPushButton* write = Find<QPushButton>(form.get(), "ButtonWriteIndexed");
    auto fill = [](const QStringList& fields) {
        return [fields](TOkCancl1* d) {
            for (int i = 0; i < 5; ++i)
                Fill(d->Field(i), fields[i]);
            QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("OKBtn")), Qt::LeftButton);
        };
    };
    // Cancel: nothing is sent.
    WhenModal<TOkCancl1>(form.get(), [](TOkCancl1* d) { d->reject(); });
    QTest::mouseClick(write, Qt::LeftButton);
    EXPECT_TRUE(executed.isEmpty());

    Find<QRadioButton>(form.get(), "RadioGroupBlock2")->click();
    WhenModal<TOkCancl1>(form.get(), std::function<void(TOkCancl1*)>(
                                         fill({"00100", "00102", "00001", "00010", "0000F"})));
    QTest::mouseClick(write, Qt::LeftButton);
    EXPECT_EQ(executed, QStringList({QString::fromUtf8("ЗЯ_200100,0000F-"),
                                     QString::fromUtf8("ЗЯ_200101,0001F-"),
                                     QString::fromUtf8("ЗЯ_200102,0002F-")}));

    // Step 0 repeats one address until Esc is held down.
    executed.clear();
    auto esc = QObject::connect(&form->Entry(), &DirectiveEntry::executing, [this] {
        if (executed.size() == 4) EscTracker::SetEscDown(true);
    });
    WhenModal<TOkCancl1>(form.get(), std::function<void(TOkCancl1*)>(
                                         fill({"00100", "00200", "  Z  ", "00001", "00000"})));
    QTest::mouseClick(write, Qt::LeftButton);
    EscTracker::SetEscDown(false);
    QObject::disconnect(esc);
    ASSERT_GE(executed.size(), 4);
    EXPECT_LE(executed.size(), 5);
    EXPECT_EQ(executed.first().left(10), executed.last().left(10));
    EXPECT_FALSE(buttons->Writing());
}

TEST_F(ButtonsFixture, UnblockAsksForTheLineNumber) {
    ModalAnswerer boxes;
    QPushButton* unblock =
        Button("Директивы ТО/Линейные компл./АК/Заявка", "Частичная разблокировка АК");
    ASSERT_NE(unblock, nullptr);
    WhenModal<TFormAKNum>(form.get(), [](TFormAKNum* d) {
        Fill(d->MaskEdit1(), QStringLiteral("1a"));
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
    WhenModal<TFormAKNum>(form.get(), [](TFormAKNum* d) { d->reject(); });
    QTest::mouseClick(unblock, Qt::LeftButton);
    EXPECT_EQ(executed.size(), 1);
}

TEST_F(ButtonsFixture, ClockSettingReadsTheClockOnce) {
    Clock::SetTestTime(QDateTime(QDate(2027, 2, 3), QTime(9, 7, 40)));
    auto* set = Find<QPushButton>(form.get(), "ButtonClockSet");
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->parentWidget(), Find<QWidget>(form.get(), "GroupBoxTime"));
    QTest::mouseClick(set, Qt::LeftButton);
    EXPECT_EQ(executed, QStringList{QString::fromUtf8("КВ_09,07,03,02,27-")});
    EXPECT_EQ(edit->CaretPos(), 3);
    Find<QCheckBox>(form.get(), "CheckBoxFourDigitYear")->click();
    QTest::mouseClick(set, Qt::LeftButton);
    EXPECT_EQ(executed.last(), QString::fromUtf8("КВ_09,07,03,02,2027-"));
    QTest::mouseClick(Button("Обслуживание АТС/Время", "Контроль"), Qt::LeftButton);
    EXPECT_EQ(executed.last(), QString::fromUtf8("МВ_-"));
}
