#include "console/DirectiveButtons.h"

#include "app/Terminal.h"
#include "console/DirectiveEntry.h"
#include "console/ExchangeClock.h"
#include "console/FormAKNum.h"
#include "console/OkCancl1.h"
#include "directives/DirectiveCatalogue.h"
#include "directives/ui/MaskEdit.h"
#include "link/Ats.h"
#include "platform/EscTracker.h"
#include "platform/ui/TabPages.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {
const QString kTimeGroupTitle = QStringLiteral("Контроль и установка времени");
} // namespace

DirectiveButtons::DirectiveButtons(QWidget* window, TabPages& pages, DirectiveEntry& entry,
                                   Terminal& term, QGroupBox* timeGroup)
    : QObject(window), m_window(window), m_pages(pages), m_timeGroup(timeGroup), m_entry(entry),
      m_term(term) {
    setObjectName(QStringLiteral("DirectiveButtons"));
    // The dialogs are made once and keep what was typed.
    m_blockParams = new OkCancl1(window);
    m_lineNumber = new TFormAKNum(window);
    m_indexedPause = new QTimer(this);
    m_indexedPause->setInterval(kIndexedPauseMs);
    BuildClock();
    BuildCatalogue();
    BuildComposed();
}

QWidget* DirectiveButtons::PageAt(const QStringList& path) const {
    return m_pages.Find(path);
}

// The top tabs are the window's; only sub-tabs are made here.
QWidget* DirectiveButtons::Page(const QStringList& path) {
    QWidget* page = m_pages.Make(path);
    if (!page && !path.isEmpty() && !m_pages.Find({path[0]}) && !m_missing.contains(path[0]))
        m_missing << path[0];
    return page;
}

DirectiveButtons::Area& DirectiveButtons::AreaOf(QWidget* page) {
    auto it = m_areas.find(page);
    if (it != m_areas.end()) return it->second;
    Area a;
    auto* panel = new QWidget;
    panel->setObjectName(QStringLiteral("ButtonPanel"));
    a.row = new QHBoxLayout(panel);
    a.row->setContentsMargins(0, 0, 0, 0);
    a.grid = new QGridLayout;
    a.row->addLayout(a.grid);
    a.row->setAlignment(a.grid, Qt::AlignTop);
    a.row->addStretch(1);
    AddToPage(page, panel);
    if (QBoxLayout* lay = PageLayout(page); lay && lay->count() == 1) lay->addStretch(1);
    return m_areas.emplace(page, a).first->second;
}

QPushButton* DirectiveButtons::AddButton(QWidget* page, const QString& caption, const QString& hint,
                                         const QString& name) {
    Area& a = AreaOf(page);
    auto* b = new QPushButton(caption);
    b->setObjectName(name);
    b->setToolTip(hint);
    if (a.grid)
        a.grid->addWidget(b, a.count % kRowsPerColumn, a.count / kRowsPerColumn);
    else
        a.row->insertWidget(a.row->count() - 1, b);
    ++a.count;
    return b;
}

QButtonGroup* DirectiveButtons::AddRadioGroup(QWidget* page, const QString& name,
                                              const QString& title, const QStringList& items,
                                              int rows) {
    Area& a = AreaOf(page);
    auto* box = new QGroupBox(title);
    box->setObjectName(name);
    auto* grid = new QGridLayout(box);
    auto* group = new QButtonGroup(box);
    group->setObjectName(name + QStringLiteral("Buttons"));
    for (int i = 0; i < items.size(); ++i) {
        auto* r = new QRadioButton(items[i]);
        r->setObjectName(name + QString::number(i));
        group->addButton(r, i);
        grid->addWidget(r, i % rows, i / rows);
    }
    group->button(0)->setChecked(true);
    a.row->insertWidget(a.row->count() - 1, box, 0, Qt::AlignTop);
    return group;
}

