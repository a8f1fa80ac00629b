#include "tariff/TariffTables.h"

#include "platform/Clock.h"
#include "platform/ProgramLog.h"
#include "tables/Aliases.h"
#include "tables/TxFile.h"

#include <QDir>
#include <QFileInfo>

using tables::FieldDef;
using tables::FieldList;
using tables::FieldType;
using tables::Table;

namespace {

const QString kTarifTA = QStringLiteral("TarifTA2.DB");
const QString kDestTar = QStringLiteral("DestTar.db");
const QString kSng = QStringLiteral("Sng.db");
const QString kForen = QStringLiteral("Foren.db");
const QString kSegment = QStringLiteral("Segment.DB");
const QString kTemplate = QStringLiteral("0601.dbf");

QString FileStamp(const QString& path) {
    const QFileInfo fi(path);
    if (!fi.exists()) return QStringLiteral("-");
    return QString::number(fi.size()) + QLatin1Char('@') +
           QString::number(fi.lastModified().toMSecsSinceEpoch());
}

} // namespace

const FieldList& TariffTables::TarifTAFields() {
    static const FieldList f{{QStringLiteral("AbNumber"), FieldType::Integer},
                             {QStringLiteral("AkNumber"), FieldType::Smallint},
                             {QStringLiteral("DateTime"), FieldType::DateTime},
                             {QStringLiteral("Cat"), FieldType::Smallint},
                             {QStringLiteral("Number_of_call"), FieldType::Integer},
                             {QStringLiteral("DigAN"), FieldType::Smallint},
                             {QStringLiteral("DigTo"), FieldType::Smallint},
                             {QStringLiteral("ATS"), FieldType::Smallint}};
    return f;
}

const FieldList& TariffTables::DestTarFields() {
    static const FieldList f{{QStringLiteral("AbNumber"), FieldType::Integer},
                             {QStringLiteral("Date_of_call"), FieldType::Date},
                             {QStringLiteral("Time_of_call"), FieldType::Time},
                             {QStringLiteral("Longivity"), FieldType::Integer},
                             {QStringLiteral("Cat"), FieldType::Smallint},
                             {QStringLiteral("Number_of_call"), FieldType::Integer},
                             {QStringLiteral("Code"), FieldType::String, 10},
                             {QStringLiteral("CodeForeign"), FieldType::String, 10},
                             {QStringLiteral("TRF"), FieldType::Float}};
    return f;
}

const FieldList& TariffTables::DayFields() {
    static const FieldList f{{QStringLiteral("ABON_A"), FieldType::String, 4},
                             {QStringLiteral("ABON_B"), FieldType::String, 15},
                             {QStringLiteral("HOUR"), FieldType::Smallint},
                             {QStringLiteral("MIN"), FieldType::Smallint},
                             {QStringLiteral("DLIT"), FieldType::Smallint},
                             {QStringLiteral("KANAL"), FieldType::Smallint},
                             {QStringLiteral("BLOCK"), FieldType::Smallint}};
    return f;
}

const FieldList& TariffTables::SegmentFields() {
    static const FieldList f{{QStringLiteral("Segment"), FieldType::String, 20},
                             {QStringLiteral("Comment"), FieldType::String, 255}};
    return f;
}

TariffTables::TariffTables(const QString& curDir) : m_curDir(curDir) {}

TariffTables::~TariffTables() {
    CloseTables();
}

QString TariffTables::TemplatePath() const {
    const QString cur = m_curDir.isEmpty() ? QDir::currentPath() : m_curDir;
    return tables::FindFileNoCase(cur, kTemplate);
}

QString TariffTables::DayFilePath() const {
    return tables::FindFileNoCase(m_dayDir, m_dayName + QStringLiteral(".dbf"));
}

bool TariffTables::OpenOrCreate(std::unique_ptr<Table>& t, const QString& name,
                                const FieldList& fields, int keys) {
    if (!t) t = Table::ForFile(tables::FindFileNoCase(m_stdDir, name));
    if (t->IsOpen()) return true;
    if (!t->Exists() && !t->Create(fields, keys)) {
        WriteLog(t->LastError());
        return false;
    }
    if (!t->Open()) {
        WriteLog(t->LastError());
        return false;
    }
    return true;
}

bool TariffTables::OpenDestinations(bool logFailure) {
    bool ok = true;
    for (auto* t : {&m_sng, &m_foren}) {
        if (!*t) *t = Table::ForFile(tables::FindFileNoCase(m_stdDir, t == &m_sng ? kSng : kForen));
        if ((*t)->IsOpen()) continue;
        if (!(*t)->Open(true) || !(*t)->SetIndex(QStringLiteral("KOD"))) {
            (*t)->Close();
            ok = false;
        }
    }
    if (!ok) {
        m_destStamp = FileStamp(m_sng->Path()) + QLatin1Char('|') + FileStamp(m_foren->Path());
        if (logFailure) WriteLog(QStringLiteral("Ошибка открытия таблиц SNG или Foren"));
    }
    return ok;
}

