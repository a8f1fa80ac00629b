// The main window on the offscreen platform: start-up, the directive going
// out on a pseudo-terminal, the setting handlers, the status list, the hint
// line, exchange selection and a clean shut-down.
#include "ConsoleTestSupport.h"
#include "tariff/CallRecordsTestSupport.h"

#include "console/DirectiveEntry.h"
#include "console/RollView.h"
#include "directives/ui/MaskEdit.h"
#include "link/Ats.h"
#include "link/LineCode.h"
#include "platform/Codec.h"
#include "platform/Registry.h"
#include "platform/SingleInstance.h"
#include "platform/ui/QtTranslations.h"
#include "tables/ui/MainFormTableUtil.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFontDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSplitter>
#include <QTabWidget>

#include <gtest/gtest.h>

namespace {
const QString kMain = QStringLiteral("\\Software\\ZezozuDaruduri\\Current ATS");
QString AtsKey(int n) {
    return QStringLiteral("\\Software\\ZezozuDaruduri\\ATS ") + QString::number(n);
}

// Values straight from the store, through an accessor of the test's own.
std::optional<QString> Stored(const TestEnv& env, const QString& key, const QString& name) {
    Registry reg(env.RegistryPath());
    if (!reg.OpenKey(key, false)) return std::nullopt;
    return reg.ReadString(name);
}

void Store(const TestEnv& env, const QString& key, const QString& name, const QString& value) {
    Registry reg(env.RegistryPath());
    ASSERT_TRUE(reg.OpenKey(key, true));
    reg.WriteString(name, value);
}

// The codes of text on the line, from a fresh register state.
std::vector<uint8_t> Codes(const QString& text) {
    std::vector<uint8_t> codes(64);
    LineCodeState st;
    codes.resize(size_t(EncodeCodes(st, text, codes.data(), 64)));
    return codes;
}

// A click where the operator clicks a check or radio button: on its box.
void ClickBox(QWidget* w) {
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(6, w->height() / 2));
}

// The mouse moves over w the way the window system reports it, so that w
// gets its enter event.
void HoverOver(QWidget* w) {
    QWidget* top = w->window();
    QTest::mouseMove(top->windowHandle(), w->mapTo(top, w->rect().center()));
    WaitFor(20, false);
}

} // namespace

TEST(Form2, StartsOnAnEmptyRegistryAndEndsCleanly) {
    TestEnv env;
    {
        auto form = StartForm(env.Dir());
        auto* ats = Find<QComboBox>(form.get(), "ComboBoxATS");
        ASSERT_EQ(ats->count(), 4);
        EXPECT_EQ(form->Term().Current(), form->Ats(1));
        EXPECT_EQ(form->View()->LastLine(), QString::fromUtf8("Новый запуск"));
        EXPECT_TRUE(QFile::exists(env.Path(QStringLiteral("Rulon/Varnel4.rul"))));
        // Each exchange's controls show its own settings.
        for (int n = 1; n <= 4; ++n) {
            const QString s = QString::number(n);
            EXPECT_EQ(form->findChild<QLineEdit*>(QStringLiteral("EditAtsName") + s)->text(),
                      QStringLiteral("ATS ") + s);
            EXPECT_EQ(
                form->findChild<QComboBox*>(QStringLiteral("ComboBoxPort") + s)->currentText(), s);
        }
        for (const char* radio :
             {"RadioGroupTarifTimeMode1", "RadioGroupDuplex0", "RadioGroupPlatform0"})
            EXPECT_TRUE(Find<QRadioButton>(form.get(), radio)->isChecked()) << radio;
        EXPECT_TRUE(form->Term().Link().blockSend);
        EXPECT_FALSE(form->Term().Link().duplexMode);

        // While running, the registry says the run has not ended cleanly.
        EXPECT_EQ(Stored(env, kMain, QStringLiteral("CorrectLogOff")), QStringLiteral("false"));
        EXPECT_EQ(Stored(env, kMain, QStringLiteral("TimerStatWait")), QStringLiteral("20000"));
        EXPECT_EQ(form->focusWidget(), Find<QWidget>(form.get(), "MaskEdit"));
    }
    EXPECT_EQ(Stored(env, kMain, QStringLiteral("CorrectLogOff")), QStringLiteral("true"));
    EXPECT_EQ(Stored(env, kMain, QStringLiteral("WindowState")), QStringLiteral("0"));
}

