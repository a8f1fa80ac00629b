#pragma once
// The tab "Обслуживание АТС" › "Автоматические директивы ТО": the script
// editor MemoAuto with "Сохранить", and the run modes "В назначенное время"
// (MaskEditRunIn) and "Каждые N-часов" (MaskEditRunEvery). Everything acts on
// the selected exchange and its AutoScript; the window calls ShowSettings and
// LoadScript when the selection changes. Each exchange's hidden list
// MemoAutoPromN shows the copy its last run loaded.
//
// Unsaved text is never thrown away: selecting another exchange keeps it as
// that exchange's draft, shown again (with "Сохранить" enabled) on return.
#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <optional>

class MaskEdit;
class QCheckBox;
class QPlainTextEdit;
class QPushButton;
class TAts;
class ExchangeSet;

class AutoDirectivesPage : public QObject {
    Q_OBJECT
public:
    static const QString kHint; // the editor's seven-line hint

    // Builds its controls on page (the window's "Автоматические директивы ТО"
    // tab); each exchange's run shows its copy in that exchange's hidden list;
    // status takes a status-list line.
    AutoDirectivesPage(QWidget* window, QWidget* page, ExchangeSet& exchanges,
                       const std::array<QPlainTextEdit*, 4>& hiddenLists,
                       std::function<void(const QString&)> status);

    // The fields and boxes show the exchange's modes and times.
    void ShowSettings(TAts& ats);
    // The editor shows the exchange's script file (or its unsaved draft).
    void LoadScript(TAts& ats);

    // Handlers.
    void SaveClick();
    void CheckBoxRunInClick(bool checked);
    void CheckBoxRunEveryClick(bool checked);
    void MaskEditRunInEnter();
    void MaskEditRunEveryEnter();

private:
    TAts* Current() const;

    QWidget* m_window;
    ExchangeSet& m_exchanges;
    std::function<void(const QString&)> m_status;
    QPlainTextEdit* m_memo = nullptr;
    QPushButton* m_save = nullptr;
    QCheckBox* m_runIn = nullptr;
    QCheckBox* m_runEvery = nullptr;
    MaskEdit* m_editRunIn = nullptr;
    MaskEdit* m_editRunEvery = nullptr;
    TAts* m_shown = nullptr; // whose script the editor holds
    std::array<std::optional<QString>, 4> m_drafts;
};
