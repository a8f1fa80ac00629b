#pragma once
// The directive buttons of the main window's tabs: every button of the
// catalogue (DirectiveCatalogue) on its tab and sub-tab, built from the data;
// the composed buttons (memory buttons with "Номер блока", the indexed array
// write with its dialog "Настройка", the partial unblocking of a subscriber
// kit with the line-number dialog, the two switch diagnostics with their
// "Коммутатор" groups) and the exchange clock. Every directive goes through
// the directive entry.
#include "directives/ComposedDirectives.h"
#include "link/StepWait.h"

#include <QObject>
#include <QStringList>

#include <map>
#include <optional>

class TabPages;
class Terminal;
struct DirectiveButton;
class DirectiveEntry;
class ExchangeClock;
class QButtonGroup;
class QGroupBox;
class QGridLayout;
class QBoxLayout;
class QPushButton;
class QWidget;
class TFormAKNum;
class OkCancl1;
class QTimer;

class DirectiveButtons : public QObject {
    Q_OBJECT
public:
    // Pause between two directives of an indexed write (after the one before
    // has left the line); Esc pressed or held ends the run.
    static constexpr int kIndexedPauseMs = 10;
    // Buttons per column on a tab.
    static constexpr int kRowsPerColumn = 6;

    // Builds into the tab pages found under window (top tabs by caption,
    // sub-tabs found or made). The object and the dialogs belong to window.
    // timeGroup: the window's time group on "Время", where the clock's buttons
    // go (made when null).
    DirectiveButtons(QWidget* window, TabPages& pages, DirectiveEntry& entry, Terminal& term,
                     QGroupBox* timeGroup = nullptr);

    // The page at a path of tab captions, nullptr when there is none.
    QWidget* PageAt(const QStringList& path) const;
    // Top tabs the catalogue names that the window lacks (nothing built there).
    const QStringList& Missing() const { return m_missing; }

    int BlockNumber() const;
    OkCancl1* BlockParamsDialog() const { return m_blockParams; }
    TFormAKNum* LineNumberDialog() const { return m_lineNumber; }
    ExchangeClock* Clock() const { return m_clock; }
    // An indexed write is running.
    bool Writing() const { return m_writing; }

    // Click handlers.
    void CatalogueClick(const DirectiveButton& b);
    void MemoryClick(ComposedDirectives::MemoryButton which);
    void WriteIndexedClick();
    void UnblockClick();
    void DiagnosticsOOClick();
    void DiagnosticsTOClick();

    // The button made for the catalogue entry of that name ("@Button14"), or
    // null: another feature may take it into its own panel.
    QPushButton* CatalogueButton(const QString& entry) const;

private:
    // Where a tab's buttons go: a grid of columns, or a row (the clock's group).
    struct Area {
        QGridLayout* grid = nullptr;
        QBoxLayout* row = nullptr; // radio groups go here, beside the grid
        int count = 0;
    };

    // The page at path, its missing sub-tabs made.
    QWidget* Page(const QStringList& path);
    Area& AreaOf(QWidget* page);
    QPushButton* AddButton(QWidget* page, const QString& caption, const QString& hint,
                           const QString& name);
    QButtonGroup* AddRadioGroup(QWidget* page, const QString& name, const QString& title,
                                const QStringList& items, int rows);
    void BuildCatalogue();
    void BuildComposed();
    void BuildClock();
    void WriteNext();
    void EndWrite();

    QWidget* m_window;
    TabPages& m_pages;
    QGroupBox* m_timeGroup;
    DirectiveEntry& m_entry;
    Terminal& m_term;
    std::map<QWidget*, Area> m_areas;
    std::map<QString, QPushButton*> m_catalogueButtons; // by the catalogue entry's name
    QStringList m_missing;
    QButtonGroup* m_block = nullptr;
    QButtonGroup* m_switchOO = nullptr;
    QButtonGroup* m_switchTO = nullptr;
    OkCancl1* m_blockParams = nullptr;
    TFormAKNum* m_lineNumber = nullptr;
    ExchangeClock* m_clock = nullptr;
    bool m_writing = false;
    std::optional<ComposedDirectives::IndexedWrite> m_indexed;
    StepWait m_indexedWait;
    QTimer* m_indexedPause = nullptr;
};