TEST(Form2, EnterSendsTheTypedDirectiveToTheSelectedExchange) {
    TestEnv env;
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    pty.MapToPort(1);
    Store(env, AtsKey(1), QStringLiteral("In"), QStringLiteral("true"));
    Store(env, AtsKey(1), QStringLiteral("PortDelayMS"), QStringLiteral("1"));
    auto form = StartForm(env.Dir());
    auto* memo = Find<QPlainTextEdit>(form.get(), "MemoStatus");
    EXPECT_TRUE(memo->toPlainText().contains(QString::fromUtf8("ATS 1 Порт открыт Com 1")));
    EXPECT_EQ(pty.ReadMaster(1, 2000), std::vector<uint8_t>{LineCode::kSpace});

    auto* edit = Find<MaskEdit>(form.get(), "MaskEdit");
    QTest::keyClicks(edit, QStringLiteral("nj5,"));
    QTest::keyClick(edit, Qt::Key_Return);

    const auto expected = Codes(QString::fromUtf8("ТО_5,-"));
    EXPECT_EQ(pty.ReadMaster(expected.size(), 3000), expected);
    EXPECT_EQ(form->PanelText(2), QString::fromUtf8("Передача"));
    EXPECT_TRUE(form->View()->LastLine().endsWith(QString::fromUtf8("  ТО_5,-")));

    // Characters the line code lacks are left out by the encoder; the rest
    // goes out.
    form->Entry().SendFixed(QString::fromUtf8("ЁЪ_€§~1-"));
    EXPECT_FALSE(pty.ReadMaster(2, 2000).empty());

    // A printout of the selected exchange shows in the view as it arrives.
    auto printout = Codes(QString::fromUtf8("ВРЕМЯ 12,05"));
    printout.insert(printout.begin(), {LineCode::kCarriageReturn, LineCode::kLineFeed});
    printout.push_back(LineCode::kLineFeed);
    ASSERT_TRUE(pty.WriteMaster(printout));
    WaitWhile([&] { return !form->View()->Text().contains(QString::fromUtf8("ВРЕМЯ")); }, true);
    EXPECT_TRUE(form->View()->Text().contains(QString::fromUtf8("ВРЕМЯ_12,05")));
    EXPECT_EQ(form->PanelText(2), QString::fromUtf8("Прием"));

    // While the operator works inside the roll view, printouts wait in the
    // hidden list; leaving the view shows them.
    const QString before = form->View()->Text();
    form->RollViewEnter();
    ASSERT_TRUE(pty.WriteMaster({LineCode::kLineFeed, 3, 25, LineCode::kLineFeed}));
    auto* held = Find<QPlainTextEdit>(form.get(), "Memo1");
    WaitWhile([&] { return held->toPlainText().isEmpty(); }, true);
    EXPECT_EQ(form->View()->Text(), before);
    form->RollViewExit();
    EXPECT_TRUE(held->toPlainText().isEmpty());
    EXPECT_NE(form->View()->Text(), before);

    // A directive sent to another exchange does not reach this line.
    form->Entry().SendFixed(QString::fromUtf8("УК_1-"));
    EXPECT_TRUE(WaitUntil([&] { return !form->Ats(1)->IsSending(); }));
    EXPECT_FALSE(pty.ReadMaster(1, 300).empty());
    Find<QComboBox>(form.get(), "ComboBoxATS")->setFocus();
    QTest::keyClick(Find<QComboBox>(form.get(), "ComboBoxATS"), Qt::Key_Down);
    ASSERT_EQ(form->Term().Exchanges().CurrentNumber(), 2);
    form->Entry().SendFixed(QString::fromUtf8("УК_1-"));
    EXPECT_TRUE(pty.ReadMaster(1, 300).empty());
    // A printout of an exchange not selected goes to its roll only.
    ASSERT_TRUE(pty.WriteMaster({LineCode::kLatin, 3, 25, 9, LineCode::kLineFeed}));
    const QString roll = env.Path(QStringLiteral("Rulon/Varnel1.rul"));
    auto rolled = [&] { return Codec::FromCp1251(FileBytes(roll)); };
    EXPECT_TRUE(WaitUntil([&] { return rolled().contains(QStringLiteral("ABD")); }));
    EXPECT_FALSE(form->View()->Text().contains(QStringLiteral("ABD")));
}

