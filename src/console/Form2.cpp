// TForm2: start-up, first show, shut-down, exchange selection and the setting
// handlers of the main window.
#include "console/Form2.h"

#include "console/AutoDirectivesPage.h"
#include "console/DirectiveButtons.h"
#include "console/DirectiveEntry.h"
#include "console/MainSettings.h"
#include "console/MaskEdit.h"
#include "console/RollView.h"
#include "console/SegmentsPage.h"
#include "link/Ats.h"
#include "link/RequestTracker.h"
#include "platform/ProgramLog.h"
#include "platform/Registry.h"
#include "state/ui/StatePages.h"
#include "stats/ui/StatButtons.h"
#include "stats/ui/UnitStatPr.h"
#include "tariff/CallRecords.h"
#include "tariff/TariffTables.h"
#include "access/ui/OperatorAccess.h"
#include "tables/StartupRecovery.h"
#include "tables/ui/TableUtilMain.h"
#include "versions/ExchangeVersionLine.h"
#include "versions/ui/VersionsPage.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFontDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTextCursor>
#include <QVBoxLayout>

namespace {
const QString kAtsKeyRoot = QStringLiteral("\\Software\\ZezozuDaruduri\\ATS ");

void CheckRadio(QButtonGroup* g, int id) {
    if (QAbstractButton* b = g->button(id)) b->setChecked(true);
}
} // namespace

TForm2::TForm2(const QString& curDir, QWidget* parent) : QMainWindow(parent) {
    m_app.CurDir = curDir.isEmpty() ? QDir::currentPath() : QDir(curDir).absolutePath();
    BuildWindow();
    new DirectiveButtons(this, *m_entry, m_app);
    // The version windows take the selected exchange's line over while shown.
    new VersionsPage(
        Page(QStringLiteral("Версии")),
        [this]() -> std::unique_ptr<VersionLine> {
            if (!m_app.CurrentAts) return nullptr;
            return std::make_unique<ExchangeVersionLine>(
                *m_app.CurrentAts, m_app.DuplexMode, [this](const QString& l) { AddStatus(l); });
        },
        m_app.CurDir, this);
    auto* state = new StatePages(this, m_app,
                                 {[this](const QString& d) { m_entry->SendFixed(d); },
                                  [this](const QString& hint) { SetPanelText(0, hint); },
                                  [this] { return Tracker(); },
                                  {}});
    new AutoDirectivesPage(*this);
    qApp->installEventFilter(this);
    FormCreate();
    // The statistics need the request timers, made by FormCreate; their
    // progress window also shows the state summary's progress.
    if (m_tracker) {
        auto* stats = new StatButtons(Page(QStringLiteral("Статистика")), m_app, *m_tracker, this,
                                      [this](const QString& s) { AddStatus(s); });
        TFormStatPr* progress = stats->Progress();
        state->SetProgress({[progress] { progress->ShowProgress(); },
                            [progress](int v) { progress->SetProgress(v); },
                            [progress] { progress->HideProgress(); }});
    }
}

TForm2::~TForm2() {
    qApp->removeEventFilter(this);
    FormDestroy();
}

TAts* TForm2::Ats(int number) const {
    if (number < 1 || number > 4) return nullptr;
    return m_ats[size_t(number - 1)].get();
}

bool TForm2::OpenMainKey() {
    return m_reg && m_reg->OpenKey(MainSettings::kKey, true);
}

void TForm2::ShowMessage(const QString& text) {
    QMessageBox::information(this, QApplication::applicationDisplayName(), text);
}

