// TForm2: start-up, first show, shut-down, exchange selection and the setting
// handlers of the main window.
#include "console/Form2.h"

#include "access/ui/OperatorAccess.h"
#include "app/Terminal.h"
#include "central/CentralDelivery.h"
#include "console/AutoDirectivesPage.h"
#include "console/DirectiveButtons.h"
#include "console/DirectiveEntry.h"
#include "console/RollFontSettings.h"
#include "console/RollView.h"
#include "console/SegmentsPage.h"
#include "directives/ui/MaskEdit.h"
#include "link/Ats.h"
#include "link/RequestTracker.h"
#include "platform/ProgramLog.h"
#include "platform/Registry.h"
#include "state/ui/StatePages.h"
#include "stats/ui/FormStatPr.h"
#include "stats/ui/StatButtons.h"
#include "tables/ui/MainFormTableUtil.h"
#include "tariff/TariffTables.h"
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
#include <QStatusBar>
#include <QTabWidget>
#include <QTextCursor>
#include <QVBoxLayout>

namespace {
const QString kAtsKeyRoot = QStringLiteral("\\Software\\ZezozuDaruduri\\ATS ");
const QString kWrongPassword = QStringLiteral("Неверный пароль");
const QString kLineBusy = QStringLiteral("Линия АТС занята");
const QString kRestartText = QStringLiteral("Изменения вступят в силу после перезапуска программы");

void CheckRadio(QButtonGroup* g, int id) {
    if (QAbstractButton* b = g->button(id)) b->setChecked(true);
}

// A window's own terminal, started; the recovery of the tables after an
// unclean end is the window's to show.
std::unique_ptr<Terminal> StartedTerminal(const QString& curDir) {
    auto term = std::make_unique<Terminal>(curDir);
    term->DeferRecovery();
    term->Start();
    return term;
}
} // namespace

TForm2::TForm2(const QString& curDir, QWidget* parent)
    : QMainWindow(parent), m_ownTerminal(StartedTerminal(curDir)), m_term(*m_ownTerminal) {
    Compose();
}

TForm2::TForm2(Terminal& term, QWidget* parent) : QMainWindow(parent), m_term(term) {
    Compose();
}

void TForm2::Compose() {
    m_usable = m_term.IsRunning();
    BuildWindow();
    if (!m_usable) {
        QMessageBox::critical(this, QApplication::applicationDisplayName(),
                              QStringLiteral("Ошибка доступа к реестру. Программа будет закрыта"));
        return;
    }
    auto* buttons = new DirectiveButtons(this, m_tabPages, *m_entry, m_term, m_groupTime);
    // The version windows take the selected exchange's line over while shown.
    new VersionsPage(
        m_pageVersions,
        [this]() -> std::unique_ptr<VersionLine> {
            TAts* ats = m_term.Current();
            if (!ats) return nullptr;
            return std::make_unique<ExchangeVersionLine>(
                *ats, m_term.Link().duplexMode, [this](const QString& l) { AddStatus(l); });
        },
        m_term.CurDir(), this);
    auto* state = new StatePages(
        this, m_tabPages, m_term.Exchanges(),
        {[this](const QString& d) { m_entry->SendFixed(d); },
         [this](const QString& hint) { SetPanelText(0, hint); },
         [this] { return &m_term.Tracker(); },
         {},
         [buttons](const QString& entry) { return buttons->CatalogueButton(entry); }});
    m_auto = new AutoDirectivesPage(this, m_pageAuto, m_term.Exchanges(),
                                    {m_rows[0].MemoAutoProm, m_rows[1].MemoAutoProm,
                                     m_rows[2].MemoAutoProm, m_rows[3].MemoAutoProm},
                                    [this](const QString& s) { AddStatus(s); });
    qApp->installEventFilter(this);
    FormCreate();
    // The statistics' progress window also shows the state summary's progress.
    auto* stats = new StatButtons(m_pageStat, m_term.Exchanges(), m_term.Tracker(), m_term.CurDir(),
                                  this, [this](const QString& s) { AddStatus(s); });
    TFormStatPr* progress = stats->Progress();
    state->SetProgress({[progress] { progress->ShowProgress(); },
                        [progress](int v) { progress->SetProgress(v); },
                        [progress] { progress->HideProgress(); }});
}