// The link mode waits for a restart; the other settings act at once.
TEST(Form2, SettingHandlersStoreAndApply) {
    TestEnv env;
    ModalAnswerer answers;
    {
        auto form = StartForm(env.Dir());
        auto* pages = Find<QTabWidget>(form.get(), "PageControl");
        pages->setCurrentWidget(PageOf(form.get(), QString::fromUtf8("Дополн.")));
        const QString restart =
            QString::fromUtf8("Изменения вступят в силу после перезапуска программы");
        ClickBox(Find<QRadioButton>(form.get(), "RadioGroupDuplex1"));
        EXPECT_EQ(answers.Texts, QStringList{restart});
        EXPECT_EQ(Stored(env, kMain, QStringLiteral("Duplex")), QStringLiteral("1"));
        EXPECT_FALSE(form->Term().Link().duplexMode);
        EXPECT_FALSE(form->Ats(1)->Link().GetMode().duplex)
            << "the exchanges keep their normal-mode pacing";

        ClickBox(Find<QRadioButton>(form.get(), "RadioGroupPlatform1"));
        EXPECT_FALSE(form->Term().Link().blockSend);
        EXPECT_EQ(Stored(env, kMain, QStringLiteral("Platform")), QStringLiteral("1"));
        EXPECT_EQ(answers.Texts.size(), 1) << "no message for the platform";

        ClickBox(Find<QRadioButton>(form.get(), "RadioGroupTarifTimeMode0"));
        EXPECT_EQ(form->Term().Billing().timeMode, 0) << "the duration mode changes at once";
        EXPECT_EQ(Stored(env, kMain, QStringLiteral("TarifTimeMode")), QStringLiteral("0"));
        EXPECT_EQ(answers.Texts.size(), 2);

        auto* pane = Find<QLineEdit>(form.get(), "EditMaxNoPaneTime");
        pane->setText(QStringLiteral("15"));
        QTest::keyClick(pane, Qt::Key_Return);
        EXPECT_EQ(form->Term().Billing().maxNoPaneTime, 15);
        EXPECT_EQ(Stored(env, kMain, QStringLiteral("MaxNoPaneTime")), QStringLiteral("15"));
        pane->setText(QStringLiteral("x1"));
        QTest::keyClick(pane, Qt::Key_Return);
        EXPECT_EQ(form->Term().Billing().maxNoPaneTime, 15);
        EXPECT_EQ(pane->text(), QStringLiteral("15"));

        pages->setCurrentIndex(0);
        ClickBox(Find<QCheckBox>(form.get(), "CheckBoxFourDigitYear"));
        EXPECT_EQ(Stored(env, kMain, QStringLiteral("FourDigitYear")), QStringLiteral("true"));

        // The table utility opens from the settings page.
        Find<QPushButton>(form.get(), "ButtonTableUtil")->click();
        auto* util = form->findChild<QWidget*>(QStringLiteral("MainFormTableUtil"));
        ASSERT_NE(util, nullptr);
        EXPECT_TRUE(util->isVisible());
        util->close();
    }
    // The next start takes the new link mode.
    auto form = StartForm(env.Dir());
    EXPECT_TRUE(form->Term().Link().duplexMode);
    EXPECT_FALSE(form->Term().Link().blockSend);
    EXPECT_EQ(form->Term().Billing().timeMode, 0);
    EXPECT_TRUE(Find<QRadioButton>(form.get(), "RadioGroupDuplex1")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>(form.get(), "CheckBoxFourDigitYear")->isChecked());
    EXPECT_EQ(Find<QLineEdit>(form.get(), "EditMaxNoPaneTime")->text(), QStringLiteral("15"));
}