void TForm2::FormCreate() {
    // 1. Working folder and the roll folder under it.
    QDir().mkpath(m_app.CurDir + QStringLiteral("/Rulon"));
    m_app.RollDir = m_app.CurDir + QStringLiteral("/Rulon/");
    SetLogDir(m_app.CurDir);

    // 2. Tariff and call tables.
    OpenTables();

    // 3. The registry accessor, kept for the window's life.
    m_reg = std::make_unique<Registry>();
    m_app.RegistryPath = m_reg->StorePath();
    // 4. The program-wide key and its values.
    CreateSettings cs;
    bool regOk = m_reg->IsAccessible() && OpenMainKey();
    if (regOk) {
        cs.Read(*m_reg);
        // 5. After an unclean end the tariff tables are rebuilt first.
        if (cs.PreviousRunCrashed()) RebuildTariffTables();
        // Until a clean shut-down writes true, the next start sees a crash.
        regOk = m_reg->WriteBool(QStringLiteral("CorrectLogOff"), false);
        m_reg->CloseKey();
    }
    if (!regOk) {
        m_usable = false;
        m_reg.reset();
        QMessageBox::critical(this, QApplication::applicationDisplayName(),
                              QStringLiteral("Ошибка доступа к реестру. Программа будет закрыта"));
        return;
    }
    setWindowState(WindowStateFromValue(cs.WindowState));
    m_app.TarifTimeMode = cs.TarifTimeMode;
    m_app.DuplexMode = cs.DuplexMode();
    m_app.BlockSend = cs.BlockSend();
    m_app.MaxNoPaneTime = cs.MaxNoPaneTime;
    m_editMaxNoPaneTime->setText(QString::number(cs.MaxNoPaneTime));
    // 6.
    m_checkFourDigitYear->setChecked(cs.FourDigitYear);
    // 7. Radio groups.
    CheckRadio(m_groupTarif, cs.TarifTimeMode);
    CheckRadio(m_groupDuplex, m_app.DuplexMode ? 1 : 0);
    CheckRadio(m_groupPlatform, m_app.BlockSend ? 0 : 1);
    // 8. Exchange names in the selector.
    {
        const QSignalBlocker block(m_comboATS);
        m_comboATS->clear();
        for (int n = 1; n <= 4; ++n) {
            QString name;
            if (m_reg->OpenKey(kAtsKeyRoot + QString::number(n), false)) {
                name = m_reg->ReadString(QStringLiteral("Name"), QString());
                m_reg->CloseKey();
            }
            m_comboATS->addItem(name.isEmpty() ? QStringLiteral("ATS ") + QString::number(n)
                                               : name);
        }
    }
    // 9. The exchange objects, bound to their controls, in order.
    for (int n = 1; n <= 4; ++n) {
        m_ats[size_t(n - 1)] = std::make_unique<TAts>(m_app, n);
        m_app.Ats[size_t(n - 1)] = m_ats[size_t(n - 1)].get();
        BindExchange(*m_ats[size_t(n - 1)], m_rows[size_t(n - 1)]);
    }

    // The request timers TimerStat, TimerWeStillGetIt, TimerWeStillDontGet
    // and TimerReceiveData, and the no-answer question they ask.
    m_tracker = std::make_unique<RequestTracker>();
    m_tracker->AskNoAnswer = [this] {
        QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(),
                        QStringLiteral("Станция не отвечает. Прервать?"),
                        QMessageBox::Cancel | QMessageBox::Abort | QMessageBox::Retry, this);
        switch (box.exec()) {
        case QMessageBox::Abort:
            return RequestTracker::NoAnswer::Abort;
        case QMessageBox::Retry:
            return RequestTracker::NoAnswer::Retry;
        default:
            return RequestTracker::NoAnswer::Cancel;
        }
    };

    m_entry->Reset();
}

void TForm2::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    if (m_shownOnce || !m_usable) return;
    m_shownOnce = true;
    FormShow();
    emit shown();
}