// The delivery to the central store: its state in a panel of its own, its
// losses and recoveries in the status list.
void TForm2::ShowCentral(CentralDelivery& central) {
    auto* panel = new QLabel(central.StateText());
    panel->setObjectName(QStringLiteral("StatusPanelCentral"));
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    statusBar()->addWidget(panel, 1);
    connect(&central, &CentralDelivery::stateChanged, panel, &QLabel::setText);
    connect(&central, &CentralDelivery::note, this, &TForm2::AddStatus);
}

TForm2::~TForm2() {
    qApp->removeEventFilter(this);
    FormDestroy();
}

TAts* TForm2::Ats(int number) const {
    return m_term.Ats(number);
}

template <class Write> bool TForm2::WriteMain(Write write) {
    RegistryKey key{m_term.Reg(), CreateSettings::kKey, true};
    return key && write(*key);
}

void TForm2::ShowMessage(const QString& text) {
    QMessageBox::information(this, QApplication::applicationDisplayName(), text);
}

// The window shows what the terminal read at start and binds each exchange.
void TForm2::FormCreate() {
    const CreateSettings& cs = m_term.Started();
    setWindowState(WindowStateFromValue(cs.WindowState));
    m_editMaxNoPaneTime->setText(QString::number(cs.MaxNoPaneTime));
    m_checkFourDigitYear->setChecked(cs.FourDigitYear);
    CheckRadio(m_groupTarif, cs.TarifTimeMode);
    CheckRadio(m_groupDuplex, m_term.Link().duplexMode ? 1 : 0);
    CheckRadio(m_groupPlatform, m_term.Link().blockSend ? 0 : 1);
    // Exchange names in the selector.
    {
        const QSignalBlocker block(m_comboATS);
        m_comboATS->clear();
        for (int n = 1; n <= 4; ++n) {
            QString name;
            if (RegistryKey key{m_term.Reg(), kAtsKeyRoot + QString::number(n), false})
                name = key->ReadString(QStringLiteral("Name"), QString());
            m_comboATS->addItem(name.isEmpty() ? QStringLiteral("ATS ") + QString::number(n)
                                               : name);
        }
    }
    // The segments tab shows the terminal's segment table.
    m_segments = new SegmentsPage(m_pageSegments);
    auto* lay = new QVBoxLayout(m_pageSegments);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->addWidget(m_segments);
    m_segments->SetTable(m_term.Tables().TableSegm());
    for (int n = 1; n <= 4; ++n)
        BindExchange(*Ats(n), m_rows[size_t(n - 1)]);
    connect(&m_term.Exchanges(), &ExchangeSet::selected, this, &TForm2::ShowSelected);

    // The no-answer question of the request timers.
    m_term.Tracker().AskNoAnswer = [this] {
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
}

// After an unclean end the tariff tables are recovered first, with the table
// utility window shown; the lines open when that is over.
void TForm2::FormShow() {
    if (!m_term.RecoveryDue()) {
        ShowReady();
        return;
    }
    const Terminal::Recovery r = m_term.PendingRecovery();
    m_recovery = std::make_unique<TableRecovery>(
        r.tableDir, r.tables, r.hooks,
        [this](const QList<tables::UtilRun>&) {
            m_term.RecoveryDone();
            ShowReady();
        },
        m_term.CurDir(), this);
}

void TForm2::ShowReady() {
    try {
        // Settings of each exchange; ports that were open are opened;
        // exchange 1 is selected.
        {
            const QSignalBlocker block(m_comboATS);
            m_comboATS->setCurrentIndex(0);
        }
        m_term.OpenLines();
        if (CentralDelivery* central = m_term.Delivery()) ShowCentral(*central);
        for (int n = 1; n <= 4; ++n)
            ShowSettings(*Ats(n), m_rows[size_t(n - 1)]);
        m_view->AppendLine(QStringLiteral("Новый запуск"));
        m_maskEdit->setFocus();
        // Roll view font.
        {
            RollFontSettings font;
            if (RegistryKey key{m_term.Reg(), CreateSettings::kKey, true}) font.Read(*key);
            ApplyRollFont(font.ToFont(), font.ToColor());
        }
        // The password, when its use is on ("PasswEn").
        Access().AskAtStartup();
    } catch (...) {
        WriteLog(QStringLiteral("Ошибка инициализации окна отображения"));
    }
    emit shown();
}

void TForm2::FormDestroy() {
    if (m_destroyed) return;
    m_destroyed = true;
    m_recovery.reset(); // a recovery still running is let finish
    m_redirected = nullptr;
    if (m_segments) m_segments->SetTable(nullptr);
    m_term.Shutdown(m_usable ? std::optional<int>(WindowStateValue(windowState())) : std::nullopt);
}

// The operator password locks the first nine pages, the entry field and its
// button until the right password is given.
OperatorAccess& TForm2::Access() {
    if (!m_access) {
        QList<QWidget*> guarded;
        for (int i = 0; i < 9 && i < m_pages->count(); ++i)
            guarded << m_pages->widget(i);
        guarded << m_maskEdit << m_buttonOK;
        m_access = new OperatorAccess(this, guarded, m_term.RegistryPath());
        connect(m_access, &OperatorAccess::refused, this,
                [this] { SetPanelText(1, kWrongPassword); });
    }
    return *m_access;
}

void TForm2::ButtonPasswordClick() {
    if (Access().RunProcedure() == OperatorAccess::Outcome::Unlocked &&
        PanelText(1) == kWrongPassword)
        SetPanelText(1, QString());
}

// The controls of one exchange and the exchange, bound both ways.
void TForm2::BindExchange(TAts& ats, AtsRow& row) {
    const int n = ats.Number();
    {
        const QSignalBlocker block(row.ComboBoxPort);
        row.ComboBoxPort->setCurrentText(QString::number(ats.Settings.Port));
    }
    connect(&ats, &TAts::status, this, &TForm2::AddStatus);
    connect(&ats, &TAts::received, this, [this] { SetPanelText(2, QStringLiteral("Прием")); });
    connect(&ats, &TAts::echoed, this, [this, &ats](const QString& text) {
        if (m_term.Current() == &ats) m_view->InsertAtEnd(text);
    });
    connect(&ats, &TAts::printout, this,
            [this, &ats](const QString& text) { ShowPrintout(ats, text); });
    connect(&ats, &TAts::portWantedChanged, row.CheckBoxPort, &QCheckBox::setChecked);
    connect(&ats, &TAts::portWantedChanged, this, [this, &ats] {
        if (m_term.Current() == &ats) ShowLineState();
    });
    // Codes refused by a closed port: "Передача" gives way to the line's state.
    connect(&ats.Link(), &Line::drained, this, [this, &ats] {
        if (m_term.Current() == &ats && !ats.PortIsOpen()) ShowLineState();
    });
    // A line lost, or open again after it was retried.
    connect(&ats, &TAts::status, this, [this, &ats] {
        if (m_term.Current() == &ats && !ats.IsSending()) ShowLineState();
    });
    connect(&ats, &TAts::lineRefused, this,
            [this, &ats](const QString& text) { LineRefused(ats, text); });
    connect(&ats, &TAts::lineHolderChanged, this, [this, &ats] {
        if (m_term.Current() == &ats && !ats.Session()) ClearRefusal();
    });

    // The exchange is the context of the controls' connections: they end
    // with it.
    connect(row.CheckBoxPort, &QCheckBox::clicked, &ats, [this, &ats, &row, n](bool checked) {
        ats.SwitchPort(checked);
        // The port field belongs to the selected exchange.
        if (ats.PortIsOpen() && m_term.Exchanges().CurrentNumber() == n)
            ShowPortText(row.ComboBoxPort->currentText());
    });
    connect(row.ComboBoxPort, &QComboBox::currentTextChanged, &ats,
            [this, &ats, n](const QString& text) {
                bool ok = false;
                const int port = text.trimmed().toInt(&ok);
                if (!ok) return;
                ats.ChangePort(port);
                if (m_term.Exchanges().CurrentNumber() == n) ShowPortText(text);
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
    TAts* current = m_term.Current();
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
    TAts* ats = m_term.Current();
    if (!ats) return;
    m_rows[size_t(ats->Number() - 1)].Memo->clear();
    m_redirected = ats;
    m_view->SetAutoScroll(false);
}

void TForm2::RollViewExit() {
    m_view->SetAutoScroll(true);
    m_redirected = nullptr;
    TAts* ats = m_term.Current();
    if (!ats) return;
    QPlainTextEdit* memo = m_rows[size_t(ats->Number() - 1)].Memo;
    const QString held = memo->toPlainText();
    if (!held.isEmpty()) m_view->InsertAtEnd(held);
    memo->clear();
}

// The views follow the selected exchange: its run settings and script, its
// port and its roll.
void TForm2::ShowSelected(TAts* ats) {
    ClearRefusal();
    ShowLineState();
    m_auto->ShowSettings(*ats);
    ShowPortText(QString::number(ats->Settings.Port));
    TFLoad(*m_view, ats->RollLog().FileName());
    m_auto->LoadScript(*ats);
}

void TForm2::ShowLineState() {
    const TAts* ats = m_term.Current();
    if (!ats) return;
    SetPanelText(2, ats->IsSending()    ? QStringLiteral("Передача")
                    : ats->PortIsOpen() ? QStringLiteral("Прием")
                                        : QStringLiteral("Порт закрыт"));
}

void TForm2::LineRefused(TAts& ats, const QString& text) {
    AddStatus(text);
    if (m_term.Current() == &ats) SetPanelText(1, text);
}

void TForm2::ClearRefusal() {
    if (PanelText(1).startsWith(kLineBusy)) SetPanelText(1, QString());
}

void TForm2::ComboBoxATSChange(int index) {
    if (!m_term.Exchanges().Select(index + 1)) return;
    AddStatus(m_comboATS->currentText());
    // Typing goes to the new exchange at once.
    m_maskEdit->setFocus();
}

void TForm2::RadioGroupDuplexClick(int index) {
    bool changed = false;
    WriteMain([&](Registry& reg) {
        const int stored = reg.ReadInteger(QStringLiteral("Duplex"), 0) == 1 ? 1 : 0;
        changed = index != stored;
        return !changed || reg.WriteInteger(QStringLiteral("Duplex"), index);
    });
    // The link mode of the running program stays as it was created.
    if (changed) ShowMessage(kRestartText);
}

void TForm2::RadioGroupTarifTimeModeClick(int index) {
    m_term.Billing().timeMode = index;
    bool changed = false;
    WriteMain([&](Registry& reg) {
        changed = index != reg.ReadInteger(QStringLiteral("TarifTimeMode"), 1);
        return !changed || reg.WriteInteger(QStringLiteral("TarifTimeMode"), index);
    });
    if (changed) ShowMessage(kRestartText);
}

void TForm2::RadioGroupPlatformClick(int index) {
    m_term.SetBlockSend(index == 0);
    WriteMain([&](Registry& reg) {
        return reg.ReadInteger(QStringLiteral("Platform"), 0) == index ||
               reg.WriteInteger(QStringLiteral("Platform"), index);
    });
}

void TForm2::EditMaxNoPaneTimeEnter() {
    bool ok = false;
    const int v = m_editMaxNoPaneTime->text().trimmed().toInt(&ok);
    if (!ok) {
        // Not a number: the field shows the value in force again.
        m_editMaxNoPaneTime->setText(QString::number(m_term.Billing().maxNoPaneTime));
        return;
    }
    m_term.Billing().maxNoPaneTime = v;
    WriteMain([v](Registry& reg) { return reg.WriteInteger(QStringLiteral("MaxNoPaneTime"), v); });
}

void TForm2::CheckBoxFourDigitYearClick(bool checked) {
    WriteMain([checked](Registry& reg) {
        return reg.WriteBool(QStringLiteral("FourDigitYear"), checked);
    });
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
    WriteMain([&s](Registry& reg) { return s.Write(reg); });
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
