// The main window's controls. Every named control carries its name as its
// objectName; a control's hint is its toolTip (the status bar's first panel
// shows it while the mouse is over the control).
#include "app/Terminal.h"
#include "console/DirectiveEntry.h"
#include "console/Form2.h"
#include "console/RollView.h"
#include "directives/ui/MaskEdit.h"
#include "platform/ui/Named.h"
#include "tables/ui/MainFormTableUtil.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {
QWidget* AddPage(QTabWidget* tabs, const QString& name, const QString& caption) {
    auto* page = Named(new QWidget, name);
    tabs->addTab(page, caption);
    return page;
}

// A radio group: a titled box of radio buttons with ids 0..n-1.
QButtonGroup* RadioGroup(QWidget* owner, QLayout* into, const QString& name, const QString& title,
                         const QStringList& items) {
    auto* box = Named(new QGroupBox(title), name);
    auto* lay = new QVBoxLayout(box);
    auto* group = new QButtonGroup(owner);
    group->setObjectName(name + QStringLiteral("Buttons"));
    for (int i = 0; i < items.size(); ++i) {
        auto* b = Named(new QRadioButton(items[i]), name + QString::number(i));
        group->addButton(b, i);
        lay->addWidget(b);
    }
    into->addWidget(box);
    return group;
}
} // namespace

namespace {
// Every control of one exchange, named and hinted; the pages lay them out.
AtsRow BuildRow(int n, QWidget* hidden) {
    const QString s = QString::number(n);
    AtsRow r;
    r.EditAtsName = Named(new QLineEdit, QStringLiteral("EditAtsName") + s,
                          QStringLiteral("Название АТС (ENTER-подтверждение)"));
    r.CheckBoxPort =
        Named(new QCheckBox(QStringLiteral("Включен")), QStringLiteral("CheckBoxPort") + s,
              QStringLiteral("Открытие и закрытие порта АТС"));
    r.ComboBoxPort =
        Named(new QComboBox, QStringLiteral("ComboBoxPort") + s, QStringLiteral("Номер порта АТС"));
    for (int i = 1; i <= 16; ++i)
        r.ComboBoxPort->addItem(QString::number(i));
    r.EditDop = Named(new QLineEdit, QStringLiteral("EditDop") + s,
                      QStringLiteral("Дополнительная цифра набора (ENTER-подтверждение)"));
    r.CheckBoxDop =
        Named(new QCheckBox(QStringLiteral("Использовать")), QStringLiteral("CheckBoxDop") + s,
              QStringLiteral("Использовать дополнительную цифру"));
    r.EditMG = Named(new QLineEdit, QStringLiteral("EditMG") + s,
                     QStringLiteral("Выход на междугороднюю связь (ENTER-подтверждение)"));
    r.EditMN = Named(new QLineEdit, QStringLiteral("EditMN") + s,
                     QStringLiteral("Выход на международную связь (ENTER-подтверждение)"));
    r.Memo = Named(new QPlainTextEdit(hidden), QStringLiteral("Memo") + s);
    r.MemoAutoProm = Named(new QPlainTextEdit(hidden), QStringLiteral("MemoAutoProm") + s);
    return r;
}
} // namespace

