#include "stats/TrunkStats.h"

#include "platform/ProgramLog.h"

namespace {
// Step codes of the table steps (the same meaning for both trunk kinds).
enum : int { kExistStep = 1, kTypeStep, kNaprStep, kDirWordStep, kOkpStep, kBusyStep };

QChar MemberChar(const QString& s, int k) {
    return k < s.size() ? s.at(k) : QLatin1Char('0');
}
} // namespace

const std::array<DirAttrField, TrunkKitRecord::kAttributes>& DirAttrFields() {
    static const std::array<DirAttrField, TrunkKitRecord::kAttributes> f{{
        {"Uved", 15, 1},
        {"TypePN", 12, 3},
        {"Aon", 20, 1},
        {"Sz", 27, 1},
        {"Gs425", 25, 1},
        {"Comm", 19, 1},
        {"PrIN", 26, 1},
        {"Ukn", 29, 3},
        {"KolVC", 16, 3},
        {"KolGC", 21, 3},
        {"Vosst1", 0, 4},
        {"Vosst2", 4, 4},
        {"Vosst3", 8, 4},
    }};
    return f;
}

std::array<int, TrunkKitRecord::kAttributes> DirAttributes(uint32_t word) {
    std::array<int, TrunkKitRecord::kAttributes> a{};
    const auto& f = DirAttrFields();
    for (size_t i = 0; i < f.size(); ++i)
        a[i] = int((word >> f[i].lowBit) & ((1u << f[i].width) - 1));
    return a;
}

TrunkStats::TrunkStats(const TrunkKind& kind, const QString& curDir)
    : Kits(kKits), Members(size_t(kind.Directions)), m_kind(kind), m_tables(kind, curDir) {
    for (int k = 0; k < kKits; ++k)
        Kits[size_t(k)].Kit = k;
}

const StatStep* TrunkStats::Step(int code) const {
    for (const auto* list : {&m_kind.Refresh, &m_kind.Stored})
        for (const StatStep& s : *list)
            if (s.code == code) return &s;
    return m_kind.Live.code == code ? &m_kind.Live : nullptr;
}

void TrunkStats::Decode(const StatStep& step, const uint8_t* data, StatFields& fields) {
    if (step.storeSlot >= 0) {
        StatProtocol::Decode(step, data, fields);
        return;
    }
    // Tables are stored from the highest kit down: element i is kit 191 - i.
    constexpr int last = kKits - 1;
    switch (step.code) {
    case kExistStep:
        for (int i = 0; i < kKits; ++i)
            Exist[size_t(last - i)] = data[i];
        break;
    case kTypeStep:
        for (int i = 0; i < kKits; ++i)
            Type[size_t(last - i)] = data[i];
        break;
    case kNaprStep:
        for (int i = 0; i < kKits; ++i)
            Napr[size_t(last - i)] = uint8_t(stats::Byte(data + 2 * i));
        break;
    case kDirWordStep:
        for (int i = 0; i < kDirWords; ++i)
            DirWord[size_t(kDirWords - 1 - i)] = stats::DoubleWord(data + 8 * i);
        break;
    case kOkpStep:
        for (int i = 0; i < kKits; ++i)
            Okp[size_t(last - i)] = uint16_t(stats::State(data + 4 * i));
        if (!WriteTables())
            WriteLog(QStringLiteral("Статистика ") + m_kind.Name + QStringLiteral(": ") +
                     m_tables.LastError());
        break;
    case kBusyStep:
        for (int i = 0; i < kKits; ++i)
            Busy[size_t(last - i)] = data[i];
        if (LiveFrame) LiveFrame();
        break;
    default:
        break;
    }
}

std::vector<TrunkKitRecord> TrunkStats::RowsFromArrays() const {
    std::vector<TrunkKitRecord> rows(kKits);
    for (int k = 0; k < kKits; ++k) {
        TrunkKitRecord& r = rows[size_t(k)];
        r.Kit = k;
        r.Exist = Exist[size_t(k)];
        r.Type = Type[size_t(k)];
        r.Napr = Napr[size_t(k)] & 63;
        r.Okp = Okp[size_t(k)];
        if (m_kind.Attributes) {
            r.KVPNapr = Napr[size_t(k)] >> 6;
            // The attributes of the kit's own direction (none beyond 31).
            if (r.Napr < kDirWords) r.Attr = DirAttributes(DirWord[size_t(r.Napr)]);
        }
    }
    return rows;
}

