#include "tables/TableEditor.h"

#include <algorithm>

namespace tables {

bool TableEditor::Fail(const QString& e) {
    m_error = e;
    Notify();
    return false;
}

void TableEditor::SetTable(Table* table) {
    m_table = table;
    m_state = State::Inactive;
    m_pending.clear();
    m_rows.clear();
    m_row = -1;
    if (m_table && m_table->IsOpen())
        Load(0);
    else
        Notify();
}

bool TableEditor::Load(int keepRow) {
    m_rows.clear();
    m_pending.clear();
    m_state = State::Inactive;
    m_row = -1;
    if (!m_table || !m_table->IsOpen()) return Fail(m_table ? m_table->LastError() : QString());
    const int n = m_table->RecordCount();
    if (!m_table->LastError().isEmpty()) return Fail(m_table->LastError());
    for (int i = 0; i < n; ++i) {
        if (!m_table->GoTo(i)) return Fail(m_table->LastError());
        QVariantList r;
        for (int f = 0; f < m_table->Fields().size(); ++f)
            r << m_table->Value(f);
        m_rows << r;
    }
    m_state = State::Browse;
    m_row = m_rows.isEmpty() ? -1 : std::clamp(keepRow, 0, int(m_rows.size()) - 1);
    Notify();
    return true;
}

int TableEditor::RowCount() const {
    return int(m_rows.size()) + (m_state == State::Insert ? 1 : 0);
}

QVariant TableEditor::Value(int row, int field) const {
    if (row < 0 || row >= RowCount()) return {};
    if (Editing() && row == m_row) return m_pending.value(field);
    const int stored = (m_state == State::Insert && row > m_row) ? row - 1 : row;
    return m_rows.value(stored).value(field);
}

bool TableEditor::GoTo(int row) {
    m_error.clear();
    if (m_state == State::Inactive) return false;
    if (Editing()) {
        if (row == m_row) return true;
        const bool wasInsert = m_state == State::Insert;
        const int target = (wasInsert && row > m_row) ? row - 1 : row;
        if (!Post()) return false;
        row = target;
    }
    if (row < 0 || row >= RowCount()) return false;
    m_row = row;
    Notify();
    return true;
}

bool TableEditor::Move(int delta) {
    if (Editing() && !Post()) return false;
    return GoTo(m_row + delta);
}

bool TableEditor::Insert() {
    m_error.clear();
    if (m_state == State::Inactive) return false;
    if (Editing() && !Post()) return false;
    m_pending.clear();
    for (int f = 0; f < m_table->Fields().size(); ++f)
        m_pending << QVariant();
    m_state = State::Insert;
    if (m_row < 0) m_row = 0;
    Notify();
    return true;
}

bool TableEditor::Edit() {
    m_error.clear();
    if (m_state != State::Browse || m_row < 0)
        return m_state == State::Edit || m_state == State::Insert;
    m_pending = m_rows[m_row];
    m_state = State::Edit;
    Notify();
    return true;
}

bool TableEditor::SetValue(int field, const QVariant& value) {
    if (m_state == State::Browse && !Edit()) return false;
    if (!Editing() || field < 0 || field >= m_pending.size()) return false;
    m_pending[field] = value;
    Notify();
    return true;
}

QString TableEditor::Caption(int field) const {
    const QString c = Captions.value(field);
    return c.isEmpty() ? m_table->Fields().value(field).name : c;
}

// The key of the pending row: filled, and not another row's key (as the
// table now holds it, changes of other programs included).
bool TableEditor::CheckKey() {
    const int keys = std::min(m_table->KeyFieldCount(), int(m_pending.size()));
    if (keys <= 0) return true;
    QStringList names, captions, shown;
    QVariantList values;
    for (int f = 0; f < keys; ++f) {
        const FieldDef& fd = m_table->Fields()[f];
        QVariant v = m_pending[f];
        if (v.isNull() || v.toString().trimmed().isEmpty())
            return Fail(
                QStringLiteral("Не заполнено поле «%1»: запись не сохранена").arg(Caption(f)));
        // The store keeps as many characters as the field holds.
        if (fd.type == FieldType::String && fd.size > 0) v = v.toString().left(fd.size);
        names << fd.name;
        captions << Caption(f);
        shown << v.toString();
        values << v;
    }
    const bool found = m_table->Locate(names, values);
    if (found && !(m_state == State::Edit && m_table->RecNo() == m_row))
        return Fail(
            QStringLiteral("Нарушение ключа: значение «%1» поля «%2» уже есть в таблице")
                .arg(shown.join(QStringLiteral(", ")), captions.join(QStringLiteral(", "))));
    return true;
}

bool TableEditor::Post() {
    m_error.clear();
    if (!Editing()) return m_state == State::Browse;
    if (!CheckKey()) return false;
    bool ok = false;
    if (m_state == State::Insert) {
        ok = m_table->Append(m_pending);
    } else {
        ok = m_table->GoTo(m_row) && m_table->Update(m_pending);
    }
    if (!ok) return Fail(m_table->LastError());
    return Load(m_table->RecNo() >= 0 ? m_table->RecNo() : m_row);
}

void TableEditor::Cancel() {
    m_error.clear();
    if (!Editing()) return;
    if (m_state == State::Insert && m_row >= int(m_rows.size())) m_row = int(m_rows.size()) - 1;
    m_state = State::Browse;
    m_pending.clear();
    Notify();
}

bool TableEditor::Delete() {
    m_error.clear();
    if (m_state == State::Insert) {
        Cancel();
        return true;
    }
    if (m_state == State::Edit) Cancel();
    if (m_state != State::Browse || m_row < 0) return false;
    if (!m_table->GoTo(m_row) || !m_table->Delete()) return Fail(m_table->LastError());
    return Load(m_row);
}

bool TableEditor::Refresh() {
    m_error.clear();
    if (Editing()) Cancel();
    return Load(m_row);
}

} // namespace tables
