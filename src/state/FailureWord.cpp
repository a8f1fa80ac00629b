#include "state/FailureWord.h"

#include "state/UnitState.h"

namespace failure {

namespace {
// A test: every bit of `set` is set and every bit of `clear` is clear.
// withMachine: the machine number follows the text.
struct Test {
    uint32_t set;
    uint32_t clear;
    const char* text;
    bool withMachine = false;
};

const Test kSynchronous[] = {
    {0, 0, "Синхронный режим"},
    {0, 1u << 10, "Неисправна ЭУМ ", true},
    {(1u << 13) | (1u << 14), 0, "Сбой КВВ с блокировкой четности КВВ"},
    {(1u << 8) | (1u << 10), 0, "Запускается тест ЗУ"},
    {1u << 9, 0, "Не прошел тест самоконтроля"},
    {1u << 8, 0, "Остановленная ЭУМ не вышла на обработку аварии"},
    {(1u << 7) | (1u << 8) | (1u << 9), 0, "Запускается тест ЗУ и ФТ"},
    {1u << 12, 0, "Блокирована четность НМП"},
    {1u << 11, 0, "Блокирована четность ЗУ старший байт"},
    {1u << 10, 0, "Блокирована четность ЗУ младший байт"},
};

const Test kAutonomous[] = {
    {0, 0, "Автономный режим"},
    {0, 1u << 10, "Неисправна ЭУМ ", true},
    {1u << 13, 0, "Блокирована четность КВВ"},
    {1u << 12, 0, "Блокирована четность НМП"},
    {1u << 11, 0, "Блокирована четность ЗУ старший байт"},
    {1u << 10, 0, "Блокирована четность ЗУ младший байт"},
    {1u << 7, 0, "Не прошел тест 2-х машинной работы"},
};

template <size_t N>
void Apply(const Test (&tests)[N], uint32_t w, const QString& machine, QStringList& out) {
    for (const Test& t : tests)
        if ((w & t.set) == t.set && (w & t.clear) == 0)
            out << QString::fromUtf8(t.text) + (t.withMachine ? machine : QString());
}
} // namespace

QStringList Analyse(uint32_t w, const QString& machine) {
    if (w == 0) return {QStringLiteral("Пропало 5 В на БЗУ")};
    if (w == 0xFFFF) return {QStringLiteral("Пропало 12 В (Преобразователь на СЗУ)")};
    QStringList out;
    if (w & 0x8000)
        Apply(kSynchronous, w, machine, out);
    else
        Apply(kAutonomous, w, machine, out);
    return out;
}

QStringList Analyse(const QString& word, const QString& machine) {
    return Analyse(unitstate::ReadStateWord(word), machine);
}

} // namespace failure
