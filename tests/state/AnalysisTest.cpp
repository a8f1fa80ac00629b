// The state analysis without windows: word readings, the control-unit result
// lists, the failure words, the repair directives and the state cells.
#include "StateTestSupport.h"
#include "state/FailureWord.h"
#include "state/KitRepair.h"
#include "state/StateSummary.h"
#include "state/UnitState.h"

#include <gtest/gtest.h>

using namespace unitstate;

constexpr auto L = &Utf8List;

TEST(UnitState, WordsReadByTheirRules) {
    EXPECT_EQ(ReadStateWord(QString()), 0u);
    EXPECT_EQ(ReadStateWord(QStringLiteral("8000")), 0x8000u);
    EXPECT_EQ(ReadStateWord(QStringLiteral("a0F1")), 0xA0F1u);
    // Blanks and stray characters are zero digits, in place.
    EXPECT_EQ(ReadStateWord(QStringLiteral("8 0")), 0x800u);
    EXPECT_EQ(ReadStateWord(QStringLiteral("1Ж-1")), 0x1001u);
}

// Bit 0 of the first section is held by the result button's test.
TEST(UnitState, BgReportsSetBitsPerSection) {
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

TEST(KitRepair, EveryBoxTickedGivesTwoCapitalDigitsEachAndTheNumberAsTyped) {
    EXPECT_EQ(
        repair::Compose(repair::FormOf(repair::Kit::SK), {QStringLiteral("1 "), 127, 127, 0, 0}),
        QStringLiteral("ТО_20,1 ,7F7F,0-"));
}

TEST(StateSummary, CellsReadInTheExchangeNotation) {
    // Cell, value, line ("-": none). Garbled characters drop out: "0?0;F" reads as 00F.
    const std::tuple<int, const char*, const char*> cases[] = {
        {0, "00061", "Работает ведущая 1-я ЭУМ"},
        {0, "00020", "Работает ведущая 0-я ЭУМ"},
        {0, "00040", "-"},
        {1, "00000", "Пусконаладочный режим"},
        {1, "#####", "Пусконаладочный режим"},
        {2, "0?0;F", "В работе 1-й ствол БК"},
        {3, "20000", "Остановлена одна из ЭУМ"},
        {3, "70000", "Синхронный режим с блокировкой четности КВВ"},
        {3, "40000", "-"}};
    for (const auto& [cell, value, line] : cases)
        EXPECT_EQ(StateSummary::Line(cell, QString::fromUtf8(value)).value_or(QStringLiteral("-")),
                  QString::fromUtf8(line))
            << cell << ' ' << value;
}
