// The tab "Автоматические директивы ТО" bound to the selected exchange.
#include "ConsoleTestSupport.h"

#include "directives/ui/MaskEdit.h"
#include "link/Ats.h"
#include "platform/Codec.h"
#include "platform/Registry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {
void Select(TForm2& form, int number) {
    Find<QComboBox>(&form, "ComboBoxATS")->setCurrentIndex(number - 1);
    form.ComboBoxATSChange(number - 1);
}

void Enter(MaskEdit* edit, const QString& text) {
    edit->SetText(text);
    QTest::keyClick(edit, Qt::Key_Return);
}
} // namespace

TEST(AutoDirectivesPage, EditorAndModesFollowTheSelectedExchange) {
    TestEnv env;
    QDir().mkpath(env.Path(QStringLiteral("Rulon/Auto3.txt"))); // a folder: saving fails
    {
        QFile f(env.Path(QStringLiteral("Rulon/Auto2.txt")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(Codec::ToCp1251(QStringLiteral("МВ_-\r\n100\r\n")));
        Registry reg(env.RegistryPath());
        ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\ATS 2"), true));
        reg.WriteBool(QStringLiteral("AutoEvery"), true);
        reg.WriteInteger(QStringLiteral("AutoEveryTime"), 7200000);
    }
    auto form = StartForm(env.Dir());
    auto* memo = Find<QPlainTextEdit>(form.get(), "MemoAuto");
    auto* save = Find<QPushButton>(form.get(), "ButtonSaveAuto");
    auto* runIn = Find<QCheckBox>(form.get(), "CheckBoxRunIn");
    auto* runEvery = Find<QCheckBox>(form.get(), "CheckBoxRunEvery");
    auto* editEvery = Find<MaskEdit>(form.get(), "MaskEditRunEvery");
    ASSERT_TRUE(memo && save && runIn && runEvery && editEvery);
    EXPECT_FALSE(save->isEnabled() || runEvery->isChecked());

    // A change enables "Сохранить"; saving writes the file and disables it.
    TypeText(memo, QStringLiteral("ук_6,-"));
    ASSERT_TRUE(save->isEnabled());
    save->click();
    EXPECT_EQ(FileBytes(env.Path(QStringLiteral("Rulon/Auto1.txt"))),
              Codec::ToCp1251(QStringLiteral("ук_6,-\r\n")));
    EXPECT_FALSE(save->isEnabled());

    // Unsaved text stays with its exchange while another one is selected.
    memo->appendPlainText(QStringLiteral("5"));
    Select(*form, 2);
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("МВ_-\n100"));
    EXPECT_EQ(editEvery->Text(), QStringLiteral("02:00"));
    EXPECT_TRUE(runEvery->isChecked());
    Select(*form, 1);
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("ук_6,-\n5"));
    EXPECT_TRUE(save->isEnabled());

    // Times and modes act on the selected exchange.
    Select(*form, 2);
    TAts* ats2 = form->Ats(2);
    Enter(editEvery, QStringLiteral("00:00"));
    EXPECT_EQ(editEvery->Text(), QStringLiteral("02:00"));
    Enter(editEvery, QStringLiteral("00:30"));
    EXPECT_EQ(ats2->Schedule().AutoTimer->interval(), 1800000);
    runIn->click();
    EXPECT_FALSE(ats2->Settings.AutoEvery);
    EXPECT_FALSE(runEvery->isChecked());

    // A run shows its copy in the exchange's hidden list.
    emit ats2->Schedule().due();
    EXPECT_EQ(Find<QPlainTextEdit>(form.get(), "MemoAutoProm2")->toPlainText(),
              QStringLiteral("МВ_-\n100"));

    // A script file over the size limit is not put into the editor: it says why.
    {
        QFile f(env.Path(QStringLiteral("Rulon/Auto4.txt")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(70 * 1024, 'x'));
    }
    Select(*form, 4);
    EXPECT_TRUE(memo->toPlainText().isEmpty());
    EXPECT_TRUE(memo->placeholderText().contains(QStringLiteral("больше 64 КБ")));

    // A failed save is told and leaves the text to save again.
    Select(*form, 3);
    TypeText(memo, QStringLiteral("УК_1-"));
    ModalAnswerer answers;
    save->click();
    EXPECT_EQ(answers.Texts, QStringList{QStringLiteral("Ошибка сохранения")});
    EXPECT_TRUE(save->isEnabled());
}
