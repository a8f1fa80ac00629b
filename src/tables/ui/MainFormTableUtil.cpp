#include "tables/ui/MainFormTableUtil.h"

#include "tables/Aliases.h"
#include "tables/ui/AboutTableUtil.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const char* const kPropCaptions[] = {
    "Fields:",     "Record Size:",         "Indexes:",       "Validities:",
    "References:", "Restructure Version:", "Aux Passwords:", "Code Page:",
    "Block Size:", "Table Level:"};
const char* const kPropNames[] = {"FieldsLB",     "RecSizeLB",     "IndexesLB",      "ValiditiesLB",
                                  "ReferencesLB", "RestructureLB", "AuxPasswordsLB", "CodePageLB",
                                  "BlockSizeLB",  "TableLevelLB"};
const char* const kBarCaptions[] = {"Header:", "Indexes:", "Data:", "Rebuild:"};
const char* const kBarNames[] = {"PBHeader", "PBIndexes", "PBData", "PBRebuild"};

// Restores the cursor however the operation ends.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

TMainFormTableUtil::TMainFormTableUtil(const QString& curDir, QWidget* parent)
    : QWidget(parent, Qt::Window), m_curDir(curDir), m_alias(new QComboBox(this)),
      m_table(new QComboBox(this)), m_location(new QLineEdit(this)),
      m_verify(new QPushButton(QStringLiteral("Verify"), this)),
      m_rebuild(new QPushButton(QStringLiteral("Rebuild"), this)), m_message(new QLabel(this)),
      m_about(new AboutTableUtil(this)) {
    setObjectName(QStringLiteral("MainFormTableUtil"));
    setWindowTitle(QStringLiteral("Table Utility ( As Is )"));
    m_alias->setObjectName(QStringLiteral("AliasCombo"));
    m_table->setObjectName(QStringLiteral("TableCombo"));
    m_location->setObjectName(QStringLiteral("TableLocEdit"));
    m_location->setReadOnly(true);
    m_verify->setObjectName(QStringLiteral("VerifyBtn"));
    m_rebuild->setObjectName(QStringLiteral("RebuildBtn"));
    m_message->setObjectName(QStringLiteral("MessageLB"));
    m_message->setWordWrap(true);
    // A long path or message wraps or is cut in the room the window has; it
    // never widens the window. Three lines are kept for it.
    m_message->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_message->setMinimumHeight(3 * m_message->fontMetrics().lineSpacing());
    m_message->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_location->setMinimumWidth(m_location->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 40);
    auto* byDir = new QPushButton(QStringLiteral("By Directory..."), this);
    byDir->setObjectName(QStringLiteral("ByDirectBtn"));
    auto* aboutBtn = new QPushButton(QStringLiteral("About"), this);
    aboutBtn->setObjectName(QStringLiteral("AboutBtn"));

    auto* select = new QGroupBox(QStringLiteral(" Select Table Directory and File: "), this);
    auto* sg = new QGridLayout(select);
    sg->addWidget(new QLabel(QStringLiteral("Alias Name:")), 0, 0);
    sg->addWidget(m_alias, 0, 1);
    sg->addWidget(new QLabel(QStringLiteral("Table Name:")), 1, 0);
    sg->addWidget(m_table, 1, 1);
    sg->addWidget(new QLabel(QStringLiteral("Table Location:")), 2, 0);
    sg->addWidget(m_location, 2, 1);
    sg->addWidget(byDir, 2, 2);

    auto* info = new QGroupBox(QStringLiteral(" Table Information and Action: "), this);
    auto* ig = new QGridLayout(info);
    for (int i = 0; i < 10; ++i) {
        auto* value = new QLabel(QStringLiteral("0"));
        value->setObjectName(QLatin1String(kPropNames[i]));
        m_props.append(value);
        ig->addWidget(new QLabel(QLatin1String(kPropCaptions[i])), i % 5, (i / 5) * 2);
        ig->addWidget(value, i % 5, (i / 5) * 2 + 1);
    }
    ig->addWidget(m_verify, 0, 4);
    ig->addWidget(m_rebuild, 1, 4);

    auto* status = new QGroupBox(QStringLiteral(" Status: "), this);
    auto* tg = new QGridLayout(status);
    for (int i = 0; i < 4; ++i) {
        m_bars[i] = new QProgressBar;
        m_bars[i]->setObjectName(QLatin1String(kBarNames[i]));
        m_bars[i]->setRange(0, 100);
        tg->addWidget(new QLabel(QLatin1String(kBarCaptions[i])), i, 0);
        tg->addWidget(m_bars[i], i, 1);
    }
    tg->addWidget(new QLabel(QStringLiteral("Message:")), 4, 0, Qt::AlignTop);
    tg->addWidget(m_message, 4, 1);
    tg->addWidget(aboutBtn, 5, 1, Qt::AlignRight);

    auto* top = new QVBoxLayout(this);
    top->addWidget(select);
    top->addWidget(info);
    top->addWidget(status);

    m_alias->addItems({tables::kAliasStandard, tables::kAliasEveryday});
    m_alias->setCurrentIndex(-1);
    EnableActions(false);
    ClearStatus();
    m_util.SetProgress([this](tables::UtilPhase p, int pct) { ShowProgress(p, pct); });

    connect(m_alias, &QComboBox::activated, this, &TMainFormTableUtil::AliasChanged);
    connect(m_table, &QComboBox::activated, this, &TMainFormTableUtil::TableChanged);
    connect(byDir, &QPushButton::clicked, this, [this] {
        const QString f = QFileDialog::getOpenFileName(this, QString(), QString(),
                                                       QStringLiteral("DB Files (*.db)"), nullptr,
                                                       QFileDialog::ReadOnly);
        if (!f.isEmpty()) ChooseFile(f);
    });
    connect(m_verify, &QPushButton::clicked, this, [this] { Verify(); });
    connect(m_rebuild, &QPushButton::clicked, this, [this] { Rebuild(); });
    connect(aboutBtn, &QPushButton::clicked, this, &TMainFormTableUtil::ShowAbout);
}

