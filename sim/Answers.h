#pragma once
// The simulated exchange's answers to its maintenance directives: a printout
// per known directive, and what the directive changes in the exchange's
// state cells (service mode, trunk in use, machine mode). Held as a table.
#include <QString>
#include <QStringList>

#include <optional>

namespace sim {

class SimMemory;

enum class Effect {
    None,
    ServeCalls,     // 2478 bit 0 set: "Режим обслуживания вызовов"
    Commissioning,  // 2478 bit 0 clear: "Пусконаладочный режим"
    Trunk0,         // 2479 low four bits E: trunk 0 in use
    Trunk1,         // 2479 low four bits F: trunk 1 in use
    Synchronous,    // 00EC bits 15-13 = 6
    ParityBlocked,  // 00EC bits 15-13 6 -> 7
    ParityRestored, // 00EC bits 15-13 7 -> 6
    Autonomous,     // 00EC bits 15-13 = 2: one machine stopped
    ControlSums,    // the lines are computed from memory
};

struct Answer {
    QStringList lines;
    Effect effect = Effect::None;
};

// The answer to a directive (its whole text, "ТО_4,1-"), nullopt when the
// table does not know it.
std::optional<Answer> CannedAnswer(const QString& directive);
// Every directive the table knows.
QStringList CannedDirectives();

// Applies an effect to memory; ControlSums returns its lines.
QStringList ApplyEffect(SimMemory& memory, Effect effect);

// The exchange serves calls (2478 bit 0): "ОО" directives then refuse.
bool ServingCalls(const SimMemory& memory);

} // namespace sim
