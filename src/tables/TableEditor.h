#pragma once
// Browsing and editing a small table row by row, the way a data-aware form
// does: a current row, an edit or an insert in progress, post and cancel.
// The rows are held in memory and read again after each stored change.
#include "tables/Table.h"

#include <QList>
#include <QStringList>
#include <QVariant>

#include <functional>

namespace tables {

class TableEditor {
public:
    enum class State { Inactive, Browse, Edit, Insert };

    // nullptr (or a closed table): inactive.
    void SetTable(Table* table);
    State GetState() const { return m_state; }
    bool Editing() const { return m_state == State::Edit || m_state == State::Insert; }

    // Rows as shown: an insert in progress appears as a row at the current
    // position.
    int RowCount() const;
    int Row() const { return m_row; } // -1 when there is no row
    QVariant Value(int row, int field) const;
    QVariant Current(int field) const { return Value(m_row, field); }
    bool AtFirst() const { return m_row <= 0; }
    bool AtLast() const { return m_row >= RowCount() - 1; }

    // Moving posts a change in progress first; false (nothing moved) when
    // that fails.
    bool GoTo(int row);
    bool First() { return GoTo(0); }
    // From the row (after posting it: from its stored place).
    bool Prior() { return Move(-1); }
    bool Next() { return Move(1); }
    bool Last() { return GoTo(RowCount() - 1); }

    // A blank row before the current one, in insert state.
    bool Insert();
    bool Edit();
    // Changes a field of the current row (starting an edit when browsing).
    bool SetValue(int field, const QVariant& value);
    // Stores the row (a keyed table puts it at its key's place). A keyed
    // table refuses a row with a key field left empty, or with the key of
    // another row; the row stays in edit with the reason in LastError.
    bool Post();
    void Cancel();
    bool Delete();
    // Reads the table again, keeping the position where possible.
    bool Refresh();

    QString LastError() const { return m_error; }
    // Field names as the operator knows them, for messages (by field index;
    // the stored name where none is given).
    QStringList Captions;
    // Called after every change of rows, position or state.
    std::function<void()> Changed;

private:
    bool Move(int delta);
    bool CheckKey();
    QString Caption(int field) const;
    bool Load(int keepRow);
    bool Fail(const QString& e);
    void Notify() {
        if (Changed) Changed();
    }

    Table* m_table = nullptr;
    QList<QVariantList> m_rows;
    QVariantList m_pending;
    State m_state = State::Inactive;
    int m_row = -1;
    QString m_error;
};

} // namespace tables