void TForm2::FormShow() {
    try {
        // 1. Settings of each exchange; ports that were open are opened.
        for (int n = 1; n <= 4; ++n) {
            m_ats[size_t(n - 1)]->InitSettings();
            ShowSettings(*m_ats[size_t(n - 1)], m_rows[size_t(n - 1)]);
        }
        // 2. Exchange 1 is selected.
        {
            const QSignalBlocker block(m_comboATS);
            m_comboATS->setCurrentIndex(0);
        }
        SelectExchange(1);
        m_view->AppendLine(QStringLiteral("Новый запуск"));
        m_maskEdit->setFocus();
        // 3. Roll view font and the statistics answer bound.
        if (OpenMainKey()) {
            RollFontSettings font;
            font.Read(*m_reg);
            ApplyRollFont(font.ToFont(), font.ToColor());
            m_timerStatWait = m_reg->ReadInteger(QStringLiteral("TimerStatWait"), 20000);
            if (!m_reg->ValueExists(QStringLiteral("TimerStatWait")))
                m_reg->WriteInteger(QStringLiteral("TimerStatWait"), 20000);
            m_tracker->SetWatchdogInterval(m_timerStatWait);
            m_reg->CloseKey();
        }
        // 4. The password, when its use is on ("PasswEn").
        AskPassword();
    } catch (...) {
        WriteLog(QStringLiteral("Ошибка инициализации окна отображения"));
    }
}

void TForm2::FormDestroy() {
    if (m_destroyed) return;
    m_destroyed = true;
    // 1. Exchange objects: ports and rolls closed.
    m_app.CurrentAts = nullptr;
    m_app.CurrentAtsNumber = 0;
    m_redirected = nullptr;
    for (int i = 3; i >= 0; --i) {
        m_app.Ats[size_t(i)] = nullptr;
        m_ats[size_t(i)].reset();
    }
    m_tracker.reset();
    // 2. Tables.
    CloseTables();
    // 3. Window state and the clean-end flag.
    if (m_usable && OpenMainKey()) {
        m_reg->WriteInteger(QStringLiteral("WindowState"), WindowStateValue(windowState()));
        m_reg->WriteBool(QStringLiteral("CorrectLogOff"), true);
        m_reg->CloseKey();
    }
    m_reg.reset();
}

// Later work fills these places.
void TForm2::OpenTables() {
    // FormCreate step 2: open the destination tables (index "KOD"; a failure
    // logs "Ошибка открытия таблиц SNG или Foren"), today's call table and the
    // two tariff tables; call frames of every exchange go to the tables.
    m_tables = std::make_unique<TTariffTables>(m_app.CurDir);
    m_tables->OpenTables();
    m_calls = std::make_unique<TCallRecords>(m_app, *m_tables);
    if (QWidget* page = Page(QStringLiteral("Сегменты")); page && !m_segments) {
        m_segments = new SegmentsPage(page);
        auto* lay = new QVBoxLayout(page);
        lay->setContentsMargins(0, 0, 0, 0);
        lay->addWidget(m_segments);
    }
    if (m_segments) m_segments->SetTable(m_tables->TableSegm());
}

// FormCreate step 5: after the journal has settled an interrupted commit,
// "DestTar.db" and "TarifTA2.db" are verified and rebuilt, each closed before
// and reopened after, with the table utility window shown.
void TForm2::RebuildTariffTables() {
    if (!m_tables) return;
    tables::RecoveryHooks hooks;
    hooks.closeTable = [this](const QString& f) { m_tables->CloseTariffTable(f); };
    hooks.reopenTable = [this](const QString& f) { m_tables->ReopenTariffTable(f); };
    RecoverTablesWithWindow(
        m_tables->StandardDir(),
        {{QStringLiteral("DestTar.db"), tables::TableDesc::FromFields(TTariffTables::DestTarFields())},
         {QStringLiteral("TarifTA2.db"),
          tables::TableDesc::FromFields(TTariffTables::TarifTAFields())}},
        hooks, m_app.CurDir, this);
}

void TForm2::CloseTables() {
    // FormDestroy step 2: close the destination tables, today's call table
    // and the two tariff tables.
    if (m_segments) m_segments->SetTable(nullptr);
    for (auto& a : m_ats)
        if (a) a->SetCallSink(nullptr);
    m_calls.reset();
    if (m_tables) m_tables->CloseTables();
}