TEST(Form2, SelectionRenameAndHintLine) {
    TestEnv env;
    Store(env, AtsKey(3), QStringLiteral("Name"), QString::fromUtf8("Южная"));
    QDir().mkpath(env.Path(QStringLiteral("Rulon")));
    QFile roll(env.Path(QStringLiteral("Rulon/Varnel2.rul")));
    ASSERT_TRUE(roll.open(QIODevice::WriteOnly));
    roll.write(Codec::ToCp1251(QString::fromUtf8("\r\n9,05|05,12,26|  МВ_-\r\nВРЕМЯ 09.05")));
    roll.close();

    auto form = StartForm(env.Dir());
    auto* ats = Find<QComboBox>(form.get(), "ComboBoxATS");
    EXPECT_EQ(ats->itemText(2), QString::fromUtf8("Южная"));
    ats->setFocus();
    QTest::keyClick(ats, Qt::Key_Down);
    EXPECT_EQ(form->Term().Exchanges().CurrentNumber(), 2);
    EXPECT_EQ(form->Term().Current(), form->Ats(2));
    EXPECT_EQ(form->focusWidget(), Find<QWidget>(form.get(), "MaskEdit")) << "typing goes on";
    EXPECT_EQ(Trimmed(Find<QPlainTextEdit>(form.get(), "MemoStatus")->toPlainText()),
              QStringLiteral("ATS 2"));
    EXPECT_EQ(form->View()->LastLine(), QString::fromUtf8("ВРЕМЯ 09.05"));
    EXPECT_EQ(Find<QComboBox>(form.get(), "ComboBoxPortMain")->currentText(), QStringLiteral("2"));

    // Renaming another exchange changes its item, not the selector's text.
    auto* name4 = Find<QLineEdit>(form.get(), "EditAtsName4");
    name4->setText(QString::fromUtf8("Северная"));
    QTest::keyClick(name4, Qt::Key_Return);
    EXPECT_EQ(ats->itemText(3), QString::fromUtf8("Северная"));
    EXPECT_EQ(ats->currentText(), QStringLiteral("ATS 2"));
    EXPECT_EQ(Stored(env, AtsKey(4), QStringLiteral("Name")), QString::fromUtf8("Северная"));

    // The first panel shows the hint of the control under the mouse (the
    // mouse enters the window first).
    QTest::mouseMove(form->windowHandle(), QPoint(1, 1));
    HoverOver(Find<QPushButton>(form.get(), "ButtonOK"));
    EXPECT_EQ(form->PanelText(0), QString::fromUtf8("Исполнение команды из поля ввода"));
    HoverOver(Find<QWidget>(form.get(), "MaskEdit"));
    EXPECT_EQ(form->PanelText(0),
              QString::fromUtf8("Поле ввода(ENTER-исполнение,Правая кнопка мыши-подменю)"));
}

TEST(Form2, ExchangeControlsAreBoundToTheirExchange) {
    TestEnv env;
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    pty.MapToPort(3);
    auto form = StartForm(env.Dir());
    TAts& ats = *form->Ats(1);
    auto* mg = Find<QLineEdit>(form.get(), "EditMG1");
    mg->setText(QStringLiteral("0"));
    QTest::keyClick(mg, Qt::Key_Return);
    EXPECT_EQ(ats.Settings.MG, QStringLiteral("0"));
    EXPECT_EQ(Stored(env, AtsKey(1), QStringLiteral("MG")), QStringLiteral("0"));
    Find<QCheckBox>(form.get(), "CheckBoxDop1")->click();
    EXPECT_TRUE(ats.Settings.SLCheck);

    // The port selector reopens on the new number; the port field follows.
    Find<QComboBox>(form.get(), "ComboBoxPort1")->setCurrentText(QStringLiteral("3"));
    EXPECT_EQ(ats.Settings.Port, 3);
    EXPECT_TRUE(ats.PortIsOpen());
    EXPECT_TRUE(Find<QCheckBox>(form.get(), "CheckBoxPort1")->isChecked());
    EXPECT_EQ(Find<QComboBox>(form.get(), "ComboBoxPortMain")->currentText(), QStringLiteral("3"));
    // The box closes it; a port that cannot be opened unchecks the box again.
    Find<QCheckBox>(form.get(), "CheckBoxPort1")->click();
    EXPECT_FALSE(ats.PortIsOpen());
    EXPECT_EQ(Stored(env, AtsKey(1), QStringLiteral("In")), QStringLiteral("false"));
    auto* box2 = Find<QCheckBox>(form.get(), "CheckBoxPort2");
    Store(env, QStringLiteral("\\Software\\ZezozuDaruduri\\Ports"), QStringLiteral("2"),
          env.Path(QStringLiteral("missing")));
    box2->click();
    EXPECT_FALSE(box2->isChecked());
    EXPECT_FALSE(form->Ats(2)->PortIsOpen());
}