void DirectiveButtons::BuildClock() {
    QWidget* page = Page({QStringLiteral("Обслуживание АТС"), QStringLiteral("Время")});
    if (!page) return;
    QGroupBox* group = m_timeGroup;
    if (!group) {
        group = new QGroupBox(kTimeGroupTitle);
        group->setObjectName(QStringLiteral("GroupBoxTime"));
        new QVBoxLayout(group);
        AddToPage(page, group);
    }
    // The clock's buttons and the tab's catalogue button share one row of the group.
    auto* box = qobject_cast<QBoxLayout*>(group->layout());
    if (!box) return;
    Area a;
    a.row = new QHBoxLayout;
    a.row->addStretch(1);
    box->addLayout(a.row);
    m_areas.emplace(page, a);
    m_clock = new ExchangeClock(this, m_entry, m_term);
    QPushButton* set =
        AddButton(page, QStringLiteral("Установка"),
                  QStringLiteral("Установка машинного времени КВ час,мин,день,месяц,год"),
                  QStringLiteral("ButtonClockSet"));
    connect(set, &QPushButton::clicked, m_clock, &ExchangeClock::SetClick);
}

void DirectiveButtons::BuildCatalogue() {
    const auto& all = DirectiveCatalogue::Buttons();
    for (size_t i = 0; i < all.size(); ++i) {
        const DirectiveButton& d = all[i];
        QWidget* page = Page(d.path);
        if (!page) continue;
        const QString name =
            d.name.isEmpty() ? QStringLiteral("ButtonDirective") + QString::number(i + 1) : d.name;
        QPushButton* b = AddButton(page, d.caption, d.hint, name);
        connect(b, &QPushButton::clicked, this, [this, &d] { CatalogueClick(d); });
        if (!d.name.isEmpty()) m_catalogueButtons[d.name] = b;
    }
}

QPushButton* DirectiveButtons::CatalogueButton(const QString& entry) const {
    const auto it = m_catalogueButtons.find(entry);
    return it == m_catalogueButtons.end() ? nullptr : it->second;
}

void DirectiveButtons::BuildComposed() {
    using ComposedDirectives::MemoryButton;
    if (QWidget* page = Page({QStringLiteral("ПРЦиЗУ"), QStringLiteral("Память")})) {
        const struct {
            const char* name;
            const char* caption;
            const char* hint;
            MemoryButton which;
        } memory[] = {
            {"ButtonPrintCell", "Распечатать ячейку", "РЯ_А-", MemoryButton::PrintCell},
            {"ButtonPrintArray", "Распечатать массив", "РМ_Ан,Ак-", MemoryButton::PrintArray},
            {"ButtonWriteCell", "Запись в ячейку", "ЗЯ_А,информация", MemoryButton::WriteCell},
            {"ButtonWriteArray", "Запись в массив", "ЗМ_Ан,Ак,информация",
             MemoryButton::WriteArray},
        };
        for (const auto& m : memory) {
            QPushButton* b = AddButton(page, QString::fromUtf8(m.caption),
                                       QString::fromUtf8(m.hint), QLatin1String(m.name));
            connect(b, &QPushButton::clicked, this, [this, w = m.which] { MemoryClick(w); });
        }
        QPushButton* indexed = AddButton(page, QStringLiteral("Записать массив индексированно"),
                                         QStringLiteral("Заполнить массив со смещением"),
                                         QStringLiteral("ButtonWriteIndexed"));
        connect(indexed, &QPushButton::clicked, this, &DirectiveButtons::WriteIndexedClick);
        QStringList blocks;
        for (int i = 0; i <= 6; ++i)
            blocks << QString::number(i);
        m_block = AddRadioGroup(page, QStringLiteral("RadioGroupBlock"),
                                QStringLiteral("Номер блока"), blocks, 4);
    }
    if (QWidget* page = Page({QStringLiteral("Директивы ТО"), QStringLiteral("Линейные компл."),
                              QStringLiteral("АК"), QStringLiteral("Заявка")})) {
        QPushButton* b = AddButton(page, QStringLiteral("Частичная разблокировка АК"),
                                   QStringLiteral("Автоматическая разблокировка АК по маскам"),
                                   QStringLiteral("ButtonUnblockAK"));
        connect(b, &QPushButton::clicked, this, &DirectiveButtons::UnblockClick);
    }
    const QString letters = QStringLiteral("ABCDEF");
    if (QWidget* page = Page({QStringLiteral("Директивы ОО"), QStringLiteral("ИТ"),
                              QStringLiteral("Диагностика коммутатора")})) {
        QPushButton* b = AddButton(page, QStringLiteral("Диагностика"),
                                   QStringLiteral("Диагностика"), QStringLiteral("ButtonDiagOO"));
        connect(b, &QPushButton::clicked, this, &DirectiveButtons::DiagnosticsOOClick);
        QStringList items;
        for (const QChar c : letters)
            items << QStringLiteral("Коммутатор ") + c;
        m_switchOO = AddRadioGroup(page, QStringLiteral("RadioGroupSwitchOO"),
                                   QStringLiteral("Коммутатор"), items, 6);
    }
    if (QWidget* page = Page({QStringLiteral("Директивы ТО"), QStringLiteral("Служебные комп."),
                              QStringLiteral("Коммутатор")})) {
        QPushButton* b = AddButton(
            page, QStringLiteral("Диагностика"),
            QStringLiteral("ТО_11,Звено,X,Nблока,Nкомм-   (X=1 проверка с накоплением, X=0 без "
                           "накопления)"),
            QStringLiteral("ButtonDiagTO"));
        connect(b, &QPushButton::clicked, this, &DirectiveButtons::DiagnosticsTOClick);
        QStringList items;
        for (const QChar c : letters)
            items << QStringLiteral("Звено ") + c;
        m_switchTO = AddRadioGroup(page, QStringLiteral("RadioGroupSwitchTO"),
                                   QStringLiteral("Коммутатор"), items, 6);
    }
}

