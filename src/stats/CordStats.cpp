#include "stats/CordStats.h"

const CordKind& IskKind() {
    static const CordKind kind{QStringLiteral("ИШК"), 0x4085, 12,
                               QStringLiteral("Статистика ИШК. "), QStringLiteral("ИШК. Статив ")};
    return kind;
}

const CordKind& VskKind() {
    static const CordKind kind{QStringLiteral("ВШК"), 0x4086, 13,
                               QStringLiteral("Статистика ВШК. "), QStringLiteral("ВШК. Статив ")};
    return kind;
}

CordStats::CordStats(const CordKind& kind)
    : m_kind(kind),
      m_overview{
          {.code = kBaseStep,
           .address = kind.BaseAddress,
           .codes = 4,
           .progress = 30,
           .storeSlot = kind.BaseSlot},
          {.code = kKindStep, .address = 0x601B, .codes = 4, .progress = 60},
          {.code = kRacksStep, .address = 0x5F30, .codes = 16, .bitMode = true, .progress = 100}},
      m_states{.code = kStatesStep, .codes = 4 * kRackKits, .live = true} {}

StatStep CordStats::StatesStep(int rack, const StatFields& fields) const {
    StatStep s = m_states;
    const int base = fields.StatBase[size_t(m_kind.BaseSlot)];
    s.address = ((rack & (kRacks - 1)) * kRackKits + base) & 0xFFFF;
    return s;
}

const StatStep* CordStats::Step(int code) const {
    for (const StatStep& s : m_overview)
        if (s.code == code) return &s;
    return code == kStatesStep ? &m_states : nullptr;
}

void CordStats::Decode(const StatStep& step, const uint8_t* data, StatFields& fields) {
    switch (step.code) {
    case kBaseStep:
        StatProtocol::Decode(step, data, fields);
        break;
    case kKindStep:
        Paired = !(data[0] || data[1] || data[2] || data[3]);
        break;
    case kRacksStep:
        for (int j = 0; j < int(RackBits.size()); ++j)
            RackBits[size_t(j)] = data[RackBits.size() - 1 - size_t(j)];
        break;
    case kStatesStep:
        // The rack's table is stored from its highest kit down.
        for (int i = 0; i < kRackKits; ++i)
            States[size_t(kRackKits - 1 - i)] = uint8_t(stats::State(data + 4 * i));
        break;
    default:
        return;
    }
    if (Decoded) Decoded(step.code);
}

QString CordStats::ExchangeKindText() const {
    return Paired ? QStringLiteral("Спаренный( Сельская АТС)")
                  : QStringLiteral("Не спаренный( Городская, учрежденческая АТС)");
}

QString CordStats::OverviewCaption() const {
    return m_kind.OverviewPrefix + ExchangeKindText();
}

QString CordStats::DetailCaption(int rack) const {
    return m_kind.DetailPrefix + stats::ShortHex(rack);
}

bool CordStats::Equipped(int rack) const {
    for (int j = 4 * rack; j < 4 * rack + 4; ++j)
        if (RackBits[size_t(j)] == 1) return true;
    return false;
}

stats::PanelLook CordStats::RackLook(int rack) const {
    if (Equipped(rack)) return {stats::colour::kGreen, true};
    return {stats::colour::kButtonFace, false};
}

std::optional<uint32_t> CordStats::StateColour(int state) {
    switch (state) {
    case 0:
        return stats::colour::kGreen;
    case 2:
    case 5:
        return stats::colour::kPurple;
    case 3:
        return stats::colour::kYellow;
    default:
        return std::nullopt;
    }
}

std::optional<uint32_t> CordStats::KitColour(int position) const {
    return StateColour(States[size_t(position & (kRackKits - 1))]);
}
