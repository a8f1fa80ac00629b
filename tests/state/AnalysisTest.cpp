// The state analysis without windows: word readings, the control-unit result
// lists, the failure words, the repair directives and the state cells.
#include "StateTestSupport.h"
#include "state/FailureWord.h"
#include "state/KitRepair.h"
#include "state/StateSummary.h"
#include "state/UnitState.h"

#include <gtest/gtest.h>

using namespace unitstate;

namespace {
QStringList L(std::initializer_list<const char*> lines) {
    return Utf8List(lines);
}
} // namespace

TEST(UnitState, WordsReadByTheirRules) {
    EXPECT_EQ(ReadStateWord(QString()), 0u);
    EXPECT_EQ(ReadStateWord(QStringLiteral("8000")), 0x8000u);
    EXPECT_EQ(ReadStateWord(QStringLiteral("a0F1")), 0xA0F1u);
    // Blanks and stray characters are zero digits, in place.
    EXPECT_EQ(ReadStateWord(QStringLiteral("8 0")), 0x800u);
    EXPECT_EQ(ReadStateWord(QStringLiteral("1Ж-1")), 0x1001u);
}

TEST(UnitState, BgReportsSetBitsPerSection) {
    EXPECT_EQ(Result(Unit::BG, {QStringLiteral("3"), QStringLiteral("0001"), QString(), QString(),
                                QString()}),
              L({"Номер статива - 3", "0 ствол", "БВ01 \"60\" - неисправно", "1 ствол"}));
    EXPECT_EQ(Result(Unit::BG, {QStringLiteral("1"), QString(), QStringLiteral("8000"), QString(),
                                QString()}),
              L({"Номер статива - 1", "0 ствол", "1 ствол", "0 БП \"5\" БК - неисправно"}));
    // Bit 7 has its own text in each section (two blanks in the first).
    EXPECT_EQ(Result(Unit::BG, {QString(), QStringLiteral("0080"), QStringLiteral("0081"),
                                QString(), QString()}),
              L({"Номер статива - ", "0 ствол", "1 БП \"5\" БК -  неисправно", "1 ствол",
                 "БВ01 \"60\" - неисправно", "1 БП \"5\" БК - неисправно"}));
}

TEST(UnitState, VvkAndUvpCompareWithTheReference) {
    auto vvk = [](const char* ref) {
        return Result(Unit::VVK, {QStringLiteral("2"), QStringLiteral("0041"), QString(),
                                  QString::fromUtf8(ref), QString()});
    };
    EXPECT_EQ(vvk("00041"), L({"Номер статива - 2", "0 ствол", "1 ствол"}));
    EXPECT_EQ(vvk("00000"), L({"Номер статива - 2", "0 ствол", "ТС 1/0 БП \"5\" - неисправно",
                               "ТС 1/0 БВ01 \"27\" - неисправно", "1 ствол"}));
    EXPECT_EQ(vvk("00101"),
              L({"Номер статива - 2", "0 ствол", "ТС 1/0 БВ01 \"27\" - неисправно", "1 ствол"}));
    EXPECT_EQ(vvk(" 1 0 1 "), vvk("00101"));

    // Bit 7 is never tested; a reference above 0xFFFF faults every tested bit.
    for (const char* ref : {"00000", "00080"}) {
        const QString r = QString::fromUtf8(ref);
        EXPECT_EQ(
            Result(Unit::UVP, {QString(), QStringLiteral("0080"), QStringLiteral("0080"), r, r})
                .size(),
            3)
            << ref;
    }
    const QStringList all = Result(Unit::UVP, {QStringLiteral("12"), QString(), QString(),
                                               QStringLiteral("F0000"), QString()});
    ASSERT_EQ(all.size(), 3 + 14);
    EXPECT_EQ(all[2], QStringLiteral("СС И3 0,1,2,3 0 ствол - неисправно"));
    EXPECT_EQ(all[7], QStringLiteral("2 гр. ПАК 1,5,9,D 0 ствол -  неисправно"));
    EXPECT_EQ(all.last(), QStringLiteral("Ly по Lxf"));

    // ПАКР: the trunk part dropped from bits 0-6; bit 6 of Lxf is not tested.
    EXPECT_EQ(Result(Unit::UVPP, {QStringLiteral("07"), QString(), QStringLiteral("4070"),
                                  QString(), QString()}),
              L({"Номер статива - 07", "Ly по Lxe", "Ly по Lxf", "1 гр. ПАК 2,6,А,Е - неисправно",
                 "2 гр. ПАК 3,7,8,F - неисправно", "ГВТ 1 БГ - неисправно"}));
}