TMainFormTableUtil::~TMainFormTableUtil() {
    // Closed while a lent table is out: it goes back unrebuilt.
    if (m_lent) {
        GiveBack();
        QApplication::restoreOverrideCursor();
    }
}

void TMainFormTableUtil::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (m_placed || e->spontaneous()) return;
    m_placed = true;
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s) return;
    const QRect area = s->availableGeometry();
    QRect r = frameGeometry();
    const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    r.moveCenter(owner && owner->isVisible() ? owner->frameGeometry().center() : area.center());
    r.moveLeft(std::clamp(r.left(), area.left(), std::max(area.left(), area.right() - r.width())));
    r.moveTop(std::clamp(r.top(), area.top(), std::max(area.top(), area.bottom() - r.height())));
    move(r.topLeft());
}

QString TMainFormTableUtil::Location() const {
    return m_location->text();
}

void TMainFormTableUtil::EnableActions(bool on) {
    m_verify->setEnabled(on);
    m_rebuild->setEnabled(on);
}

void TMainFormTableUtil::ClearStatus() {
    for (QProgressBar* b : m_bars)
        b->setValue(0);
    m_message->clear();
}

void TMainFormTableUtil::SetPropertyLabels(const tables::TableProps& p) {
    const int v[] = {p.fields,     p.recordSize,         p.indexes,      p.validities,
                     p.references, p.restructureVersion, p.auxPasswords, p.codePage,
                     p.blockSize,  p.tableLevel};
    for (int i = 0; i < 10; ++i)
        m_props[i]->setText(QString::number(v[i]));
}

void TMainFormTableUtil::AliasChanged(int index) {
    m_alias->setCurrentIndex(index);
    m_table->clear();
    QString e;
    const QString dir = tables::AliasDirectory(m_alias->itemText(index), m_curDir, &e);
    if (!dir.isEmpty()) {
        QStringList names = QDir(dir).entryList({QStringLiteral("*.db"), QStringLiteral("*.dbf")},
                                                QDir::Files, QDir::Name | QDir::IgnoreCase);
        m_table->addItems(names);
    }
    m_table->setCurrentIndex(-1);
    ClearStatus();
    SetPropertyLabels({});
    m_location->clear();
    EnableActions(false);
}

void TMainFormTableUtil::TableChanged(int index) {
    if (index < 0 || index >= m_table->count() || m_alias->currentIndex() < 0) return;
    m_table->setCurrentIndex(index);
    const QString dir = tables::AliasDirectory(m_alias->currentText(), m_curDir);
    SetLocation(QDir::toNativeSeparators(dir + QLatin1Char('/') + m_table->itemText(index)));
}

void TMainFormTableUtil::SetLocation(const QString& path) {
    m_location->setText(path);
    EnableActions(!path.isEmpty());
    ClearStatus();
    ShowProperties(path);
}

void TMainFormTableUtil::ChooseFile(const QString& path) {
    m_alias->setCurrentIndex(-1);
    m_table->clear();
    SetLocation(QDir::toNativeSeparators(path));
}

void TMainFormTableUtil::ShowProperties(const QString& path) {
    tables::TableProps p;
    if (m_util.FillCurProps(QDir::fromNativeSeparators(path), p)) SetPropertyLabels(p);
}