void TForm2::ShowAutoSettings(TAts& ats) {
    // The automatic-directive tab shows the selected exchange's run-at and
    // run-every settings.
    if (auto* page = findChild<AutoDirectivesPage*>()) page->ShowSettings(ats);
}

void TForm2::LoadScript(TAts& ats) {
    // The script editor of the automatic-directive tab loads ats.AutoFileName.
    if (auto* page = findChild<AutoDirectivesPage*>()) page->LoadScript(ats);
}

// The operator password locks the first nine pages, the entry field and its
// button until the right password is given.
TOperatorAccess& TForm2::Access() {
    if (!m_access) {
        QList<QWidget*> guarded;
        for (int i = 0; i < 9 && i < m_pages->count(); ++i)
            guarded << m_pages->widget(i);
        guarded << m_maskEdit << m_buttonOK;
        m_access = new TOperatorAccess(this, guarded, m_app.RegistryPath);
    }
    return *m_access;
}

void TForm2::AskPassword() {
    Access().AskAtStartup();
}

void TForm2::ButtonPasswordClick() {
    Access().RunProcedure();
}

// The controls of one exchange and the exchange, bound both ways.
void TForm2::BindExchange(TAts& ats, AtsRow& row) {
    const int n = ats.Number();
    {
        const QSignalBlocker block(row.ComboBoxPort);
        row.ComboBoxPort->setCurrentText(QString::number(ats.Settings.Port));
    }
    ats.SetCallSink(m_calls.get());
    connect(&ats, &TAts::status, this, &TForm2::AddStatus);
    connect(&ats, &TAts::received, this, [this] { SetPanelText(2, QStringLiteral("Прием")); });
    connect(&ats, &TAts::echoed, this, [this, &ats](const QString& text) {
        if (m_app.CurrentAts == &ats) m_view->InsertAtEnd(text);
    });
    connect(&ats, &TAts::printout, this,
            [this, &ats](const QString& text) { ShowPrintout(ats, text); });
    connect(&ats, &TAts::portWantedChanged, row.CheckBoxPort, &QCheckBox::setChecked);

    // The exchange is the context of the controls' connections: they end
    // with it.
    connect(row.CheckBoxPort, &QCheckBox::clicked, &ats, [this, &ats, &row, n](bool checked) {
        ats.SwitchPort(checked);
        // The port field belongs to the selected exchange.
        if (ats.PortIsOpen() && m_app.CurrentAtsNumber == n)
            ShowPortText(row.ComboBoxPort->currentText());
    });
    connect(row.ComboBoxPort, &QComboBox::currentTextChanged, &ats,
            [this, &ats, n](const QString& text) {
                bool ok = false;
                const int port = text.trimmed().toInt(&ok);
                if (!ok) return;
                ats.ChangePort(port);
                if (m_app.CurrentAtsNumber == n) ShowPortText(text);
            });
    connect(row.CheckBoxDop, &QCheckBox::clicked, &ats,
            [&ats](bool checked) { ats.Settings.SetSLCheck(checked); });
    connect(row.EditAtsName, &QLineEdit::returnPressed, &ats, [this, &ats, &row, n] {
        ats.Settings.SetName(row.EditAtsName->text());
        ExchangeRenamed(n, ats.Settings.Name);
    });
    connect(row.EditDop, &QLineEdit::returnPressed, &ats,
            [&ats, &row] { ats.Settings.SetSL(row.EditDop->text()); });
    connect(row.EditMG, &QLineEdit::returnPressed, &ats,
            [&ats, &row] { ats.Settings.SetMG(row.EditMG->text()); });
    connect(row.EditMN, &QLineEdit::returnPressed, &ats,
            [&ats, &row] { ats.Settings.SetMN(row.EditMN->text()); });
}

