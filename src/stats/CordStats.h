#pragma once
// Cord kit statistics: the outgoing ("ИШК") and incoming ("ВШК") cord kits,
// 16 racks ("Статив") of 32 kits, kit number = rack * 32 + position. The
// overview reads the kind's base word, the exchange kind and which racks are
// equipped; the detail of one rack reads its kits' states live. The two kinds
// are one mechanism: a kind is data (CordKind).
#include "stats/StatProtocol.h"
#include "stats/StatValues.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

struct CordKind {
    QString Name;           // "ИШК", "ВШК"
    int BaseAddress = 0;    // the base word read by step 100
    int BaseSlot = 0;       // its StatBase slot
    QString OverviewPrefix; // "Статистика ИШК. "
    QString DetailPrefix;   // "ИШК. Статив "
};
const CordKind& IskKind();
const CordKind& VskKind();

class CordStats : public StatProtocol {
public:
    static constexpr int kRacks = 16;
    static constexpr int kRackKits = 32;
    enum : int { kBaseStep = 100, kKindStep = 101, kRacksStep = 1, kStatesStep = 2 };

    explicit CordStats(const CordKind& kind);
    const CordKind& Kind() const { return m_kind; }

    // The overview: the base word, the exchange kind, the rack bits.
    const std::vector<StatStep>& OverviewSteps() const { return m_overview; }
    // The detail of a rack: its kits' state words from rack * 32 + the base
    // word, live.
    StatStep StatesStep(int rack, const StatFields& fields) const;

    // StatProtocol
    const StatStep* Step(int code) const override;
    void Decode(const StatStep& step, const uint8_t* data, StatFields& fields) override;

    bool Paired = true;                         // exchange kind (step 101)
    std::array<uint8_t, 4 * kRacks> RackBits{}; // bit j: rack j / 4
    std::array<uint8_t, kRackKits> States{};    // by position, 0..7

    // "Спаренный( Сельская АТС)" or "Не спаренный( Городская, учрежденческая АТС)".
    QString ExchangeKindText() const;
    QString OverviewCaption() const;
    QString DetailCaption(int rack) const;
    bool Equipped(int rack) const;
    stats::PanelLook RackLook(int rack) const;
    // A kit's colour by its state: 0 green, 2 and 5 purple, 3 yellow; none
    // for the others (the panel keeps its colour).
    static std::optional<uint32_t> StateColour(int state);
    std::optional<uint32_t> KitColour(int position) const;

    // A step's frame has been decoded (the windows repaint).
    std::function<void(int code)> Decoded;

private:
    const CordKind& m_kind;
    std::vector<StatStep> m_overview;
    StatStep m_states;
};

// The protocol objects of the two kinds.
class TStatIskAts : public CordStats {
public:
    TStatIskAts() : CordStats(IskKind()) {}
};
class TStatVskAts : public CordStats {
public:
    TStatVskAts() : CordStats(VskKind()) {}
};
