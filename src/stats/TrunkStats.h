#pragma once
// Trunk kit statistics, the part the incoming (StatVK.h) and outgoing
// (StatIK.h) kinds share: 192 kits grouped into directions. The steps read
// the kits' presence, types, direction bytes, direction attribute words
// (incoming only) and states, which are stored in the kind's two tables per
// exchange; the live step reads the busy bits. The records loaded from the
// tables and the busy bits give the load of each direction and the state of
// each kit (the looks the windows paint).
//
// A kind is data (TrunkKind): its steps, texts, table names and sizes.
#include "stats/StatProtocol.h"
#include "stats/StatValues.h"
#include "stats/TrunkTables.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

struct TrunkKind {
    QString Name;                   // "ВК", "ИК"
    QString HintName;               // first word of a kit hint: "BK " (Latin), "ИK "
    int Directions = 32;            // direction panels
    bool Attributes = false;        // direction attribute words and bundle kinds
    QString KitTable;               // table names without the exchange number: "TableVK"
    QString DirectionTable;         // "TableNaprVK"
    QString KitField;               // kit-number field and membership field: "VK"
    int MembersSize = 192;          // size of the membership string field
    std::array<QString, 16> Types;  // kit type texts
    std::array<QString, 4> Bundles; // bundle-kind texts (with Attributes)
    std::vector<StatStep> Refresh;  // steps of the refresh path, in order
    std::vector<StatStep> Stored;   // steps of the stored path before the live one
    StatStep Live;
};

class TrunkStats : public StatProtocol {
public:
    static constexpr int kKits = TrunkTables::kKits;
    static constexpr int kDirWords = 32;

    TrunkStats(const TrunkKind& kind, const QString& curDir);
    const TrunkKind& Kind() const { return m_kind; }
    TrunkTables& Tables() { return m_tables; }

    // StatProtocol
    const StatStep* Step(int code) const override;
    void Decode(const StatStep& step, const uint8_t* data, StatFields& fields) override;

    // Unit arrays (index: kit, or direction for DirWord).
    std::array<uint8_t, kKits> Exist{};
    std::array<uint8_t, kKits> Type{};
    std::array<uint8_t, kKits> Napr{}; // direction in bits 0-5, bundle kind in bits 6-7
    std::array<uint16_t, kKits> Okp{};
    std::array<uint8_t, kKits> Busy{};
    std::array<uint32_t, kDirWords> DirWord{};

    // Records (kit k, direction d), loaded from the tables.
    std::vector<TrunkKitRecord> Kits;
    std::vector<QString> Members; // membership strings; empty: not loaded
    int Selected = 0;             // the direction open in the detail window

    // The kit rows the arrays make (written at the table step).
    std::vector<TrunkKitRecord> RowsFromArrays() const;
    std::vector<QString> MembersFromArrays() const;
    // Writes the tables from the arrays; the records take the same values.
    bool WriteTables();
    // Refills the records from the tables (records not found keep theirs).
    bool LoadRecords();

    // A live frame has been decoded: the windows repaint.
    std::function<void()> LiveFrame;

    // ---- what the windows show
    bool IsMember(int kit, int direction) const;
    stats::PanelLook DirectionLook(int direction) const;
    struct Detail {
        std::vector<stats::PanelLook> kits; // one per kit
        int total = 0, busy = 0, blocked = 0;
        QString LoadText() const; // load with "%", "0" when total < 1
    };
    Detail DirectionDetail(int direction) const;
    int PresentMembers(int direction) const; // members with Exist = 1
    // The lowest-numbered member kit's record (its direction attributes).
    std::optional<TrunkKitRecord> HeaderRecord(int direction) const;
    // The kit panel's hint, lines separated by CR LF.
    QString KitHint(int kit) const;
    QString TypeText(int type) const;

private:
    const TrunkKind& m_kind;
    TrunkTables m_tables;
};

// Attribute fields of an incoming trunk direction word, in kit-table order.
struct DirAttrField {
    const char* name;
    int lowBit;
    int width;
};
const std::array<DirAttrField, TrunkKitRecord::kAttributes>& DirAttrFields();
std::array<int, TrunkKitRecord::kAttributes> DirAttributes(uint32_t word);
