#include "console/SegmentsPage.h"

#include <QAbstractTableModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const int kSegment = 0;
const int kComment = 1;

struct ButtonSpec {
    const char* name;
    const char* glyph;
    QString hint;
};

const std::array<ButtonSpec, SegmentsPage::ButtonCount>& ButtonDefs() {
    static const std::array<ButtonSpec, SegmentsPage::ButtonCount> s{{
        {"nbFirst", "|◀", QStringLiteral("В начало таблицы")},
        {"nbPrior", "◀", QStringLiteral("Предыдущая запись")},
        {"nbNext", "▶", QStringLiteral("Следующая запись")},
        {"nbLast", "▶|", QStringLiteral("В конец таблицы")},
        {"nbInsert", "+", QStringLiteral("Добавить запись")},
        {"nbDelete", "−", QStringLiteral("Удалить запись")},
        {"nbEdit", "▲", QStringLiteral("Редактировать запись")},
        {"nbPost", "✓", QStringLiteral("Запомнить изменения")},
        {"nbCancel", "✕", QStringLiteral("Отменить изменения")},
        {"nbRefresh", "↻", QStringLiteral("Обновить")},
    }};
    return s;
}

} // namespace

// The grid's view of the editor: one column, the segment name.
class SegmentsModel : public QAbstractTableModel {
public:
    explicit SegmentsModel(tables::TableEditor& e, QObject* parent)
        : QAbstractTableModel(parent), m_e(e), m_rows(e.RowCount()) {}
    int rowCount(const QModelIndex& p = {}) const override { return p.isValid() ? 0 : m_rows; }
    int columnCount(const QModelIndex& p = {}) const override { return p.isValid() ? 0 : 1; }
    QVariant data(const QModelIndex& i, int role) const override {
        if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
        return m_e.Value(i.row(), kSegment).toString();
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (o == Qt::Horizontal && role == Qt::DisplayRole && section == 0)
            return QStringLiteral("Сегмент");
        return {};
    }
    Qt::ItemFlags flags(const QModelIndex& i) const override {
        return QAbstractTableModel::flags(i) |
               (m_e.GetState() != tables::TableEditor::State::Inactive ? Qt::ItemIsEditable
                                                                       : Qt::NoItemFlags);
    }
    bool setData(const QModelIndex& i, const QVariant& v, int role) override {
        if (role != Qt::EditRole || i.row() != m_e.Row()) return false;
        return m_e.SetValue(kSegment, v.toString());
    }
    // Follows the editor. Only a change of the row count resets the model:
    // a reset takes the grid's open editor away, and a value that comes from
    // that editor must not.
    void Update() {
        if (m_rows != m_e.RowCount()) {
            beginResetModel();
            m_rows = m_e.RowCount();
            endResetModel();
        } else if (m_rows > 0) {
            emit dataChanged(index(0, 0), index(m_rows - 1, 0));
        }
    }

private:
    tables::TableEditor& m_e;
    int m_rows = 0;
};

// The grid, able to finish or drop the edit of its open cell editor from
// outside (the navigator does not take the focus from it).
class SegmentsGrid : public QTableView {
public:
    using QTableView::QTableView;
    // The open editor's text goes to the model, then the editor closes.
    void FinishEdit() { EndEdit(true); }
    void DropEdit() { EndEdit(false); }

private:
    void EndEdit(bool commit) {
        if (state() != EditingState) return;
        QWidget* editor = indexWidget(currentIndex());
        if (!editor) return;
        if (commit) commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
};

SegmentsPage::SegmentsPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("SegmentsPage"));
    m_model = new SegmentsModel(m_editor, this);
    m_grid = new SegmentsGrid(this);
    m_grid->setObjectName(QStringLiteral("DBGridSegm"));
    m_grid->setModel(m_model);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->horizontalHeader()->setStretchLastSection(true);
    m_grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::AnyKeyPressed);
    m_memo = new QPlainTextEdit(this);
    m_memo->setObjectName(QStringLiteral("DBMemoComment"));
    m_memo->setToolTip(QStringLiteral("Неисправность"));

    auto* nav = new QWidget(this);
    nav->setObjectName(QStringLiteral("DBNavigatorSegm"));
    auto* navLay = new QHBoxLayout(nav);
    navLay->setContentsMargins(0, 0, 0, 0);
    navLay->setSpacing(1);
    for (int b = 0; b < ButtonCount; ++b) {
        auto* btn = new QToolButton(nav);
        btn->setObjectName(QString::fromLatin1(ButtonDefs()[size_t(b)].name));
        btn->setText(QString::fromUtf8(ButtonDefs()[size_t(b)].glyph));
        btn->setToolTip(ButtonDefs()[size_t(b)].hint);
        connect(btn, &QToolButton::clicked, this, [this, b] { Click(Button(b)); });
        navLay->addWidget(btn);
        m_buttons[size_t(b)] = btn;
    }
    navLay->addStretch(1);

    auto* lay = new QVBoxLayout(this);
    lay->addWidget(nav);
    auto* row = new QHBoxLayout;
    row->addWidget(m_grid, 1);
    row->addWidget(m_memo, 2);
    lay->addLayout(row, 1);

    m_editor.Captions = {QStringLiteral("Сегмент")};
    m_editor.Changed = [this] { Sync(); };
    connect(m_memo, &QPlainTextEdit::textChanged, this, &SegmentsPage::MemoEdited);
    connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& cur) { GridRowChanged(cur.row()); });
    Sync();
}

