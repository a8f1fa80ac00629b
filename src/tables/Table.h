#pragma once
// The table store: Paradox tables (.db) and dBASE tables (.dbf) behind one
// interface. Only src/tables includes pxlib or shapelib.
//
// Every change reaches the file through a transaction (TxFile.h): a change
// made outside an explicit Transaction is committed by the operation itself,
// so when a mutating call returns true its rows are on disk, and a process
// killed at any moment leaves each table either before or after the change.
//
// A failing operation returns false; LastError() then names the table and the
// cause ("DestTar.db: ...").
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

namespace tables {

// Paradox: Long, Short, Number, Date, Time, Timestamp, Alpha(n).
// dBASE:   N(11,0), N(6,0), N(20,6), D, -, -, C(n).
// Other stands for a stored type the store reads as blank and never writes.
enum class FieldType { Integer, Smallint, Float, Date, Time, DateTime, String, Other };

struct FieldDef {
    QString name;
    FieldType type = FieldType::Integer;
    int size = 0; // characters of a String field, 0 for the others

    bool operator==(const FieldDef& o) const = default;
};
using FieldList = QList<FieldDef>;

QString FieldTypeName(FieldType type); // "Integer", "String", ...

class Table {
public:
    virtual ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    // A table over the file at path: ".dbf" (any case) is dBASE, anything else
    // Paradox. Nothing is opened yet.
    static std::unique_ptr<Table> ForFile(const QString& path);

    QString Path() const { return m_path; }
    QString FileName() const; // for messages
    bool Exists() const;

    // Makes an empty table with exactly these fields in this order, replacing
    // any file of that name (the new file appears at once, complete). The
    // first keyFields fields form the primary key (Paradox only; the table is
    // then kept in key order and its .PX written).
    virtual bool Create(const FieldList& fields, int keyFields = 0) = 0;
    // Opens the file; a read-only table refuses changes.
    virtual bool Open(bool readOnly = false) = 0;
    // Closing a closed table is allowed. Uncommitted changes are dropped.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Removes every row, keeping the fields.
    virtual bool Empty() = 0;

    const FieldList& Fields() const { return m_fields; }
    int FieldIndex(const QString& name) const; // case-insensitive; -1 when none
    int KeyFieldCount() const { return m_keyFields; }

    int RecordCount();
    // Moves to row recno (0-based); false when out of range.
    bool GoTo(int recno);
    int RecNo() const { return m_cur; } // -1 when there is no current row

    // Key search: SetIndex names the field later FindKey calls compare (an
    // in-memory index built on demand and rebuilt when the file changes).
    bool SetIndex(const QString& fieldName);
    // Exact search of the text key on the current index; makes the row current.
    bool FindKey(const QString& key);
    // First row whose fields equal the values (numbers compare as numbers,
    // text exactly); makes it current.
    bool Locate(const QStringList& fields, const QVariantList& values);

    // Appends a row; values in field order, a null QVariant or a missing
    // trailing value leaves the field blank. The new row becomes current.
    bool Append(const QVariantList& values);
    // Replaces the current row's values.
    bool Update(const QVariantList& values);
    // Deletes the current row; the row after it (if any) becomes current.
    bool Delete();
    // Drops changes of this table staged in the running transaction.
    void Cancel();

    // Current row's fields; a blank field reads as a null QVariant.
    QVariant Value(int field) const;
    QVariant Value(const QString& name) const;
    qint64 AsInteger(const QString& name) const;
    double AsFloat(const QString& name) const;
    QDateTime AsDateTime(const QString& name) const;
    QString AsText(const QString& name) const;

    QString LastError() const { return m_error; }

protected:
    explicit Table(const QString& path);

    bool Fail(const QString& cause); // sets LastError, returns false
    void ClearError() { m_error.clear(); }
    // Starts an operation: clears LastError, fails when the table is not open
    // (or, for a change, read-only).
    bool CheckOpen(bool toChange = false);
    // Checks a row's values against the field types; fills out converted values.
    bool CheckValues(const QVariantList& in, QVariantList& out);
    // One value of field i.
    bool CheckValue(int i, const QVariant& v, QVariant& out);

    // Implementations.
    virtual int DoRecordCount() = 0;
    virtual bool DoRead(int recno, QVariantList& row) = 0;
    virtual bool DoLocate(const QList<int>& fields, const QVariantList& values, int& recno) = 0;
    virtual bool DoAppend(const QVariantList& values, int& recno) = 0;
    // recno may change (a keyed table keeps rows in key order).
    virtual bool DoUpdate(int& recno, const QVariantList& values) = 0;
    virtual bool DoDelete(int recno) = 0;
    virtual void DoCancel() = 0;
    // Called before each operation: reopens after an outside change of the
    // file or a discarded transaction. False when the table is not usable.
    virtual bool Refresh() = 0;

    void InvalidateIndex() { m_indexValid = false; }
    void SetCurrent(int recno, QVariantList row);
    void ForgetCurrent();

    QString m_path;
    FieldList m_fields;
    int m_keyFields = 0;
    bool m_readOnly = false;

private:
    bool BuildIndex();

    QString m_error;
    int m_cur = -1;
    QVariantList m_row;
    QString m_indexName;
    int m_indexField = -1;
    bool m_indexValid = false;
    QHash<QString, int> m_index; // key text -> first row with it
};

// Copies a file over another (or to a new name) so that the target is
// either the old file or the complete copy, never a part.
bool CopyFileOver(const QString& from, const QString& to, QString* error);

// The file in dir whose name equals name ignoring case (tables made on
// another system may differ in case), else dir + "/" + name.
QString FindFileNoCase(const QString& dir, const QString& name);

// Table values <-> text as the dump and load commands write them:
// dates yyyy-MM-dd, times HH:mm:ss, timestamps yyyy-MM-dd HH:mm:ss, floats in
// the shortest form that reads back exactly.
QString ValueText(const QVariant& v, FieldType type);

} // namespace tables