void TForm2::BuildWindow() {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Varnel Terminal"));
    resize(1280, 800);

    // The controls of the four exchanges; the hidden lists stay hidden.
    auto* hidden = Named(new QWidget(this), QStringLiteral("HiddenLists"));
    hidden->hide();
    for (int n = 1; n <= 4; ++n)
        m_rows[size_t(n - 1)] = BuildRow(n, hidden);

    auto* central = new QWidget;
    auto* main = new QVBoxLayout(central);
    main->setContentsMargins(4, 4, 4, 0);
    main->addWidget(BuildTopStrip());

    auto* middle = Named(new QSplitter(Qt::Horizontal), QStringLiteral("SplitterMiddle"));
    middle->addWidget(BuildPages());
    m_memoStatus = Named(new QPlainTextEdit, QStringLiteral("MemoStatus"),
                         QStringLiteral("Окно состояния прграммы и систем"));
    m_memoStatus->setReadOnly(true);
    m_memoStatus->setUndoRedoEnabled(false);
    connect(m_memoStatus, &QPlainTextEdit::textChanged, this, &TForm2::StatusChanged);
    middle->addWidget(m_memoStatus);
    middle->setStretchFactor(0, 1);
    middle->setStretchFactor(1, 0);
    middle->setSizes({1040, 230});
    // No pane can be pushed out of sight; the status list keeps room for a
    // port line, so its lines do not break word by word.
    middle->setChildrenCollapsible(false);
    m_memoStatus->setMinimumWidth(
        m_memoStatus->fontMetrics().horizontalAdvance(QStringLiteral("ATS 4 Порт закрыт Com 16")) +
        2 * m_memoStatus->frameWidth() + 2 * int(m_memoStatus->document()->documentMargin()) +
        m_memoStatus->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 4);

    m_view = Named(new RollView, QStringLiteral("RollView"), QStringLiteral("Рулон"));
    auto* font = Named(new QAction(QStringLiteral("Фонт"), m_view), QStringLiteral("MenuFont"));
    m_view->addAction(font);
    connect(font, &QAction::triggered, this, &TForm2::MenuFontClick);
    connect(m_view, &RollView::entered, this, &TForm2::RollViewEnter);
    connect(m_view, &RollView::exited, this, &TForm2::RollViewExit);

    auto* vertical = Named(new QSplitter(Qt::Vertical), QStringLiteral("SplitterRoll"));
    vertical->addWidget(middle);
    vertical->addWidget(m_view);
    // A taller window makes room for the roll; the buttons keep their room.
    vertical->setStretchFactor(0, 0);
    vertical->setStretchFactor(1, 1);
    vertical->setChildrenCollapsible(false);
    main->addWidget(vertical, 1);
    setCentralWidget(central);

    auto* bar =
        Named(new QStatusBar, QStringLiteral("StatusBar"), QStringLiteral("Строка подсказки"));
    bar->setSizeGripEnabled(true);
    const int stretch[3] = {4, 1, 1};
    for (int i = 0; i < 3; ++i) {
        m_panels[size_t(i)] = Named(new QLabel, QStringLiteral("StatusPanel") + QString::number(i));
        m_panels[size_t(i)]->setFrameShape(QFrame::Panel);
        m_panels[size_t(i)]->setFrameShadow(QFrame::Sunken);
        m_panels[size_t(i)]->setMinimumWidth(i == 0 ? 200 : 90);
        bar->addWidget(m_panels[size_t(i)], stretch[i]);
    }
    setStatusBar(bar);
}

QWidget* TForm2::BuildTopStrip() {
    auto* strip = Named(new QWidget, QStringLiteral("PanelTop"));
    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(0, 0, 0, 0);

    // Left part: reset and password buttons, the input line over the stack.
    auto* buttons = new QVBoxLayout;
    m_buttonReset = Named(new QPushButton(QStringLiteral("Сброс  ")), QStringLiteral("ButtonReset"),
                          QStringLiteral("Очистка поля ввода и маски ввода"));
    m_buttonPassword =
        Named(new QPushButton(QStringLiteral("Пароль")), QStringLiteral("ButtonPassword"),
              QStringLiteral("Повторный ввод пароля"));
    buttons->addWidget(m_buttonReset);
    buttons->addWidget(m_buttonPassword);
    row->addLayout(buttons);

    auto* entryPanel = Named(new QWidget, QStringLiteral("PanelEntry"));
    auto* entry = new QVBoxLayout(entryPanel);
    entry->setContentsMargins(0, 0, 0, 0);
    m_maskEdit = Named(new MaskEdit, QStringLiteral("MaskEdit"),
                       QStringLiteral("Поле ввода(ENTER-исполнение,Правая кнопка мыши-подменю)"));
    QFont mono = m_maskEdit->font();
    mono.setFamily(QStringLiteral("DejaVu Sans Mono"));
    mono.setStyleHint(QFont::TypeWriter);
    mono.setPointSize(mono.pointSize() + 2);
    m_maskEdit->setFont(mono);
    // The whole line stays in view: its cells, the caret, frame and margins.
    m_maskEdit->setMinimumWidth(QFontMetrics(mono).horizontalAdvance(
                                    QString(DirectiveText::kLineLength + 1, QLatin1Char('_'))) +
                                2 * m_maskEdit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) +
                                8);
    m_comboStek =
        Named(new QComboBox, QStringLiteral("ComboBoxStek"), QStringLiteral("Стек команд"));
    entry->addWidget(m_maskEdit);
    entry->addWidget(m_comboStek);
    row->addWidget(entryPanel, 1);

    // Right part: exchange selector, port field, "OK".
    auto* right = new QGridLayout;
    m_comboATS = Named(new QComboBox, QStringLiteral("ComboBoxATS"), QStringLiteral("АТС"));
    m_comboATS->setMinimumWidth(160);
    m_comboPortMain =
        Named(new QComboBox, QStringLiteral("ComboBoxPortMain"), QStringLiteral("Порт"));
    m_comboPortMain->setEditable(true);
    m_comboPortMain->lineEdit()->setReadOnly(true);
    m_comboPortMain->setFocusPolicy(Qt::NoFocus);
    m_comboPortMain->setMinimumWidth(60);
    m_buttonOK = Named(new QPushButton(QStringLiteral("OK")), QStringLiteral("ButtonOK"),
                       QStringLiteral("Исполнение команды из поля ввода"));
    right->addWidget(m_comboATS, 0, 0);
    right->addWidget(m_comboPortMain, 0, 1);
    right->addWidget(m_buttonOK, 1, 0, 1, 2);
    row->addLayout(right);

    m_entry = new DirectiveEntry(m_term, m_maskEdit, m_comboStek, this);
    connect(m_buttonReset, &QPushButton::clicked, m_entry, &DirectiveEntry::Reset);
    connect(m_buttonOK, &QPushButton::clicked, m_entry, &DirectiveEntry::Execute);
    connect(m_entry, &DirectiveEntry::executing, this,
            [this] { SetPanelText(2, QStringLiteral("Передача")); });
    connect(m_buttonPassword, &QPushButton::clicked, this, &TForm2::ButtonPasswordClick);
    connect(m_comboATS, &QComboBox::activated, this, &TForm2::ComboBoxATSChange);
    return strip;
}