TEST(Form2, WindowStateIsAppliedAndStored) {
    TestEnv env;
    Store(env, kMain, QStringLiteral("WindowState"), QStringLiteral("2"));
    {
        auto form = StartForm(env.Dir());
        EXPECT_TRUE(form->windowState() & Qt::WindowMaximized);
    }
    EXPECT_EQ(Stored(env, kMain, QStringLiteral("WindowState")), QStringLiteral("2"));

    // A second instance's request restores a minimised window.
    const QString name =
        QStringLiteral("varnel-test-") + QString::number(QCoreApplication::applicationPid());
    SingleInstance first(name);
    ASSERT_TRUE(first.TryBecomePrimary());
    SingleInstance second(name);
    EXPECT_FALSE(second.TryBecomePrimary());
    auto form = StartForm(env.Dir());
    QObject::connect(&first, &SingleInstance::activateRequested, form.get(), &TForm2::BringToFront);
    form->setWindowState(Qt::WindowMinimized);
    EXPECT_TRUE(second.SendActivate(200));
    WaitWhile([&] { return bool(form->windowState() & Qt::WindowMinimized); }, true);
    EXPECT_FALSE(form->windowState() & Qt::WindowMinimized);
    EXPECT_TRUE(form->isVisible());
}

TEST(Form2, UnwritableRegistryEndsTheProgramWithAMessage) {
    TestEnv env;
    QFile blocker(env.Path(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("VARNEL_REGISTRY", env.Path(QStringLiteral("file/registry.ini")).toUtf8());
    ModalAnswerer answers;
    {
        TForm2 form(env.Dir());
        EXPECT_FALSE(form.IsUsable());
        EXPECT_EQ(answers.Texts, QStringList{QString::fromUtf8(
                                     "Ошибка доступа к реестру. Программа будет закрыта")});
        EXPECT_EQ(form.Ats(1), nullptr);
    }
    qputenv("VARNEL_REGISTRY", env.RegistryPath().toUtf8());
}

TEST(Form2, PasswordLocksTheWorkingPagesAndOnlyAnUncleanEndRebuildsTheTables) {
    TestEnv env;
    // No "PasswEn" yet: the password is asked for; Cancel leaves the window locked.
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [] {
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) d->reject();
    });
    cancel.start(20);
    {
        auto form = StartForm(env.Dir(), false);
        auto* pages = Find<QTabWidget>(form.get(), "PageControl");
        for (int i = 0; i < pages->count(); ++i)
            EXPECT_EQ(pages->widget(i)->isEnabled(), i >= 9) << pages->tabText(i).toStdString();
        EXPECT_FALSE(Find<QWidget>(form.get(), "MaskEdit")->isEnabled());
        EXPECT_FALSE(Find<QWidget>(form.get(), "ButtonOK")->isEnabled());
        // A wrong password closes the dialog and says so; the window stays locked.
        cancel.stop();
        QTimer wrong;
        QObject::connect(&wrong, &QTimer::timeout, [] {
            if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                d->findChild<QLineEdit*>(QStringLiteral("Password"))->setText(QStringLiteral("x"));
                d->findChild<QPushButton*>(QStringLiteral("OKBtn"))->click();
            }
        });
        wrong.start(20);
        Find<QPushButton>(form.get(), "ButtonPassword")->click();
        EXPECT_EQ(form->PanelText(1), QString::fromUtf8("Неверный пароль"));
        EXPECT_FALSE(Find<QWidget>(form.get(), "MaskEdit")->isEnabled());
        wrong.stop();
        cancel.start(20);
    }
    const QString backup = env.Path(QStringLiteral("Tables/Backup.Db"));
    EXPECT_FALSE(QFile::exists(backup)) << "a clean end rebuilds nothing";

    // The last run did not end cleanly and DestTar's header is damaged: it is
    // rebuilt first, its old file kept beside it.
    Store(env, kMain, QStringLiteral("CorrectLogOff"), QStringLiteral("false"));
    {
        QFile dest(env.Path(QStringLiteral("Tables/DestTar.db")));
        ASSERT_TRUE(dest.open(QIODevice::ReadWrite));
        dest.seek(2); // the header size
        dest.write("\xff\xff", 2);
    }
    auto form = StartForm(env.Dir());
    EXPECT_TRUE(QFile::exists(backup));
    EXPECT_TRUE(QFile::exists(env.Path(QStringLiteral("Tables/DestTar.db.bak"))));
    EXPECT_TRUE(Find<QWidget>(form.get(), "MaskEdit")->isEnabled());
}

