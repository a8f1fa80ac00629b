#pragma once
// TForm2, the main window "Varnel Terminal": the exchange selector, the
// directive entry, the status list, the page control with the directive and
// settings tabs, the roll view and the status bar. It binds its views to the
// terminal (the exchanges, the request timers, the tables) and the controls
// of each exchange in one place (BindExchange).

#include "platform/ui/TabPages.h"

#include <QMainWindow>

#include <array>
#include <memory>

class AutoDirectivesPage;
class CentralDelivery;
class DirectiveEntry;
class MaskEdit;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTimer;
class OperatorAccess;
class RollView;
class SegmentsPage;
class TAts;
class TableRecovery;
class Terminal;

// The controls of one exchange: its row on "Настройки" (name, "Включен",
// port), its row on "Префиксы" (extra digit with "Использовать", long-distance
// and international access) and its hidden lists (the printout list that
// holds text while the operator works inside the roll view, and the script
// list).
struct AtsRow {
    QLineEdit* EditAtsName = nullptr;
    QCheckBox* CheckBoxPort = nullptr; // "Включен"
    QComboBox* ComboBoxPort = nullptr; // "1".."16"
    QLineEdit* EditDop = nullptr;      // SL
    QCheckBox* CheckBoxDop = nullptr;  // SLCheck, "Использовать"
    QLineEdit* EditMG = nullptr;
    QLineEdit* EditMN = nullptr;
    QPlainTextEdit* Memo = nullptr;
    QPlainTextEdit* MemoAutoProm = nullptr;
};

class TForm2 : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kStatusLimit = 30000;

    // The window of a started terminal.
    explicit TForm2(Terminal& term, QWidget* parent = nullptr);
    // A window with a terminal of its own on folder curDir (empty: the
    // current working directory), started here; the table recovery after an
    // unclean end shows the table utility window.
    explicit TForm2(const QString& curDir = QString(), QWidget* parent = nullptr);
    // Runs FormDestroy: the terminal is shut down.
    ~TForm2() override;

    // False when the registry could not be used: the operator has been told
    // and the program must end without showing the window.
    bool IsUsable() const { return m_usable; }

    Terminal& Term() { return m_term; }
    DirectiveEntry& Entry() { return *m_entry; }
    TAts* Ats(int number) const;
    RollView* View() const { return m_view; }
    OperatorAccess& Access();
    const AtsRow& Row(int number) const { return m_rows[size_t(number - 1)]; }
    QString PanelText(int panel) const;

    // A line in the status list (MemoStatus).
    void AddStatus(const QString& line);
    // Text of status-bar panel 0..2 (hints; "Неверный пароль" and "Линия
    // АТС занята: ..."; the line: "Передача", "Прием", "Порт закрыт").
    void SetPanelText(int panel, const QString& text);
    // The main window's port field (ComboBoxPortMain).
    void ShowPortText(const QString& text);
    // The selector's item follows a renamed exchange.
    void ExchangeRenamed(int number, const QString& name);

    // Another instance asked for the window: restore it and bring it forward.
    void BringToFront();

    // Handlers.
    void ComboBoxATSChange(int index);
    void RadioGroupDuplexClick(int index);
    void RadioGroupTarifTimeModeClick(int index);
    void RadioGroupPlatformClick(int index);
    void EditMaxNoPaneTimeEnter();
    void CheckBoxFourDigitYearClick(bool checked);
    void MenuFontClick();
    void ButtonPasswordClick();
    // While the operator works inside the roll view, new printouts of the
    // selected exchange wait in its hidden list; on leaving, they are shown.
    void RollViewEnter();
    void RollViewExit();

signals:
    // The first show has been handled (settings loaded, ports opened).
    void shown();

protected:
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void ShowCentral(CentralDelivery& central);
    void BuildWindow();
    QWidget* BuildTopStrip();
    QWidget* BuildPages();
    QWidget* BuildSettingsPage();
    QWidget* BuildPrefixesPage();
    QWidget* BuildExtraPage();
    QWidget* BuildTimePage();

    void Compose();
    void FormCreate();
    void FormShow();
    void ShowReady();
    void FormDestroy();

    void BindExchange(TAts& ats, AtsRow& row);
    void ShowSettings(TAts& ats, AtsRow& row);
    void ShowPrintout(TAts& ats, const QString& text);
    void ShowSelected(TAts* ats);
    // Panel 2 shows the selected exchange's line: "Передача" while it sends,
    // else "Прием" when its port is open and "Порт закрыт" when not.
    void ShowLineState();
    // A tool was refused the line of ats: the status list says why, and
    // panel 1 while ats is selected and its line is held.
    void LineRefused(TAts& ats, const QString& text);
    void ClearRefusal();
    void ApplyRollFont(const QFont& font, const QColor& color);
    void StatusChanged();
    void ShowMessage(const QString& text);
    // Writes one value of the program-wide key; false when it cannot.
    template <class Write> bool WriteMain(Write write);

    std::unique_ptr<Terminal> m_ownTerminal;   // when the window made its own
    std::unique_ptr<TableRecovery> m_recovery; // the start-up recovery shown
    Terminal& m_term;
    SegmentsPage* m_segments = nullptr; // the "Сегменты" tab
    AutoDirectivesPage* m_auto = nullptr;
    DirectiveEntry* m_entry = nullptr;
    bool m_usable = true;
    bool m_shownOnce = false;
    bool m_destroyed = false;
    TAts* m_redirected = nullptr; // its printouts wait in the hidden list
    OperatorAccess* m_access = nullptr;
    // Pages the features fill.
    QWidget* m_pageAuto = nullptr;
    QWidget* m_pageStat = nullptr;
    QWidget* m_pageVersions = nullptr;
    QWidget* m_pageSegments = nullptr;

    // Controls.
    QPushButton* m_buttonReset = nullptr;
    QPushButton* m_buttonPassword = nullptr;
    QPushButton* m_buttonOK = nullptr;
    MaskEdit* m_maskEdit = nullptr;
    QComboBox* m_comboStek = nullptr;
    QComboBox* m_comboATS = nullptr;
    QComboBox* m_comboPortMain = nullptr;
    QPlainTextEdit* m_memoStatus = nullptr;
    QTabWidget* m_pages = nullptr;
    RollView* m_view = nullptr;
    std::array<QLabel*, 3> m_panels{};
    QButtonGroup* m_groupDuplex = nullptr;
    QButtonGroup* m_groupTarif = nullptr;
    QButtonGroup* m_groupPlatform = nullptr;
    QLineEdit* m_editMaxNoPaneTime = nullptr;
    QCheckBox* m_checkFourDigitYear = nullptr;
    QGroupBox* m_groupTime = nullptr;

    std::array<AtsRow, 4> m_rows{};
    TabPages m_tabPages; // the tabs' pages, by caption path
};
