#pragma once
// The table utility window "Table Utility ( As Is )": pick a table by alias or
// by file, see its properties, verify and rebuild it with progress.
#include "tables/StartupRecovery.h"
#include "tables/TableUtil.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QThread;
class AboutTableUtil;

// A program that holds tables open lends one to a rebuild: lend closes it
// (false when the program does not hold that table), giveBack opens what was
// lent again.
struct TableLender {
    std::function<bool(const QString& path)> lend;
    std::function<void()> giveBack;
};

class TMainFormTableUtil : public QWidget {
    Q_OBJECT
public:
    // curDir: where relative alias folders are taken from.
    explicit TMainFormTableUtil(const QString& curDir, QWidget* parent = nullptr);
    ~TMainFormTableUtil() override;

    // The operations behind the controls.
    void AliasChanged(int index);
    void TableChanged(int index);
    void ChooseFile(const QString& path); // "By Directory..." after the dialog
    void SetLocation(const QString& path);
    void Verify();
    // fallback: the structure when the header's is unreadable (may be null).
    // A table the lender holds is lent first and rebuilt when the event loop
    // has turned (rebuildDone then tells the end); any other at once.
    void Rebuild(const tables::TableDesc* fallback = nullptr);
    void SetLender(TableLender lender) { m_lender = std::move(lender); }
    bool Busy() const { return m_lent; }
    void ShowAbout();

    void ClearStatus();
    void ShowProgress(tables::UtilPhase phase, int percent);
    void ShowRun(const tables::UtilRun& run);
    QString Location() const;
    AboutTableUtil* About() const { return m_about; }

protected:
    // The first show places the window inside the screen, over its parent.
    void showEvent(QShowEvent* e) override;

signals:
    void rebuildDone();

private:
    void RebuildLent(const QString& path, std::optional<tables::TableDesc> fallback);
    void GiveBack();
    void ShowProperties(const QString& path);
    void SetPropertyLabels(const tables::TableProps& p);
    void EnableActions(bool on);

    QString m_curDir;
    bool m_placed = false;
    tables::TTableUtil m_util;
    QComboBox* m_alias;
    QComboBox* m_table;
    QLineEdit* m_location;
    QPushButton* m_verify;
    QPushButton* m_rebuild;
    QList<QLabel*> m_props;
    QProgressBar* m_bars[4];
    QLabel* m_message;
    AboutTableUtil* m_about;
    TableLender m_lender;
    bool m_lent = false; // a table of the lender is out
};

// The start-up recovery with the window shown: the window is created and
// shown, RecoverTables runs on a thread of its own while the event loop keeps
// the window painted, and done(runs) is called from the event loop when it is
// over. The table hooks (close, reopen) run on the recovery's thread, so
// nothing else may use those tables meanwhile. Destroying the object waits
// for the work to end, then removes the window.
class TableRecovery : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(const QList<tables::UtilRun>& runs)>;
    TableRecovery(const QString& tableDir, const QList<tables::RecoveryTable>& list,
                  tables::RecoveryHooks hooks, Done done, const QString& curDir = QString(),
                  QWidget* parent = nullptr);
    ~TableRecovery() override;

    TMainFormTableUtil* Window() const { return m_window.get(); }
    bool Finished() const { return m_finished; }

private:
    std::unique_ptr<TMainFormTableUtil> m_window;
    std::unique_ptr<QThread> m_thread;
    QList<tables::UtilRun> m_runs;
    Done m_done;
    bool m_finished = false;
};