// The editors show the settings read at the first show.
void TForm2::ShowSettings(TAts& ats, AtsRow& row) {
    const AtsSettings& s = ats.Settings;
    row.EditAtsName->setText(s.Name);
    row.EditDop->setText(s.SL);
    row.EditMG->setText(s.MG);
    row.EditMN->setText(s.MN);
    row.CheckBoxDop->setChecked(s.SLCheck);
}

void TForm2::ShowPrintout(TAts& ats, const QString& text) {
    TAts* current = m_app.CurrentAts;
    if (&ats == m_redirected && current) {
        QTextCursor c(m_rows[size_t(current->Number() - 1)].Memo->document());
        c.movePosition(QTextCursor::End);
        QString t = text;
        t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        c.insertText(t);
    } else if (&ats == current) {
        m_view->InsertAtEnd(text);
    }
}

void TForm2::RollViewEnter() {
    TAts* ats = m_app.CurrentAts;
    if (!ats) return;
    m_rows[size_t(ats->Number() - 1)].Memo->clear();
    m_redirected = ats;
    m_view->SetAutoScroll(false);
}

void TForm2::RollViewExit() {
    m_view->SetAutoScroll(true);
    m_redirected = nullptr;
    TAts* ats = m_app.CurrentAts;
    if (!ats) return;
    QPlainTextEdit* memo = m_rows[size_t(ats->Number() - 1)].Memo;
    const QString held = memo->toPlainText();
    if (!held.isEmpty()) m_view->InsertAtEnd(held);
    memo->clear();
}

void TForm2::SelectExchange(int number) {
    TAts* ats = Ats(number);
    if (!ats) return;
    m_app.CurrentAts = ats;
    m_app.CurrentAtsNumber = number;
    ShowAutoSettings(*ats);
    ShowPortText(QString::number(ats->Settings.Port));
    TFLoad(*m_view, ats->RollLog().FileName());
    LoadScript(*ats);
}

void TForm2::ComboBoxATSChange(int index) {
    if (index < 0 || index > 3) return;
    TAts* ats = Ats(index + 1);
    if (!ats) return;
    m_app.CurrentAts = ats;
    m_app.CurrentAtsNumber = index + 1;
    ShowAutoSettings(*ats);
    ShowPortText(QString::number(ats->Settings.Port));
    AddStatus(m_comboATS->currentText());
    TFLoad(*m_view, ats->RollLog().FileName());
    LoadScript(*ats);
    // Typing goes to the new exchange at once.
    m_maskEdit->setFocus();
}

void TForm2::RadioGroupDuplexClick(int index) {
    if (!OpenMainKey()) return;
    const int stored = m_reg->ReadInteger(QStringLiteral("Duplex"), 0) == 1 ? 1 : 0;
    if (index != stored) m_reg->WriteInteger(QStringLiteral("Duplex"), index);
    m_reg->CloseKey();
    // The link mode of the running program stays as it was created.
    if (index != stored) ShowMessage(MainSettings::kRestartText);
}

void TForm2::RadioGroupTarifTimeModeClick(int index) {
    m_app.TarifTimeMode = index;
    if (!OpenMainKey()) return;
    const int stored = m_reg->ReadInteger(QStringLiteral("TarifTimeMode"), 1);
    if (index != stored) m_reg->WriteInteger(QStringLiteral("TarifTimeMode"), index);
    m_reg->CloseKey();
    if (index != stored) ShowMessage(MainSettings::kRestartText);
}

void TForm2::RadioGroupPlatformClick(int index) {
    m_app.BlockSend = index == 0;
    for (auto& a : m_ats)
        if (a) a->Link().SetBlockSend(m_app.BlockSend);
    if (!OpenMainKey()) return;
    if (m_reg->ReadInteger(QStringLiteral("Platform"), 0) != index)
        m_reg->WriteInteger(QStringLiteral("Platform"), index);
    m_reg->CloseKey();
}

