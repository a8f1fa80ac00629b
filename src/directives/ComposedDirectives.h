#pragma once
// Directives the buttons compose from other controls or from a small dialog:
// the memory templates with their block number, the switch diagnostics, the
// partial unblocking of a subscriber kit, the indexed array write and the
// clock setting. Plain functions: the windows only bind controls to them.
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>

namespace ComposedDirectives {

struct Template {
    QString mask;
    int caret = 0;
};

enum class MemoryButton { PrintCell, PrintArray, WriteCell, WriteArray };

// Template of a memory button for memory block `block` (0..6). With a block
// other than 0 each address starts with the block digit as a literal.
Template Memory(MemoryButton which, int block);

// "Диагностика" of "Директивы ОО" › "ИТ" and of "Директивы ТО" › "Служебные
// комп." › "Коммутатор": k is the switch (0..5) chosen in its group.
Template SwitchDiagnosticsOO(int k);
Template SwitchDiagnosticsTO(int k);

// "Частичная разблокировка АК": the kit's line number as typed (hexadecimal,
// blanks ignored) gives "ЗЯ_" + notation(n + 5632) + ",00000"; nullopt when
// the text holds no hexadecimal number.
std::optional<QString> UnblockKit(const QString& lineNumber);

// "Установка": "КВ_hh,mm,dd,MM,yy" (or yyyy) of one reading of the clock;
// Execute adds the terminator.
QString ClockSetting(const QDateTime& t, bool fourDigitYear);

// The five fields of the dialog "Настройка", as typed.
struct BlockParams {
    QString first;     // "Начало блока"
    QString last;      // "Конец блока"
    QString step;      // "Шаг адреса"
    QString increment; // "Приращение"
    QString value;     // "Начальное значение"
};

// "Записать массив индексированно": one "ЗЯ_" directive per address from
// the first to the last, address and value advancing by step and increment.
// Fields are read in the exchange address notation (only "0"-"9" and "A"-"F"
// count). A last address below the first counts from the first. Addresses
// end at FFFF: the notation has no room for more, and wrapping round would
// write the bottom of memory. With step 0 the same address repeats for ever;
// the caller ends that (Esc).
class IndexedWrite {
public:
    IndexedWrite(const BlockParams& p, int block);
    // The next directive, or nullopt when the run is complete.
    std::optional<QString> Next();
    int Address() const { return m_address; }
    int Last() const { return m_last; }
    int Step() const { return m_step; }

private:
    int m_address = 0;
    int m_last = 0;
    int m_step = 0;
    int m_increment = 0;
    int m_value = 0;
    int m_block = 0;
};

} // namespace ComposedDirectives
