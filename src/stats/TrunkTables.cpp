#include "stats/TrunkTables.h"

#include "stats/TrunkStats.h"
#include "tables/Aliases.h"
#include "tables/TxFile.h"

using tables::FieldDef;
using tables::FieldList;
using tables::FieldType;
using tables::Table;

TrunkTables::TrunkTables(const TrunkKind& kind, const QString& curDir) : m_kind(kind) {
    m_dir = tables::AliasDirectory(tables::kAliasStandard, curDir, &m_error);
}

TrunkTables::~TrunkTables() {
    Close();
}

bool TrunkTables::Fail(const QString& text) {
    m_error = text;
    return false;
}

FieldList TrunkTables::KitFields() const {
    FieldList f{{m_kind.KitField, FieldType::Smallint},
                {QStringLiteral("Exist"), FieldType::Smallint},
                {QStringLiteral("Type"), FieldType::Smallint},
                {QStringLiteral("Napr"), FieldType::Smallint}};
    if (m_kind.Attributes) f.append({QStringLiteral("KVPNapr"), FieldType::Smallint});
    f.append({QStringLiteral("Okp"), FieldType::Integer});
    if (m_kind.Attributes)
        for (const DirAttrField& a : DirAttrFields())
            f.append({QLatin1String(a.name), FieldType::Smallint});
    return f;
}

FieldList TrunkTables::DirectionFields() const {
    return {{QStringLiteral("Napr"), FieldType::Smallint},
            {m_kind.KitField, FieldType::String, m_kind.MembersSize}};
}

QString TrunkTables::KitPath(int n) const {
    return tables::FindFileNoCase(m_dir,
                                  m_kind.KitTable + QString::number(n) + QStringLiteral(".db"));
}

QString TrunkTables::DirectionPath(int n) const {
    return tables::FindFileNoCase(m_dir, m_kind.DirectionTable + QString::number(n) +
                                             QStringLiteral(".db"));
}

bool TrunkTables::Open(int n) {
    Close();
    if (n < 1 || n > 4 || m_dir.isEmpty())
        return Fail(QStringLiteral("no tables for exchange ") + QString::number(n));
    m_kit = Table::ForFile(KitPath(n));
    m_direction = Table::ForFile(DirectionPath(n));
    // The pair of an exchange comes into being at its first run.
    if (!m_kit->Exists() && !m_kit->Create(KitFields())) return Fail(m_kit->LastError());
    if (!m_direction->Exists() && !m_direction->Create(DirectionFields()))
        return Fail(m_direction->LastError());
    if (!m_kit->Open()) return Fail(m_kit->LastError());
    if (!m_direction->Open()) return Fail(m_direction->LastError());
    return true;
}

void TrunkTables::Close() {
    if (m_kit) m_kit->Close();
    if (m_direction) m_direction->Close();
}

bool TrunkTables::IsOpen() const {
    return m_kit && m_direction && m_kit->IsOpen() && m_direction->IsOpen();
}

bool TrunkTables::BothHoldRows() {
    return IsOpen() && m_kit->RecordCount() > 0 && m_direction->RecordCount() > 0;
}

bool TrunkTables::Write(const std::vector<TrunkKitRecord>& kits,
                        const std::vector<QString>& members) {
    if (!IsOpen()) return Fail(QStringLiteral("tables not open"));
    tables::Transaction tx(m_dir);
    if (!m_kit->Empty()) return Fail(m_kit->LastError());
    for (const TrunkKitRecord& r : kits) {
        QVariantList row{r.Kit, r.Exist, r.Type, r.Napr};
        if (m_kind.Attributes) row << r.KVPNapr;
        row << r.Okp;
        if (m_kind.Attributes)
            for (int a : r.Attr)
                row << a;
        if (!m_kit->Append(row)) return Fail(m_kit->LastError());
    }
    if (!m_direction->Empty()) return Fail(m_direction->LastError());
    for (int d = 0; d < int(members.size()); ++d)
        if (!m_direction->Append({d, members[size_t(d)]})) return Fail(m_direction->LastError());
    QString error;
    if (!tx.Commit(&error)) return Fail(error);
    return true;
}

bool TrunkTables::Load(std::vector<TrunkKitRecord>& kits, std::vector<QString>& members) {
    if (!IsOpen()) return Fail(QStringLiteral("tables not open"));
    // One pass over each table; the first row of a number counts, as a
    // locate by that number would find it.
    std::vector<bool> seen(kits.size());
    const int kitRows = m_kit->RecordCount();
    for (int i = 0; i < kitRows; ++i) {
        if (!m_kit->GoTo(i)) return Fail(m_kit->LastError());
        const int k = int(m_kit->AsInteger(m_kind.KitField));
        if (k < 0 || k >= int(kits.size()) || seen[size_t(k)]) continue;
        seen[size_t(k)] = true;
        TrunkKitRecord& r = kits[size_t(k)];
        r.Kit = k;
        r.Exist = int(m_kit->AsInteger(QStringLiteral("Exist")));
        r.Type = int(m_kit->AsInteger(QStringLiteral("Type")));
        r.Napr = int(m_kit->AsInteger(QStringLiteral("Napr")));
        r.Okp = int(m_kit->AsInteger(QStringLiteral("Okp")));
        if (m_kind.Attributes) {
            r.KVPNapr = int(m_kit->AsInteger(QStringLiteral("KVPNapr")));
            for (size_t a = 0; a < r.Attr.size(); ++a)
                r.Attr[a] = int(m_kit->AsInteger(QLatin1String(DirAttrFields()[a].name)));
        }
    }
    seen.assign(members.size(), false);
    const int dirRows = m_direction->RecordCount();
    for (int i = 0; i < dirRows; ++i) {
        if (!m_direction->GoTo(i)) return Fail(m_direction->LastError());
        const int d = int(m_direction->AsInteger(QStringLiteral("Napr")));
        if (d < 0 || d >= int(members.size()) || seen[size_t(d)]) continue;
        seen[size_t(d)] = true;
        members[size_t(d)] = m_direction->AsText(m_kind.KitField);
    }
    return true;
}
