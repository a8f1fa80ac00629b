#include "Answers.h"

#include "Image.h"
#include "Memory.h"

namespace sim {

namespace {
// Directive, answer lines ("|" between lines), effect. The texts keep to the
// characters the line code has (no "Ч", "Ъ" or "Ё").
struct Row {
    const char* directive;
    const char* lines;
    Effect effect;
};

const Row kRows[] = {
    // Service mode and trunks.
    {"ОО_3-", "РЕЖИМ ОБРАБОТКИ ВЫЗОВОВ", Effect::ServeCalls},
    {"ТО_7-", "РЕЖИМ ПУСКОНАЛАДКИ", Effect::Commissioning},
    {"ТО_4,-", "В РАБОТЕ 0 СТВОЛ БК", Effect::Trunk0},
    {"ТО_4,1-", "В РАБОТЕ 1 СТВОЛ БК", Effect::Trunk1},
    {"ОО_5,0-", "В РАБОТЕ 0 СТВОЛ БК", Effect::Trunk0},
    {"ОО_5,F-", "В РАБОТЕ 1 СТВОЛ БК", Effect::Trunk1},
    {"ТО_3,-", "0 СТВОЛ ЗАБЛОКИРОВАН", Effect::None},
    {"ТО_3,1-", "1 СТВОЛ ЗАБЛОКИРОВАН", Effect::None},
    {"ТО_3,2-", "0 СТВОЛ ВОССТАНОВЛЕН", Effect::None},
    {"ТО_3,3-", "1 СТВОЛ ВОССТАНОВЛЕН", Effect::None},
    // Control machines, parity, tests.
    {"УК_1-", "СИНХРОННЫЙ РЕЖИМ", Effect::Synchronous},
    {"УК_2,3-", "ОСТАНОВЛЕННАЯ ЭУМ ГОТОВА К ПУСКУ", Effect::None},
    {"УК_4,-", "КОНТРОЛЬ ПАРИТЕТА КВВ ВОССТАНОВЛЕН", Effect::ParityRestored},
    {"УК_4,0-", "КОНТРОЛЬ ПАРИТЕТА КВВ ВОССТАНОВЛЕН", Effect::ParityRestored},
    {"УК_4,1-", "КОНТРОЛЬ ПАРИТЕТА КВВ ЗАБЛОКИРОВАН", Effect::ParityBlocked},
    {"УК_3,-", "КОНТРОЛЬ ПАРИТЕТА ЗУ ВОССТАНОВЛЕН", Effect::None},
    {"УК_3,1-", "КОНТРОЛЬ ПАРИТЕТА ЗУ ЗАБЛОКИРОВАН", Effect::None},
    {"УК_6,-", "", Effect::ControlSums},
    {"УК_6,1-", "НЕСРАВНЕНИЙ КС НЕТ", Effect::None},
    {"УК_2,-", "ТЕСТ ПАМЯТИ: НОРМА", Effect::None},
    {"УК_2,1-", "ТЕСТ ПРОЦЕССОРА: НОРМА", Effect::None},
    {"УК_2,2-", "ТЕСТ ПАМЯТИ И ПРОЦЕССОРА: НОРМА", Effect::None},
    // Clearing, cycles, requests.
    {"ТО_3F-", "СБРОС ВЫПОЛНЕН", Effect::None},
    {"ОО_1-", "УСТАНОВКА ТЛФ ОЗУ И ОБОРУДОВАНИЯ ВЫПОЛНЕНА", Effect::None},
    {"ТО_10-", "ЦИКЛ СНЯТ", Effect::None},
    {"ТО_1B-", "ЗАБЛОКИРОВАННЫЕ ПРОМЛИНИИ РАЗБЛОКИРОВАНЫ", Effect::None},
    {"ТО_19,-", "ПРОВЕРКА КОМПЛЕКТОВ СНЯТА", Effect::None},
    {"ТО_19-", "ПРОВЕРКА КОМПЛЕКТОВ СНЯТА", Effect::None},
    {"ТО_14,1-", "ЗАЯВКА НА ЗАМЕНУ ДО СРОКА ПРИНЯТА", Effect::None},
    {"ТО_14,-", "ЗАЯВКА НА ЗАМЕНУ ДО СРОКА ПРИНЯТА|КОМПЛЕКТ НЕ РАЗБЛОКИРОВАН", Effect::None},
    {"ТО_27-", "ПРОВЕРКА КСЛ ПО КОЛЬЦЕВОМУ КАБЕЛЮ АКТИВИЗИРОВАНА", Effect::None},
    {"ТО_28-", "ПРОВЕРЕННЫЕ КСЛ РАЗБЛОКИРОВАНЫ", Effect::None},
    {"ТО_3E,1-", "ОПЕРАТИВНЫЙ КОНТРОЛЬ РАЗГОВОРНОГО ТРАКТА АКТИВИЗИРОВАН", Effect::None},
    {"ТО_3E,0-", "ОПЕРАТИВНЫЙ КОНТРОЛЬ РАЗГОВОРНОГО ТРАКТА СНЯТ", Effect::None},
    // Checks of all kits of a kind.
    {"ТО_E,0,-", "ПРОВЕРКА БАЛ|НЕИСПРАВНЫХ КОМПЛЕКТОВ НЕТ", Effect::None},
    {"ТО_E,1,-", "ПРОВЕРКА БСЛ|НЕИСПРАВНЫХ КОМПЛЕКТОВ НЕТ", Effect::None},
    {"ТО_E,17,-", "ПРОВЕРКА БВЛ|НЕИСПРАВНЫХ КОМПЛЕКТОВ НЕТ", Effect::None},
    {"ТО_E,2,-", "ПРОВЕРКА АК С ПОЛЕМ|НЕИСПРАВНЫХ КОМПЛЕКТОВ НЕТ", Effect::None},
    {"ТО_E,10,-", "ПРОВЕРКА АК БЕЗ ПОЛЯ|НЕИСПРАВНЫХ КОМПЛЕКТОВ НЕТ", Effect::None},
    {"ТО_E,7,-", "ПРОВЕРКА ВК С ПОЛЕМ|НЕИСПРАВНЫХ КОМПЛЕКТОВ НЕТ", Effect::None},
    {"ТО_E,6,-", "ПРОВЕРКА ИК С ПОЛЕМ|НЕИСПРАВНЫХ КОМПЛЕКТОВ НЕТ", Effect::None},
    {"ТО_E,16,-", "ПРОВЕРКА КУП|НЕИСПРАВНЫХ КОМПЛЕКТОВ НЕТ", Effect::None},
    {"ТО_E,A,-", "ПРОВЕРКА ПРОМЛИНИЙ KE|НЕИСПРАВНЫХ КОМПЛЕКТОВ НЕТ", Effect::None},
    {"ТО_E,9,-", "ПРОВЕРКА ПРОМЛИНИЙ KD|НЕИСПРАВНЫХ КОМПЛЕКТОВ НЕТ", Effect::None},
    {"ТО_E,8,-", "ПРОВЕРКА ПРОМЛИНИЙ CC|НЕИСПРАВНЫХ КОМПЛЕКТОВ НЕТ", Effect::None},
    {"ТО_E,4,-", "ПРОВЕРКА ВШК С ПОЛЕМ|НЕИСПРАВНЫХ КОМПЛЕКТОВ НЕТ", Effect::None},
    {"ТО_E,3,-", "ПРОВЕРКА ИШК С ПОЛЕМ|НЕИСПРАВНЫХ КОМПЛЕКТОВ НЕТ", Effect::None},
    {"ТО_E,12,-", "ПРОВЕРКА ВШК БЕЗ ПОЛЯ|НЕИСПРАВНЫХ КОМПЛЕКТОВ НЕТ", Effect::None},
    {"ТО_E,11,-", "ПРОВЕРКА ИШК БЕЗ ПОЛЯ|НЕИСПРАВНЫХ КОМПЛЕКТОВ НЕТ", Effect::None},
    {"ТО_E,5,-", "ПРОВЕРКА ПБ С ПОЛЕМ|НЕИСПРАВНЫХ КОМПЛЕКТОВ НЕТ", Effect::None},
    {"ТО_E,13,-", "ПРОВЕРКА ПБ БЕЗ ПОЛЯ|НЕИСПРАВНЫХ КОМПЛЕКТОВ НЕТ", Effect::None},
    {"ТО_E,C,-", "ПРОВЕРКА ПР 1|НЕИСПРАВНЫХ КОМПЛЕКТОВ НЕТ", Effect::None},
    {"ТО_E,D,-", "ПРОВЕРКА П 2|НЕИСПРАВНЫХ КОМПЛЕКТОВ НЕТ", Effect::None},
    {"ТО_E,E,-", "ПРОВЕРКА ПМ ДМ|НЕИСПРАВНЫХ КОМПЛЕКТОВ НЕТ", Effect::None},
    {"ТО_D,C,F,-", "ПРОВЕРКА ОБОРУДОВАНИЯ ПДМ|НЕИСПРАВНЫХ КОМПЛЕКТОВ НЕТ", Effect::None},
    // Versions on the floppy drive: the simulated exchange has none.
    {"ОО_F,402-", "НГМД НЕ ГОТОВ", Effect::None},
    {"ОО_F,401-", "НГМД НЕ ГОТОВ", Effect::None},
    // Commissioning directives.
    {"ОО_2,1-", "УСК В ИСХОДНОМ СОСТОЯНИИ|ОЗУ ДАННЫХ ОБНУЛЕНО", Effect::None},
    {"ОО_2,18-", "ТЕСТ УСК ПО ВСЕМ ИНДЕКСАМ КВВ: НОРМА", Effect::None},
    {"ОО_4,2,,-", "УПРАВЛЕНИЕ БЛОКОМ БАЛ ЗАЦИКЛЕНО", Effect::None},
    {"ОО_2,4-", "КОНТРОЛЬ ОБРЫВА ИТ БАЛ УСТАНОВЛЕН", Effect::None},
    {"ОО_2,3-", "КОНТРОЛЬ ОБРЫВА ИТ БСЛ УСТАНОВЛЕН", Effect::None},
    {"ОО_2,2-", "КОНТРОЛЬ ОБРЫВА ИТ БВЛ УСТАНОВЛЕН", Effect::None},
    {"ОО_2,1F-", "И3 СНЯТ С РАБОТЫ", Effect::None},
    {"ОО_2,B-", "ПАК СНЯТ С РАБОТЫ", Effect::None},
    {"ОО_2,1E-", "И3 ОСНОВНОГО СТВОЛА В РАБОТЕ", Effect::None},
    {"ОО_2,A-", "ПАК ОСНОВНОГО СТВОЛА В РАБОТЕ", Effect::None},
    {"ОО_2,D-", "ПСГ И УПД В РАБОТЕ", Effect::None},
    {"ОО_2,8-", "ШК УСТАНОВЛЕНЫ", Effect::None},
    {"ОО_2,11-", "ВЫБОРКА ШК ВЫПОЛНЕНА", Effect::None},
    {"ОО_2,10-", "ПРОБОЯ ШК НЕТ", Effect::None},
    {"ОО_2,7-", "ВК УСТАНОВЛЕНЫ", Effect::None},
    {"ОО_2,6-", "ИК УСТАНОВЛЕНЫ", Effect::None},
    {"ОО_2,5-", "ПБ УСТАНОВЛЕНЫ", Effect::None},
    {"ОО_2,F-", "СЦЕПОК ШК НЕТ", Effect::None},
};

void SetTopBits(SimMemory& m, uint16_t bits) {
    m.SetWord(layout::kSyncMode, uint16_t((m.Word(layout::kSyncMode) & 0x1FFF) | (bits << 13)));
}
uint16_t TopBits(const SimMemory& m) {
    return uint16_t(m.Word(layout::kSyncMode) >> 13);
}
} // namespace

std::optional<Answer> CannedAnswer(const QString& directive) {
    for (const Row& r : kRows) {
        if (directive != QString::fromUtf8(r.directive)) continue;
        Answer a;
        const QString lines = QString::fromUtf8(r.lines);
        if (!lines.isEmpty()) a.lines = lines.split(QLatin1Char('|'));
        a.effect = r.effect;
        return a;
    }
    return std::nullopt;
}

QStringList CannedDirectives() {
    QStringList all;
    for (const Row& r : kRows)
        all << QString::fromUtf8(r.directive);
    return all;
}

bool ServingCalls(const SimMemory& memory) {
    return memory.Word(layout::kServiceMode) & 1;
}

QStringList ApplyEffect(SimMemory& m, Effect effect) {
    switch (effect) {
    case Effect::None:
        break;
    case Effect::ServeCalls:
        m.SetWord(layout::kServiceMode, uint16_t(m.Word(layout::kServiceMode) | 1));
        break;
    case Effect::Commissioning:
        m.SetWord(layout::kServiceMode, uint16_t(m.Word(layout::kServiceMode) & ~1u));
        break;
    case Effect::Trunk0:
    case Effect::Trunk1:
        m.SetWord(layout::kTrunkInUse, uint16_t((m.Word(layout::kTrunkInUse) & ~0xFu) |
                                                (effect == Effect::Trunk0 ? 0xE : 0xF)));
        break;
    case Effect::Synchronous:
        SetTopBits(m, 6);
        break;
    case Effect::ParityBlocked:
        if (TopBits(m) == 6) SetTopBits(m, 7);
        break;
    case Effect::ParityRestored:
        if (TopBits(m) == 7) SetTopBits(m, 6);
        break;
    case Effect::Autonomous:
        SetTopBits(m, 2);
        break;
    case Effect::ControlSums: {
        // Both machines hold the same program: one sum over the main area.
        uint32_t sum = 0;
        for (uint32_t a = 0x4000; a < 0x8000; ++a)
            sum += m.Word(uint16_t(a));
        const QString hex =
            QString::number(sum & 0xFFFF, 16).toUpper().rightJustified(4, QLatin1Char('0'));
        return {QStringLiteral("КС ЭУМ 0 = ") + hex, QStringLiteral("КС ЭУМ 1 = ") + hex};
    }
    }
    return {};
}

} // namespace sim