std::vector<QString> TrunkStats::MembersFromArrays() const {
    std::vector<QString> m(size_t(m_kind.Directions), QString(kKits, QLatin1Char('0')));
    for (int k = 0; k < kKits; ++k) {
        const int d = Napr[size_t(k)] & 63;
        if (d < m_kind.Directions) m[size_t(d)][k] = QLatin1Char('1');
    }
    return m;
}

bool TrunkStats::WriteTables() {
    Kits = RowsFromArrays();
    Members = MembersFromArrays();
    return m_tables.Write(Kits, Members);
}

bool TrunkStats::LoadRecords() {
    return m_tables.Load(Kits, Members);
}

bool TrunkStats::IsMember(int kit, int direction) const {
    if (direction < 0 || direction >= int(Members.size())) return false;
    return MemberChar(Members[size_t(direction)], kit) == QLatin1Char('1');
}

stats::PanelLook TrunkStats::DirectionLook(int d) const {
    int total = 0, busy = 0, blocked = 0;
    for (int k = 0; k < kKits; ++k) {
        if (!IsMember(k, d)) continue;
        const TrunkKitRecord& r = Kits[size_t(k)];
        if (r.Exist == 1) {
            ++total;
            if (Busy[size_t(k)] == 1) ++busy;
        }
        // Blocked kits count whether present or not.
        if (stats::IsBlockedState(r.Okp)) ++blocked;
    }
    stats::PanelLook look;
    if (blocked > 0) look.colour = stats::colour::kPurple;
    if (total > 0) {
        look.raised = true;
        // A negative load (more blocked than busy) keeps the colour.
        if (auto c = stats::LoadColour(stats::LoadPercent(busy, blocked, total))) look.colour = c;
    }
    return look;
}

TrunkStats::Detail TrunkStats::DirectionDetail(int d) const {
    Detail det;
    det.kits.resize(kKits);
    for (int k = 0; k < kKits; ++k) {
        stats::PanelLook& look = det.kits[size_t(k)];
        if (!IsMember(k, d)) {
            look.colour = stats::colour::kButtonFace;
            continue;
        }
        const TrunkKitRecord& r = Kits[size_t(k)];
        if (r.Exist == 1) {
            look.raised = true;
            ++det.total;
            if (Busy[size_t(k)] == 1) {
                ++det.busy;
                look.colour = stats::colour::kLime;
            } else {
                look.colour = stats::colour::kGreen;
            }
        }
        if (stats::IsBlockedState(r.Okp)) {
            look.colour = stats::colour::kPurple;
            ++det.blocked;
        }
    }
    return det;
}

QString TrunkStats::Detail::LoadText() const {
    if (total < 1) return QStringLiteral("0");
    return QString::number(stats::LoadPercent(busy, blocked, total)) + QLatin1Char('%');
}

int TrunkStats::PresentMembers(int d) const {
    int n = 0;
    for (int k = 0; k < kKits; ++k)
        if (IsMember(k, d) && Kits[size_t(k)].Exist == 1) ++n;
    return n;
}

std::optional<TrunkKitRecord> TrunkStats::HeaderRecord(int d) const {
    for (int k = 0; k < kKits; ++k)
        if (IsMember(k, d)) return Kits[size_t(k)];
    return std::nullopt;
}

QString TrunkStats::TypeText(int type) const {
    return type >= 0 && type < int(m_kind.Types.size()) ? m_kind.Types[size_t(type)] : QString();
}

QString TrunkStats::KitHint(int k) const {
    if (k < 0 || k >= kKits) return QString();
    const TrunkKitRecord& r = Kits[size_t(k)];
    QString exist;
    if (r.Exist == 0) exist = QStringLiteral("Нет");
    if (r.Exist == 1) exist = QStringLiteral("Есть");
    QStringList lines{m_kind.HintName + stats::ShortHex(k), QStringLiteral("Наличие ") + exist,
                      QStringLiteral("Тип ") + TypeText(r.Type),
                      QStringLiteral("Направление ") + stats::ShortHex(r.Napr)};
    if (m_kind.Attributes) {
        const QString bundle =
            r.KVPNapr >= 0 && r.KVPNapr < 4 ? m_kind.Bundles[size_t(r.KVPNapr)] : QString();
        lines << QStringLiteral("КВП ") + bundle;
    }
    return lines.join(QStringLiteral("\r\n"));
}
