#pragma once
// The configuration tables of a trunk kind under "PelmarkStandard": per
// exchange N a kit table (192 rows) and a direction table (one row per
// direction, the kits of a direction as a string of "0" and "1").
#include "tables/Table.h"

#include <QString>

#include <array>
#include <memory>
#include <vector>

// One kit: the kit-table row.
struct TrunkKitRecord {
    static constexpr int kAttributes = 13;
    // Indexes into Attr, in the table's field order.
    enum Attribute {
        Uved,
        TypePN,
        Aon,
        Sz,
        Gs425,
        Comm,
        PrIN,
        Ukn,
        KolVC,
        KolGC,
        Vosst1,
        Vosst2,
        Vosst3
    };
    int Kit = 0;
    int Exist = 0;
    int Type = 0;
    int Napr = 0;                        // direction, 0..63
    int KVPNapr = 0;                     // bundle kind, 0..3 (incoming kits)
    int Okp = 0;                         // kit state 0..7
    std::array<int, kAttributes> Attr{}; // direction attributes (incoming kits)
    bool operator==(const TrunkKitRecord&) const = default;
};

struct TrunkKind;

class TrunkTables {
public:
    static constexpr int kKits = 192;

    TrunkTables(const TrunkKind& kind, const QString& curDir);
    ~TrunkTables();

    tables::FieldList KitFields() const;
    tables::FieldList DirectionFields() const;
    // File of a table of exchange n ("TableVK1.db").
    QString KitPath(int n) const;
    QString DirectionPath(int n) const;

    // Assigns and opens the pair of exchange n (1..4), creating a table that
    // does not exist; other numbers stay unassigned (false).
    bool Open(int n);
    void Close();
    bool IsOpen() const;
    // Both tables of the open pair hold rows.
    bool BothHoldRows();

    // Replaces the rows of both tables, as one change.
    bool Write(const std::vector<TrunkKitRecord>& kits, const std::vector<QString>& members);
    // The first row of each kit and direction number; rows not found leave
    // their record as it is.
    bool Load(std::vector<TrunkKitRecord>& kits, std::vector<QString>& members);

    QString LastError() const { return m_error; }

private:
    bool Fail(const QString& text);

    const TrunkKind& m_kind;
    QString m_dir;
    std::unique_ptr<tables::Table> m_kit, m_direction;
    QString m_error;
};