SegmentsPage::~SegmentsPage() {
    m_editor.Changed = nullptr;
}

QTableView* SegmentsPage::Grid() const {
    return m_grid;
}

void SegmentsPage::SetTable(tables::Table* table) {
    m_editor.SetTable(table);
}

void SegmentsPage::Report() {
    if (ShowErrors && !m_editor.LastError().isEmpty())
        QMessageBox::warning(this, QStringLiteral("Сегменты"), m_editor.LastError());
}

void SegmentsPage::EditKey() {
    const int row = m_editor.Row();
    if (!m_editor.Editing() || row < 0) return;
    const QModelIndex cell = m_model->index(row, 0);
    m_grid->setFocus();
    m_grid->setCurrentIndex(cell);
    m_grid->edit(cell);
}

void SegmentsPage::Click(Button b) {
    using S = tables::TableEditor::State;
    // What is typed in the grid's cell belongs to the row before any action
    // on it; "Отменить изменения" drops it.
    if (b == Cancel)
        m_grid->DropEdit();
    else
        m_grid->FinishEdit();
    bool ok = true;
    switch (b) {
    case First:
        ok = m_editor.First();
        break;
    case Prior:
        ok = m_editor.Prior();
        break;
    case Next:
        ok = m_editor.Next();
        break;
    case Last:
        ok = m_editor.Last();
        break;
    case Insert:
        ok = m_editor.Insert();
        // The new row's key is typed first.
        if (ok) EditKey();
        break;
    case Delete:
        if (m_editor.GetState() == S::Browse && m_editor.Row() >= 0 && ConfirmDelete &&
            QMessageBox::question(this, QStringLiteral("Сегменты"),
                                  QStringLiteral("Удалить запись?")) != QMessageBox::Yes)
            return;
        ok = m_editor.Delete();
        break;
    case Edit:
        ok = m_editor.Edit();
        break;
    case Post:
        ok = m_editor.Post();
        break;
    case Cancel:
        m_editor.Cancel();
        break;
    case Refresh:
        ok = m_editor.Refresh();
        break;
    case ButtonCount:
        break;
    }
    if (!ok) {
        Report();
        // A row that could not be stored is still being edited: back to its key.
        EditKey();
    }
}

// Shows the editor's rows, position and state in the controls.
void SegmentsPage::Sync() {
    if (m_syncing) return;
    m_syncing = true;
    using S = tables::TableEditor::State;
    const S st = m_editor.GetState();
    m_model->Update();
    const int row = m_editor.Row();
    if (row >= 0)
        m_grid->selectionModel()->setCurrentIndex(m_model->index(row, 0),
                                                  QItemSelectionModel::ClearAndSelect);
    const QString comment = m_editor.Current(kComment).toString();
    if (m_memo->toPlainText() != comment) m_memo->setPlainText(comment);
    m_memo->setReadOnly(st == S::Inactive || row < 0);
    const bool browse = st == S::Browse;
    const bool editing = m_editor.Editing();
    const bool active = st != S::Inactive;
    m_buttons[First]->setEnabled(active && !m_editor.AtFirst());
    m_buttons[Prior]->setEnabled(active && !m_editor.AtFirst());
    m_buttons[Next]->setEnabled(active && !m_editor.AtLast());
    m_buttons[Last]->setEnabled(active && !m_editor.AtLast());
    m_buttons[Insert]->setEnabled(browse);
    m_buttons[Delete]->setEnabled(browse && row >= 0);
    m_buttons[Edit]->setEnabled(browse && row >= 0);
    m_buttons[Post]->setEnabled(editing);
    m_buttons[Cancel]->setEnabled(editing);
    m_buttons[Refresh]->setEnabled(browse);
    m_syncing = false;
}

void SegmentsPage::MemoEdited() {
    if (m_syncing || m_memo->isReadOnly()) return;
    if (m_editor.Current(kComment).toString() == m_memo->toPlainText()) return;
    m_editor.SetValue(kComment, m_memo->toPlainText());
}

void SegmentsPage::GridRowChanged(int row) {
    if (m_syncing || row < 0 || row == m_editor.Row()) return;
    if (!m_editor.GoTo(row)) {
        Report();
        Sync();
        EditKey();
    }
}