int DirectiveButtons::BlockNumber() const {
    return m_block ? std::max(0, m_block->checkedId()) : 0;
}

void DirectiveButtons::CatalogueClick(const DirectiveButton& b) {
    if (b.IsTemplate())
        m_entry.PrepareTemplate(b.mask, b.caret);
    else
        m_entry.SendFixed(b.hint);
}

void DirectiveButtons::MemoryClick(ComposedDirectives::MemoryButton which) {
    const auto t = ComposedDirectives::Memory(which, BlockNumber());
    m_entry.PrepareTemplate(t.mask, t.caret);
}

void DirectiveButtons::DiagnosticsOOClick() {
    const auto t = ComposedDirectives::SwitchDiagnosticsOO(std::max(0, m_switchOO->checkedId()));
    m_entry.PrepareTemplate(t.mask, t.caret);
}

void DirectiveButtons::DiagnosticsTOClick() {
    const auto t = ComposedDirectives::SwitchDiagnosticsTO(std::max(0, m_switchTO->checkedId()));
    m_entry.PrepareTemplate(t.mask, t.caret);
}

void DirectiveButtons::WriteIndexedClick() {
    // A second click while a run goes on is ignored.
    if (m_writing) return;
    m_entry.Reset();
    if (m_blockParams->exec() != QDialog::Accepted) return;
    m_indexed.emplace(m_blockParams->Params(), BlockNumber());
    m_writing = true;
    WriteNext();
}

// One cell: its directive, the wait for the line (Esc shortens it), the
// pause; Esc pressed during the pause, or held when it begins, ends the run.
void DirectiveButtons::WriteNext() {
    if (EscTracker::IsEscDown()) return EndWrite();
    const auto directive = m_indexed->Next();
    if (!directive) return EndWrite();
    m_entry.SendFixed(*directive);
    auto pause = [this](StepWait::End end) {
        if (end == StepWait::End::Gone) return EndWrite();
        m_indexedWait.ForTimer(*m_indexedPause, true, [this](StepWait::End e) {
            if (e != StepWait::End::Done) return EndWrite();
            WriteNext();
        });
    };
    if (TAts* ats = m_term.Current())
        m_indexedWait.ForLine(*ats, !ats->Duplex(), pause);
    else
        pause(StepWait::End::Done);
}

void DirectiveButtons::EndWrite() {
    m_indexedWait.Stop();
    m_indexed.reset();
    m_writing = false;
}

void DirectiveButtons::UnblockClick() {
    if (m_lineNumber->exec() != QDialog::Accepted) return;
    const QString typed = m_lineNumber->MaskEdit1()->Text();
    const auto directive = ComposedDirectives::UnblockKit(typed);
    if (!directive) {
        QMessageBox::warning(m_window, QStringLiteral("Частичная разблокировка АК"),
                             QStringLiteral("Линейный номер АК - шестнадцатеричное число от 0 "
                                            "до FFF: \"") +
                                 typed.trimmed() + QLatin1Char('"'));
        return;
    }
    m_entry.SendFixed(*directive);
}