// The smallest window keeps the input line, the status list, the pages and a
// few roll lines in view; the status list is emptied past its limit.
TEST(Form2, SmallestWindowAndTheStatusListLimit) {
    TestEnv env;
    auto form = StartForm(env.Dir());
    form->resize(400, 300);
    WaitFor(20, false);
    auto* edit = Find<MaskEdit>(form.get(), "MaskEdit");
    EXPECT_GE(edit->contentsRect().width(), edit->fontMetrics().horizontalAdvance(edit->text()));
    auto* memo = Find<QPlainTextEdit>(form.get(), "MemoStatus");
    EXPECT_GE(memo->viewport()->width(),
              memo->fontMetrics().horizontalAdvance(QString::fromUtf8("ATS 1 Порт закрыт Com 16")));
    for (const char* name : {"PageControl", "PageControlATS"}) {
        auto* pages = Find<QTabWidget>(form.get(), name);
        EXPECT_GE(pages->height(), pages->minimumSizeHint().height()) << name;
        EXPECT_GE(pages->width(), pages->minimumSizeHint().width()) << name;
    }
    EXPECT_GE(form->View()->height(), 3 * form->View()->fontMetrics().lineSpacing());

    const QString line(99, QLatin1Char('x'));
    int emptied = 0;
    qsizetype before = 0;
    for (int i = 0; i < 1000; ++i) {
        form->AddStatus(line);
        const qsizetype now = memo->toPlainText().size();
        EXPECT_LE(now, TForm2::kStatusLimit);
        if (now < before) ++emptied;
        before = now;
    }
    EXPECT_EQ(emptied, 3) << "100000 characters in lines of 100 empty the list three times";
}

// A taller window gives the roll the extra height; the table utility opens
// inside the screen and keeps its size whatever path and message it shows.
TEST(Form2, RoomForTheRollAndTheTableUtilityStaysInside) {
    TestEnv env;
    auto form = StartForm(env.Dir());
    auto* split = Find<QSplitter>(form.get(), "SplitterRoll");
    ASSERT_NE(split, nullptr);
    form->resize(1000, 700);
    WaitFor(20, false);
    const QList<int> before = split->sizes();
    form->resize(1000, 900);
    WaitFor(20, false);
    const QList<int> after = split->sizes();
    EXPECT_EQ(after[0], before[0]);
    EXPECT_EQ(after[1], before[1] + 200);

    // Over the main window, inside the screen.
    const QRect screen = form->screen()->availableGeometry();
    form->setGeometry(screen.left() + 40, screen.top() + 300, 720, 500);
    WaitFor(20, false);
    Find<QPushButton>(form.get(), "ButtonTableUtil")->click();
    auto* util = Find<TMainFormTableUtil>(form.get(), "MainFormTableUtil");
    ASSERT_NE(util, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return util->isVisible(); }, 2000));
    EXPECT_TRUE(screen.contains(util->frameGeometry()));
    EXPECT_NEAR(util->frameGeometry().center().x(), form->frameGeometry().center().x(), 1);
    const QSize size = util->size();
    const QString deep =
        QDir::toNativeSeparators(env.Path(QString(30, QLatin1Char('d')) + QStringLiteral("/") +
                                          QString(60, QLatin1Char('t')) + QStringLiteral(".db")));
    util->SetLocation(deep);
    tables::UtilRun run;
    run.outcome = tables::UtilRun::NotDone;
    run.message = QStringLiteral("Rebuild was not successful.");
    run.error = deep + QStringLiteral(": in use by another program");
    util->ShowRun(run);
    WaitFor(20, false);
    EXPECT_EQ(util->size(), size);
    util->close();
}