void TMainFormTableUtil::ShowProgress(tables::UtilPhase phase, int percent) {
    int i = -1;
    switch (phase) {
    case tables::UtilPhase::Header:
        i = 0;
        break;
    case tables::UtilPhase::Indexes:
        i = 1;
        break;
    case tables::UtilPhase::Data:
        i = 2;
        break;
    case tables::UtilPhase::Rebuild:
        i = 3;
        break;
    }
    if (i < 0 || m_bars[i]->value() == percent) return;
    m_bars[i]->setValue(percent);
    if (isVisible()) m_bars[i]->repaint();
}

void TMainFormTableUtil::ShowRun(const tables::UtilRun& run) {
    switch (run.outcome) {
    case tables::UtilRun::CallFailed:
    case tables::UtilRun::NoCounts:
        m_message->setText(run.error);
        break;
    case tables::UtilRun::FillFailed: {
        auto* box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Error"),
                                    tables::kFillFailed, QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        break;
    }
    case tables::UtilRun::Done:
        m_message->setText(run.message);
        break;
    case tables::UtilRun::NotDone:
        m_message->setText(run.message + QLatin1Char('\n') + run.error);
        break;
    }
    if (isVisible()) m_message->repaint();
}

void TMainFormTableUtil::Verify() {
    WaitCursor wait;
    ClearStatus();
    ShowRun(tables::RunVerify(m_util, QDir::fromNativeSeparators(Location())));
}

void TMainFormTableUtil::Rebuild(const tables::TableDesc* fallback) {
    if (m_lent) return;
    const QString path = QDir::fromNativeSeparators(Location());
    if (m_lender.lend && m_lender.lend(path)) {
        // One of the program's own tables, now closed. The rebuild starts
        // from a timer, after the loop has turned: what the lines hold by
        // then is read first (its call frames queued), not left waiting in
        // the line's buffer for the rebuild.
        m_lent = true;
        EnableActions(false);
        ClearStatus();
        QApplication::setOverrideCursor(Qt::WaitCursor);
        std::optional<tables::TableDesc> copy;
        if (fallback) copy = *fallback;
        QTimer::singleShot(1, this, [this, path, copy] { RebuildLent(path, copy); });
        return;
    }
    WaitCursor wait;
    ClearStatus();
    ShowRun(tables::RunRebuild(m_util, path, fallback));
    ShowProperties(Location());
}

void TMainFormTableUtil::RebuildLent(const QString& path,
                                     std::optional<tables::TableDesc> fallback) {
    ShowRun(tables::RunRebuild(m_util, path, fallback ? &*fallback : nullptr));
    GiveBack();
    ShowProperties(Location());
    EnableActions(!Location().isEmpty());
    QApplication::restoreOverrideCursor();
    emit rebuildDone();
}

void TMainFormTableUtil::GiveBack() {
    m_lent = false;
    if (m_lender.giveBack) m_lender.giveBack();
}

void TMainFormTableUtil::ShowAbout() {
    m_about->open();
}

TableRecovery::TableRecovery(const QString& tableDir, const QList<tables::RecoveryTable>& list,
                             tables::RecoveryHooks hooks, Done done, const QString& curDir,
                             QWidget* parent)
    : m_window(std::make_unique<TMainFormTableUtil>(curDir, parent)), m_done(std::move(done)) {
    if (parent) m_window->setWindowFlag(Qt::Window);
    m_window->show();
    // What the window shows is handed to it through the event loop.
    TMainFormTableUtil* w = m_window.get();
    hooks.showLocation = [w](const QString& path) {
        QMetaObject::invokeMethod(w, [w, path] {
            w->SetLocation(path);
            w->ClearStatus();
        });
    };
    hooks.progress = [w](tables::UtilPhase p, int pct) {
        QMetaObject::invokeMethod(w, [w, p, pct] { w->ShowProgress(p, pct); });
    };
    hooks.showResult = [w](const tables::UtilRun& run) {
        QMetaObject::invokeMethod(w, [w, run] { w->ShowRun(run); });
    };
    m_thread.reset(QThread::create(
        [this, tableDir, list, hooks] { m_runs = tables::RecoverTables(tableDir, list, hooks); }));
    connect(m_thread.get(), &QThread::finished, this, [this] {
        m_finished = true;
        m_window->close();
        if (m_done) m_done(m_runs);
    });
    m_thread->start();
}

TableRecovery::~TableRecovery() {
    // At the program's end the work is let finish: a table half rebuilt must
    // not be left behind.
    if (m_thread) m_thread->wait();
}