TEST(FailureWord, LinesPerMode) {
    const QString m = QStringLiteral("1");
    EXPECT_EQ(failure::Analyse(QStringLiteral("0000"), m), L({"Пропало 5 В на БЗУ"}));
    EXPECT_EQ(failure::Analyse(QString(), m), L({"Пропало 5 В на БЗУ"}));
    EXPECT_EQ(failure::Analyse(QStringLiteral("FFFF"), m),
              L({"Пропало 12 В (Преобразователь на СЗУ)"}));
    EXPECT_EQ(failure::Analyse(QStringLiteral("8000"), m),
              L({"Синхронный режим", "Неисправна ЭУМ 1"}));
    EXPECT_EQ(failure::Analyse(QStringLiteral("8300"), m),
              L({"Синхронный режим", "Неисправна ЭУМ 1", "Не прошел тест самоконтроля",
                 "Остановленная ЭУМ не вышла на обработку аварии"}));
    EXPECT_EQ(failure::Analyse(QStringLiteral("8700"), m),
              L({"Синхронный режим", "Запускается тест ЗУ", "Не прошел тест самоконтроля",
                 "Остановленная ЭУМ не вышла на обработку аварии",
                 "Блокирована четность ЗУ младший байт"}));
    EXPECT_EQ(failure::Analyse(QStringLiteral("0480"), m),
              L({"Автономный режим", "Блокирована четность ЗУ младший байт",
                 "Не прошел тест 2-х машинной работы"}));
    EXPECT_EQ(failure::Analyse(QStringLiteral("e780"), QString()),
              L({"Синхронный режим", "Сбой КВВ с блокировкой четности КВВ", "Запускается тест ЗУ",
                 "Не прошел тест самоконтроля", "Остановленная ЭУМ не вышла на обработку аварии",
                 "Запускается тест ЗУ и ФТ", "Блокирована четность ЗУ младший байт"}));
}

TEST(KitRepair, DirectivesComposedFromTheForms) {
    using namespace repair;
    EXPECT_EQ(Compose(FormOf(Kit::SK), {QStringLiteral("123"), 64, 1, 0, 1}),
              QStringLiteral("ТО_20,123,4001,1-"));
    EXPECT_EQ(Compose(FormOf(Kit::IK), {QStringLiteral("007"), 0, 0, 1, 0}),
              QStringLiteral("ТО_2A,007,0000,2,0-"));
    EXPECT_EQ(Compose(FormOf(Kit::VK), {QStringLiteral("010"), 0, 32, 1, 2}),
              QStringLiteral("ТО_2C,010,0020,1,2-"));
    // Every box ticked: two capital digits each; the number as typed.
    EXPECT_EQ(Compose(FormOf(Kit::SK), {QStringLiteral("1 "), 127, 127, 0, 0}),
              QStringLiteral("ТО_20,1 ,7F7F,0-"));
}

TEST(StateSummary, CellsReadInTheExchangeNotation) {
    auto line = [](int i, const char* v) {
        return StateSummary::Line(i, QString::fromUtf8(v)).value_or(QStringLiteral("-"));
    };
    EXPECT_EQ(line(0, "00061"), QStringLiteral("Работает ведущая 1-я ЭУМ"));
    EXPECT_EQ(line(0, "00020"), QStringLiteral("Работает ведущая 0-я ЭУМ"));
    EXPECT_EQ(line(0, "00040"), QStringLiteral("-"));
    EXPECT_EQ(line(1, "00001"), QStringLiteral("Режим обслуживания вызовов"));
    EXPECT_EQ(line(1, "00000"), QStringLiteral("Пусконаладочный режим"));
    EXPECT_EQ(line(2, "0000F"), QStringLiteral("В работе 1-й ствол БК"));
    EXPECT_EQ(line(2, "0000E"), QStringLiteral("В работе 0-й ствол БК"));
    EXPECT_EQ(line(3, "00000"), QStringLiteral("Неисправна одна из ЭУМ"));
    EXPECT_EQ(line(3, "20000"), QStringLiteral("Остановлена одна из ЭУМ"));
    EXPECT_EQ(line(3, "60000"), QStringLiteral("Синхронный режим"));
    EXPECT_EQ(line(3, "70000"), QStringLiteral("Синхронный режим с блокировкой четности КВВ"));
    EXPECT_EQ(line(3, "40000"), QStringLiteral("-"));
    // Garbled characters drop out: "0?0;F" reads as 00F.
    EXPECT_EQ(line(2, "0?0;F"), QStringLiteral("В работе 1-й ствол БК"));
    EXPECT_EQ(line(1, "#####"), QStringLiteral("Пусконаладочный режим"));
}