TEST(Form2, RollFontKeepsItsStylesAndQtDialogsSpeakRussian) {
    TestEnv env;
    const auto russian = InstallQtTranslations();
    ASSERT_NE(russian, nullptr);
    QStringList buttons;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* fonts = qobject_cast<QFontDialog*>(modal)) {
            for (auto* b : fonts->findChildren<QPushButton*>())
                buttons << b->text().remove(QLatin1Char('&'));
            QFont f(QStringLiteral("DejaVu Sans Mono"), 11);
            f.setItalic(true);
            fonts->setCurrentFont(f);
            fonts->accept();
        } else if (auto* colours = qobject_cast<QColorDialog*>(modal)) {
            colours->accept();
        }
    });
    answer.start(20);
    {
        auto form = StartForm(env.Dir());
        form->MenuFontClick();
        EXPECT_TRUE(form->View()->font().italic());
    }
    EXPECT_TRUE(buttons.contains(QString::fromUtf8("Отмена"))) << buttons.join(' ').toStdString();
    EXPECT_EQ(Stored(env, kMain, QStringLiteral("fsItalic")), QStringLiteral("true"));
    EXPECT_EQ(Stored(env, kMain, QStringLiteral("fsBold")), QStringLiteral("false"));
    auto form = StartForm(env.Dir());
    EXPECT_TRUE(form->View()->font().italic()) << "kept over a restart";
}

// A second terminal on the same settings (another working folder and
// instance) finds exchange 1's line busy: it keeps trying, and "In" stays
// true, so the first terminal still has its line at its next start.
TEST(Form2, SecondTerminalCannotTakeTheLineOffTheFirst) {
    TestEnv env;
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    pty.MapToPort(1);
    Store(env, AtsKey(1), QStringLiteral("In"), QStringLiteral("true"));
    QDir().mkpath(env.Path(QStringLiteral("second")));
    auto first = StartForm(env.Dir());
    ASSERT_TRUE(first->Ats(1)->Link().IsOpen());
    auto second = StartForm(env.Path(QStringLiteral("second")));
    EXPECT_FALSE(second->Ats(1)->Link().IsOpen());
    EXPECT_TRUE(Find<QCheckBox>(second.get(), "CheckBoxPort1")->isChecked());
    EXPECT_EQ(Stored(env, AtsKey(1), QStringLiteral("In")), QStringLiteral("true"));
    second.reset();
    EXPECT_EQ(Stored(env, AtsKey(1), QStringLiteral("In")), QStringLiteral("true"));
    EXPECT_TRUE(first->Ats(1)->Link().IsOpen());
}