QWidget* TForm2::BuildPages() {
    m_pages = Named(new QTabWidget, QStringLiteral("PageControl"));

    auto* service =
        AddPage(m_pages, QStringLiteral("TabSheetATS"), QStringLiteral("Обслуживание АТС"));
    auto* serviceTabs = Named(new QTabWidget, QStringLiteral("PageControlATS"));
    (new QVBoxLayout(service))->addWidget(serviceTabs);
    serviceTabs->addTab(BuildTimePage(), QStringLiteral("Время"));
    AddPage(serviceTabs, QStringLiteral("TabSheetMode"), QStringLiteral("Режим"));
    AddPage(serviceTabs, QStringLiteral("TabSheetStvol"), QStringLiteral("Ствол"));
    AddPage(serviceTabs, QStringLiteral("TabSheetPUU"), QStringLiteral("Состояние ПУУ"));
    AddPage(serviceTabs, QStringLiteral("TabSheetClean"), QStringLiteral("Чистка"));
    AddPage(serviceTabs, QStringLiteral("TabSheetRequest"), QStringLiteral("Заявка"));
    AddPage(serviceTabs, QStringLiteral("TabSheetATSState"), QStringLiteral("Состояние АТС"));
    m_pageAuto = AddPage(serviceTabs, QStringLiteral("TabSheetAuto"),
                         QStringLiteral("Автоматические директивы ТО"));

    AddPage(m_pages, QStringLiteral("TabSheetPRC"), QStringLiteral("ПРЦиЗУ"));
    m_pageStat = AddPage(m_pages, QStringLiteral("TabSheetStat"), QStringLiteral("Статистика"));
    m_pageVersions = AddPage(m_pages, QStringLiteral("TabSheetVersions"), QStringLiteral("Версии"));
    AddPage(m_pages, QStringLiteral("TabSheetOO"), QStringLiteral("Директивы ОО"));
    AddPage(m_pages, QStringLiteral("TabSheetTO"), QStringLiteral("Директивы ТО"));
    m_pageSegments =
        AddPage(m_pages, QStringLiteral("TabSheetSegments"), QStringLiteral("Сегменты"));
    AddPage(m_pages, QStringLiteral("TabSheetFaults"), QStringLiteral("Сбои"));
    m_pages->addTab(BuildSettingsPage(), QStringLiteral("Настройки"));
    m_pages->addTab(BuildPrefixesPage(), QStringLiteral("Префиксы"));
    m_pages->addTab(BuildExtraPage(), QStringLiteral("Дополн."));
    m_tabPages.AddTabs({}, m_pages);
    m_tabPages.AddTabs({QStringLiteral("Обслуживание АТС")}, serviceTabs);
    return m_pages;
}

QWidget* TForm2::BuildTimePage() {
    auto* page = Named(new QWidget, QStringLiteral("TabSheetTime"));
    auto* lay = new QVBoxLayout(page);
    auto* group = Named(new QGroupBox(QStringLiteral("Контроль и установка времени")),
                        QStringLiteral("GroupBoxTime"));
    m_groupTime = group;
    auto* inner = new QVBoxLayout(group);
    m_checkFourDigitYear = Named(new QCheckBox(QStringLiteral("Формат даты содержит четыре цифры")),
                                 QStringLiteral("CheckBoxFourDigitYear"));
    inner->addWidget(m_checkFourDigitYear);
    lay->addWidget(group);
    lay->addStretch(1);
    connect(m_checkFourDigitYear, &QCheckBox::clicked, this, &TForm2::CheckBoxFourDigitYearClick);
    return page;
}

