#pragma once
// The table utility window "Table Utility ( As Is )": pick a table by alias or
// by file, see its properties, verify and rebuild it with progress.
#include "tables/StartupRecovery.h"
#include "tables/TableUtil.h"

#include <QWidget>

#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class TAboutTableUtil;

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
    void Rebuild(const tables::TableDesc* fallback = nullptr);
    void ShowAbout();

    void ClearStatus();
    void ShowProgress(tables::UtilPhase phase, int percent);
    void ShowRun(const tables::UtilRun& run);
    QString Location() const;
    TAboutTableUtil* About() const { return m_about; }

private:
    void ShowProperties(const QString& path);
    void SetPropertyLabels(const tables::TableProps& p);
    void EnableActions(bool on);

    QString m_curDir;
    tables::TTableUtil m_util;
    QComboBox* m_alias;
    QComboBox* m_table;
    QLineEdit* m_location;
    QPushButton* m_verify;
    QPushButton* m_rebuild;
    QList<QLabel*> m_props;
    QProgressBar* m_bars[4];
    QLabel* m_message;
    TAboutTableUtil* m_about;
};

// The start-up recovery with the window shown: creates the window and its
// About box, shows them while RecoverTables runs, then destroys them.
QList<tables::UtilRun> RecoverTablesWithWindow(const QString& tableDir,
                                               const QList<tables::RecoveryTable>& list,
                                               tables::RecoveryHooks hooks,
                                               const QString& curDir = QString(),
                                               QWidget* parent = nullptr);