Table* TariffTables::Destination(std::unique_ptr<Table>& t) {
    if (!t) return nullptr;
    if (!t->IsOpen() && !m_destLent) {
        // Tried again only after the companion program has changed the files.
        const QString stamp =
            FileStamp(m_sng->Path()) + QLatin1Char('|') + FileStamp(m_foren->Path());
        if (stamp != m_destStamp) OpenDestinations(false);
    }
    return t->IsOpen() ? t.get() : nullptr;
}

Table* TariffTables::Sng() {
    return Destination(m_sng);
}
Table* TariffTables::Foren() {
    return Destination(m_foren);
}

bool TariffTables::EnsureTemplate() {
    const QString path = TemplatePath();
    if (QFileInfo::exists(path)) return true;
    auto t = Table::ForFile(path);
    if (!t->Create(DayFields())) {
        WriteLog(t->LastError());
        return false;
    }
    return true;
}

bool TariffTables::OpenDayFile(bool replace) {
    if (m_today) m_today->Close();
    m_dayName = DayNameOf(Clock::Now().date());
    const QString path = DayFilePath();
    if (replace || !QFileInfo::exists(path)) {
        // A failed copy shows up as the failure of the open below.
        QString e;
        if (EnsureTemplate() && !tables::CopyFileOver(TemplatePath(), path, &e)) WriteLog(e);
    }
    m_today = Table::ForFile(path);
    if (!m_today->Open()) {
        WriteLog(m_today->LastError());
        return false;
    }
    return true;
}

bool TariffTables::OpenTables() {
    QString e;
    m_stdDir = tables::AliasDirectory(tables::kAliasStandard, m_curDir, &e);
    if (m_stdDir.isEmpty()) {
        WriteLog(e);
        return false;
    }
    m_dayDir = tables::AliasDirectory(tables::kAliasEveryday, m_curDir, &e);
    if (m_dayDir.isEmpty()) {
        WriteLog(e);
        return false;
    }
    // A commit cut short by a crash is finished before anything is read.
    if (!tables::RecoverJournal(m_stdDir, &e)) WriteLog(e);
    if (!tables::RecoverJournal(m_dayDir, &e)) WriteLog(e);

    OpenDestinations(true);
    bool ok = OpenDayFile(false);
    ok = OpenOrCreate(m_ta, kTarifTA, TarifTAFields(), 0) && ok;
    ok = OpenOrCreate(m_tarif, kDestTar, DestTarFields(), 0) && ok;
    ok = OpenOrCreate(m_segm, kSegment, SegmentFields(), 1) && ok;
    return ok;
}

void TariffTables::CloseTables() {
    for (auto* t : {&m_sng, &m_foren, &m_today, &m_ta, &m_tarif, &m_segm})
        if (*t) (*t)->Close();
}

bool TariffTables::SwitchDayFile() {
    return OpenDayFile(true);
}

bool TariffTables::CloseTariffTable(const QString& fileName) {
    for (auto* t : {&m_ta, &m_tarif, &m_sng, &m_foren}) {
        if (*t && QFileInfo((*t)->Path()).fileName().compare(fileName, Qt::CaseInsensitive) == 0) {
            (*t)->Close();
            // Not opened again on the next lookup (a rebuild holds it).
            if (t == &m_sng || t == &m_foren) m_destLent = true;
            return true;
        }
    }
    return false;
}

bool TariffTables::ReopenTariffTable(const QString& fileName) {
    if (fileName.compare(kTarifTA, Qt::CaseInsensitive) == 0)
        return OpenOrCreate(m_ta, kTarifTA, TarifTAFields(), 0);
    if (fileName.compare(kDestTar, Qt::CaseInsensitive) == 0)
        return OpenOrCreate(m_tarif, kDestTar, DestTarFields(), 0);
    if (fileName.compare(kSng, Qt::CaseInsensitive) == 0 ||
        fileName.compare(kForen, Qt::CaseInsensitive) == 0) {
        m_destLent = false;
        return OpenDestinations(true);
    }
    return false;
}

QString TariffTables::BillingTableAt(const QString& path) const {
    const QFileInfo want(path);
    for (const QString& name : {kTarifTA, kDestTar, kSng, kForen}) {
        const QFileInfo own(tables::FindFileNoCase(m_stdDir, name));
        if (own.exists() && want.exists() && own.canonicalFilePath() == want.canonicalFilePath())
            return own.fileName();
    }
    return {};
}