// A directive typed for an exchange that is not switched on: each code is
// refused ("Порт закрыт" in the status list), and then the status bar shows
// that line's state instead of "Передача", as it does for whichever exchange
// is selected.
TEST(Form2, AfterSendingToAClosedLineTheStatusBarShowsTheLineAgain) {
    TestEnv env;
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    pty.MapToPort(1);
    Store(env, AtsKey(1), QStringLiteral("In"), QStringLiteral("true"));
    Store(env, AtsKey(2), QStringLiteral("PortDelayMS"), QStringLiteral("1"));
    auto form = StartForm(env.Dir());
    auto* combo = Find<QComboBox>(form.get(), "ComboBoxATS");
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
    ASSERT_EQ(form->Term().Exchanges().CurrentNumber(), 2);

    auto* edit = Find<MaskEdit>(form.get(), "MaskEdit");
    form->Entry().Reset();
    QTest::keyClicks(edit, QStringLiteral("vd_"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_TRUE(WaitUntil([&] { return !form->Ats(2)->IsSending(); }, 3000));
    EXPECT_EQ(form->PanelText(2), QString::fromUtf8("Порт закрыт"));
    auto* memo = Find<QPlainTextEdit>(form.get(), "MemoStatus");
    EXPECT_GE(memo->toPlainText().count(QRegularExpression(QStringLiteral("^Порт закрыт$"),
                                                           QRegularExpression::MultilineOption)),
              4);

    QTest::keyClick(combo, Qt::Key_Up);
    ASSERT_EQ(form->Term().Exchanges().CurrentNumber(), 1);
    EXPECT_EQ(form->PanelText(2), QString::fromUtf8("Прием"));
    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(form->PanelText(2), QString::fromUtf8("Порт закрыт"));
}

// The table utility rebuilds DestTar while the terminal bills into it: the
// terminal lends the table and takes it back, a call end frame that arrives
// during the rebuild is billed into the rebuilt table, and a rebuild that
// does not go through the terminal is still refused while it holds the table.
TEST(Form2, TableUtilityRebuildsTheTerminalsOwnDestTar) {
    TestEnv env;
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    pty.MapToPort(1);
    Store(env, AtsKey(1), QStringLiteral("In"), QStringLiteral("true"));
    Clock::SetTestTime(QDateTime(QDate(2026, 12, 5), QTime(10, 0)));
    auto form = StartForm(env.Dir());
    const QString destTar = env.Path(QStringLiteral("Tables/DestTar.db"));
    auto bytes = [](const auto& codes) {
        return std::vector<uint8_t>(codes->begin(), codes->end());
    };
    ASSERT_TRUE(pty.WriteMaster(
        bytes(CallStartCodes(5, QStringLiteral("1234"), QStringLiteral("5678"), 1))));
    ASSERT_TRUE(WaitUntil(
        [&] { return ReadRows(env.Path(QStringLiteral("Tables/TarifTA2.DB"))).size() == 1; }));

    Find<QPushButton>(form.get(), "ButtonTableUtil")->click();
    auto* util = form->findChild<TMainFormTableUtil*>(QStringLiteral("MainFormTableUtil"));
    ASSERT_NE(util, nullptr);
    util->AliasChanged(0);
    auto* names = Find<QComboBox>(util, "TableCombo");
    util->TableChanged(names->findText(QStringLiteral("DestTar.db")));

    // The end frame waits on the line while Rebuild is pressed.
    Clock::Advance(60000);
    ASSERT_TRUE(pty.WriteMaster(bytes(CallEndCodes(5, QStringLiteral("5678")))));
    Find<QPushButton>(util, "RebuildBtn")->click();
    EXPECT_TRUE(util->Busy());
    EXPECT_TRUE(form->Term().TablesLent());
    ASSERT_TRUE(WaitUntil([&] { return !util->Busy(); }, 5000));
    EXPECT_EQ(Find<QLabel>(util, "MessageLB")->text(), tables::kRebuildDone);
    EXPECT_FALSE(form->Term().TablesLent());
    // Read while the table was out, queued, billed as it came back.
    EXPECT_TRUE(ReadRows(env.Path(QStringLiteral("Tables/Backup.Db"))).isEmpty());
    ASSERT_EQ(ReadRows(destTar).size(), 1);
    EXPECT_EQ(ReadRows(destTar)[0][0].toString(), QStringLiteral("1234"));
    EXPECT_EQ(ReadRows(destTar)[0][3].toLongLong(), 60);

    tables::TTableUtil other;
    EXPECT_FALSE(
        other.RebuildTable(destTar, tables::TableDesc::FromFields(TariffTables::DestTarFields())));
    EXPECT_TRUE(other.LastError().contains(QStringLiteral("in use")));
    util->close();
    Clock::SetTestTime(QDateTime());
}
