#pragma once
// What the loading and the unloading window share: the controls (exchange
// type, the loader's address, Start and Stop, the log list Memo1, a progress
// bar per memory area, the address of the last block, the whole transfer's
// progress with its elapsed and remaining time) and the line: taken over from
// the selected exchange when the window is shown, given back when it is
// hidden, with the main window minimised meanwhile.
#include "versions/VersionLine.h"
#include "versions/VersionSession.h"
#include "versions/ui/VersionDialogs.h"

#include <QWidget>

#include <array>
#include <memory>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QGridLayout;
class QTimer;

class VersionTransferForm : public QWidget {
    Q_OBJECT
public:
    ~VersionTransferForm() override;

    VersionDialogs Dialogs = VersionDialogs::Standard();

    virtual void StartClick() = 0;
    virtual void StopClick() = 0;

protected:
    struct Texts {
        QString name, caption, before, after, startHint, stopHint;
    };
    VersionTransferForm(std::unique_ptr<VersionSession> session, VersionLineProvider lines,
                        QString curDir, QWidget* mainWindow);
    void BuildWindow(const Texts& texts);

    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

    // Takes the selected exchange's line over (again, after it was lost);
    // while another tool holds it the log says which.
    void TakeOverLine();
    void GiveBackLine();
    // Texts of the line's state: in the log when shown and at Start, in the
    // main window's status list when given back (empty: none).
    virtual QString ShownText(bool open) const = 0;
    virtual QString GivenBackText(bool open) const = 0;
    // The type combo changed.
    virtual void TypeChanged(int index) = 0;
    void LineLost();

    int PortNumber() const;
    QString PortState(bool open) const;
    void Log(const QString& line);
    void ResetProgress();
    // A block handled: its address in the label and the log, its area's bar.
    void ShowBlock(uint16_t address, int area, int position);
    // The whole transfer: done of total blocks, and the time left at the rate
    // since the first block done.
    void ShowTotal(int done, int total);
    void StartClock();
    void StopClock();
    virtual void ClockTick();

    // The line is released before the session that holds it.
    std::unique_ptr<VersionSession> m_owned;
    VersionSession& m_session;
    VersionLineProvider m_lines;
    std::unique_ptr<VersionLine> m_line;
    QString m_curDir;
    QWidget* m_mainWindow;
    Qt::WindowStates m_mainState;

    QComboBox* m_type = nullptr;
    QLabel* m_loader = nullptr;
    QPushButton* m_start = nullptr;
    QPushButton* m_stop = nullptr;
    QPlainTextEdit* m_memo = nullptr;
    std::array<QProgressBar*, 8> m_bars{};
    QLabel* m_address = nullptr;
    QGridLayout* m_timeRow = nullptr; // "Адрес:", time and delay labels
    QLabel* m_time = nullptr;
    QProgressBar* m_total = nullptr;
    QLabel* m_remaining = nullptr;
    QTimer* m_timer1 = nullptr; // elapsed time, once a second
    int64_t m_clockStart = -1;
    int64_t m_rateStart = -1;
    int m_rateDone = 0;
};