void TForm2::EditMaxNoPaneTimeEnter() {
    bool ok = false;
    const int v = m_editMaxNoPaneTime->text().trimmed().toInt(&ok);
    if (!ok) {
        // Not a number: the field shows the value in force again.
        m_editMaxNoPaneTime->setText(QString::number(m_app.MaxNoPaneTime));
        return;
    }
    m_app.MaxNoPaneTime = v;
    if (!OpenMainKey()) return;
    m_reg->WriteInteger(QStringLiteral("MaxNoPaneTime"), v);
    m_reg->CloseKey();
}

void TForm2::CheckBoxFourDigitYearClick(bool checked) {
    if (!OpenMainKey()) return;
    m_reg->WriteBool(QStringLiteral("FourDigitYear"), checked);
    m_reg->CloseKey();
}

void TForm2::ApplyRollFont(const QFont& font, const QColor& color) {
    m_view->setFont(font);
    // A few lines of the roll stay in view however small the window.
    m_view->setMinimumHeight(4 * QFontMetrics(font).lineSpacing() + 2 * m_view->frameWidth());
    QPalette p = m_view->palette();
    p.setColor(QPalette::Text, color);
    m_view->setPalette(p);
}

void TForm2::MenuFontClick() {
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, m_view->font(), this, QStringLiteral("Фонт"));
    if (!ok) return;
    QColor color = QColorDialog::getColor(m_view->palette().color(QPalette::Text), this,
                                          QStringLiteral("Цвет"));
    if (!color.isValid()) color = m_view->palette().color(QPalette::Text);
    ApplyRollFont(font, color);
    RollFontSettings s;
    s.FromFont(font, color);
    if (!OpenMainKey()) return;
    s.Write(*m_reg);
    m_reg->CloseKey();
}

void TForm2::AddStatus(const QString& line) {
    m_memoStatus->appendPlainText(line);
}

void TForm2::StatusChanged() {
    // The line that takes the list past the limit empties it.
    if (m_memoStatus->document()->characterCount() - 1 > kStatusLimit) m_memoStatus->clear();
}

void TForm2::SetPanelText(int panel, const QString& text) {
    if (panel >= 0 && panel < 3) m_panels[size_t(panel)]->setText(text);
}

QString TForm2::PanelText(int panel) const {
    return panel >= 0 && panel < 3 ? m_panels[size_t(panel)]->text() : QString();
}

void TForm2::ShowPortText(const QString& text) {
    const QSignalBlocker block(m_comboPortMain);
    m_comboPortMain->clear();
    m_comboPortMain->addItem(text);
    m_comboPortMain->setCurrentIndex(0);
}

void TForm2::ExchangeRenamed(int number, const QString& name) {
    if (number < 1 || number > 4) return;
    const QSignalBlocker block(m_comboATS);
    m_comboATS->setItemText(
        number - 1, name.isEmpty() ? QStringLiteral("ATS ") + QString::number(number) : name);
}

void TForm2::BringToFront() {
    if (windowState() & Qt::WindowMinimized) setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

QWidget* TForm2::Page(const QString& caption) const {
    const auto tabs = findChildren<QTabWidget*>();
    for (QTabWidget* t : tabs)
        for (int i = 0; i < t->count(); ++i)
            if (t->tabText(i) == caption) return t->widget(i);
    return nullptr;
}

bool TForm2::eventFilter(QObject* watched, QEvent* e) {
    // Hint line: the control under the mouse puts its hint into panel 0.
    const bool mouseOver = e->type() == QEvent::Enter || e->type() == QEvent::MouseMove;
    if (mouseOver && watched->isWidgetType()) {
        auto* w = static_cast<QWidget*>(watched);
        if (w->window() == this) {
            QString hint;
            for (QWidget* p = w; p && p != this && hint.isEmpty(); p = p->parentWidget())
                hint = p->toolTip();
            // The panel is one line: a hint of several lines is shown on it.
            hint.replace(QLatin1Char('\n'), QLatin1Char(' '));
            if (PanelText(0) != hint) SetPanelText(0, hint);
        }
    }
    return QMainWindow::eventFilter(watched, e);
}