QWidget* TForm2::BuildSettingsPage() {
    auto* page = Named(new QWidget, QStringLiteral("TabSheetSettings"));
    auto* grid = new QGridLayout(page);
    grid->addWidget(new QLabel(QStringLiteral("Название АТС")), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Порт")), 0, 3);
    for (int n = 1; n <= 4; ++n) {
        const AtsRow& w = m_rows[size_t(n - 1)];
        grid->addWidget(new QLabel(QStringLiteral("АТС ") + QString::number(n)), n, 0);
        grid->addWidget(w.EditAtsName, n, 1);
        grid->addWidget(w.CheckBoxPort, n, 2);
        grid->addWidget(w.ComboBoxPort, n, 3);
    }
    // The table utility: verify and rebuild a Paradox table by hand (locked
    // with the page while the password is asked).
    auto* tableUtil =
        Named(new QPushButton(QStringLiteral("Проверка таблиц")), QStringLiteral("ButtonTableUtil"),
              QStringLiteral("Проверка и восстановление таблиц"));
    grid->addWidget(tableUtil, 5, 1, Qt::AlignLeft | Qt::AlignTop);
    connect(tableUtil, &QPushButton::clicked, this, [this] {
        auto* w = new TMainFormTableUtil(m_term.CurDir(), this);
        w->setAttribute(Qt::WA_DeleteOnClose);
        // The terminal's own tables are lent to a rebuild and taken back.
        w->SetLender({[this](const QString& path) { return m_term.LendTable(path); },
                      [this] { m_term.ReturnTables(); }});
        w->show();
    });
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(6, 1);
    return page;
}

QWidget* TForm2::BuildPrefixesPage() {
    auto* page = Named(new QWidget, QStringLiteral("TabSheetPrefixes"));
    auto* grid = new QGridLayout(page);
    grid->addWidget(new QLabel(QStringLiteral("Доп. цифра")), 0, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Выход на МГ")), 0, 3);
    grid->addWidget(new QLabel(QStringLiteral("Выход на МН")), 0, 4);
    for (int n = 1; n <= 4; ++n) {
        const AtsRow& w = m_rows[size_t(n - 1)];
        grid->addWidget(new QLabel(QStringLiteral("АТС ") + QString::number(n)), n, 0);
        grid->addWidget(w.EditDop, n, 1);
        grid->addWidget(w.CheckBoxDop, n, 2);
        grid->addWidget(w.EditMG, n, 3);
        grid->addWidget(w.EditMN, n, 4);
    }
    grid->setRowStretch(5, 1);
    return page;
}

QWidget* TForm2::BuildExtraPage() {
    auto* page = Named(new QWidget, QStringLiteral("TabSheetExtra"));
    auto* lay = new QVBoxLayout(page);
    auto* groups = new QHBoxLayout;
    m_groupDuplex = RadioGroup(this, groups, QStringLiteral("RadioGroupDuplex"),
                               QStringLiteral("Тип сопряжения"),
                               {QStringLiteral("Обычный"), QStringLiteral("Дуплекс")});
    m_groupTarif = RadioGroup(
        this, groups, QStringLiteral("RadioGroupTarifTimeMode"),
        QStringLiteral("Режим учета продолжительности"),
        {QStringLiteral("Минуты"), QStringLiteral("Секунды"), QStringLiteral("Миллисекунды")});
    m_groupPlatform =
        RadioGroup(this, groups, QStringLiteral("RadioGroupPlatform"), QStringLiteral("Платформа"),
                   {QStringLiteral("Windows 9x"), QStringLiteral("Windows NT")});
    lay->addLayout(groups);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(
        QStringLiteral("Максималльное неоплачиваемая продолжительность разговора ( СЕК )")));
    m_editMaxNoPaneTime = Named(new QLineEdit, QStringLiteral("EditMaxNoPaneTime"),
                                QStringLiteral("ENTER-подтверждение"));
    m_editMaxNoPaneTime->setMaximumWidth(100);
    row->addWidget(m_editMaxNoPaneTime);
    row->addStretch(1);
    lay->addLayout(row);
    lay->addStretch(1);

    connect(m_groupDuplex, &QButtonGroup::idClicked, this, &TForm2::RadioGroupDuplexClick);
    connect(m_groupTarif, &QButtonGroup::idClicked, this, &TForm2::RadioGroupTarifTimeModeClick);
    connect(m_groupPlatform, &QButtonGroup::idClicked, this, &TForm2::RadioGroupPlatformClick);
    connect(m_editMaxNoPaneTime, &QLineEdit::returnPressed, this, &TForm2::EditMaxNoPaneTimeEnter);
    return page;
}
