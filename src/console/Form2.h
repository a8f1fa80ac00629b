#pragma once
// TForm2, the main window "Varnel Terminal": the exchange selector, the
// directive entry, the status list, the page control with the directive and
// settings tabs, the roll view and the status bar. It owns the four exchange
// objects, the request timers and the program-wide state, and binds the
// controls of each exchange to it in one place (BindExchange).
#include "link/AppState.h"

#include <QMainWindow>

#include <array>
#include <memory>

class DirectiveEntry;
class MaskEdit;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTimer;
class Registry;
class RequestTracker;
class TOperatorAccess;
class RollView;
class SegmentsPage;
class TAts;
class TCallRecords;
class TTariffTables;

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

    // curDir empty: the current working directory. Runs FormCreate.
    explicit TForm2(const QString& curDir = QString(), QWidget* parent = nullptr);
    // Runs FormDestroy.
    ~TForm2() override;

    // False when the registry could not be used: the operator has been told
    // and the program must end without showing the window.
    bool IsUsable() const { return m_usable; }

    AppState& App() { return m_app; }
    DirectiveEntry& Entry() { return *m_entry; }
    TAts* Ats(int number) const;
    RollView* View() const { return m_view; }
    RequestTracker* Tracker() const { return m_tracker.get(); }
    TOperatorAccess& Access();
    const AtsRow& Row(int number) const { return m_rows[size_t(number - 1)]; }
    TTariffTables* Tables() const { return m_tables.get(); }
    SegmentsPage* Segments() const { return m_segments; }
    Registry* Reg() const { return m_reg.get(); }
    // A page of the page control (or of a nested one) by its caption.
    QWidget* Page(const QString& caption) const;
    QString PanelText(int panel) const;

    // A line in the status list (MemoStatus).
    void AddStatus(const QString& line);
    // Text of status-bar panel 0..2 (hints, -, "Прием"/"Передача").
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
    void BuildWindow();
    QWidget* BuildTopStrip();
    QWidget* BuildPages();
    QWidget* BuildSettingsPage();
    QWidget* BuildPrefixesPage();
    QWidget* BuildExtraPage();
    QWidget* BuildTimePage();

    void FormCreate();
    void FormShow();
    void FormDestroy();

    void BindExchange(TAts& ats, AtsRow& row);
    void ShowSettings(TAts& ats, AtsRow& row);
    void ShowPrintout(TAts& ats, const QString& text);
    void SelectExchange(int number);
    void ApplyRollFont(const QFont& font, const QColor& color);
    void StatusChanged();
    bool OpenMainKey();
    void ShowMessage(const QString& text);

    // Places later work fills (tables, automatic directives, password).
    void OpenTables();
    void RebuildTariffTables();
    void CloseTables();
    void ShowAutoSettings(TAts& ats);
    void LoadScript(TAts& ats);
    void AskPassword();

    AppState m_app;
    std::unique_ptr<Registry> m_reg;
    std::array<std::unique_ptr<TAts>, 4> m_ats;
    std::unique_ptr<RequestTracker> m_tracker; // the request timers
    std::unique_ptr<TTariffTables> m_tables;   // tariff and call tables
    std::unique_ptr<TCallRecords> m_calls;     // call frames to the tables
    SegmentsPage* m_segments = nullptr;        // the "Сегменты" tab
    DirectiveEntry* m_entry = nullptr;
    bool m_usable = true;
    bool m_shownOnce = false;
    bool m_destroyed = false;
    int m_timerStatWait = 20000;
    TAts* m_redirected = nullptr; // its printouts wait in the hidden list
    TOperatorAccess* m_access = nullptr;

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
    QTimer* m_timerStatAK = nullptr;

    std::array<AtsRow, 4> m_rows{};
};
