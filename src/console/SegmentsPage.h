#pragma once
// The "Сегменты" tab: the segment list "Segment.DB" as a grid with the one
// column "Сегмент", the selected row's "Comment" in a text box (hint
// "Неисправность") and a ten-button record navigator. Changes are stored in
// the table when posted (or when moving to another row); "Добавить запись"
// opens the new row's key cell, and a row that cannot be stored (empty or
// repeated key) is refused with the reason and its key cell opened again.
#include "tables/TableEditor.h"

#include <QWidget>

#include <array>

class QPlainTextEdit;
class QTableView;
class QToolButton;
class SegmentsGrid;
class SegmentsModel;

class SegmentsPage : public QWidget {
    Q_OBJECT
public:
    enum Button {
        First,
        Prior,
        Next,
        Last,
        Insert,
        Delete,
        Edit,
        Post,
        Cancel,
        Refresh,
        ButtonCount
    };

    explicit SegmentsPage(QWidget* parent = nullptr);
    ~SegmentsPage() override;

    // The open segment table (owned elsewhere); nullptr detaches the page.
    void SetTable(tables::Table* table);

    tables::TableEditor& Editor() { return m_editor; }
    QTableView* Grid() const;
    QPlainTextEdit* Memo() const { return m_memo; }
    QToolButton* NavButton(Button b) const { return m_buttons[size_t(b)]; }
    // A navigator click.
    void Click(Button b);

    // Ask "Удалить запись?" before deleting (tests turn it off).
    bool ConfirmDelete = true;
    // Show failures in a message box (tests read LastError instead).
    bool ShowErrors = true;

private:
    void Sync();
    void MemoEdited();
    void GridRowChanged(int row);
    void Report();
    // Opens the key cell of the row being edited.
    void EditKey();

    tables::TableEditor m_editor;
    SegmentsModel* m_model = nullptr;
    SegmentsGrid* m_grid = nullptr;
    QPlainTextEdit* m_memo = nullptr;
    std::array<QToolButton*, ButtonCount> m_buttons{};
    bool m_syncing = false;
};
