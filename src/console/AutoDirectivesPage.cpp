#include "console/AutoDirectivesPage.h"

#include "directives/ui/MaskEdit.h"
#include "link/Ats.h"
#include "link/AutoScript.h"
#include "link/ExchangeSet.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {
const QString kTimeMask = QStringLiteral("!90:00;1;_");

MaskEdit* TimeField(const QString& name, const QString& hint) {
    auto* e = new MaskEdit;
    e->setObjectName(name);
    e->setToolTip(hint);
    e->SetEditMask(kTimeMask);
    e->SetText(QStringLiteral("01:00"));
    e->setMaximumWidth(80);
    return e;
}

QCheckBox* ModeBox(const QString& caption, const QString& name, const QString& hint) {
    auto* b = new QCheckBox(caption);
    b->setObjectName(name);
    b->setToolTip(hint);
    return b;
}

bool IsEnter(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}
} // namespace

const QString AutoDirectivesPage::kHint =
    QStringLiteral("Поле ввода автоматического выполнения команд.\n"
                   "Каждая строка должна содержать одну команду или\n"
                   "задержку в секундах между выполнением команд.\n"
                   "Пример:\n"
                   "УК_6,-\n"
                   "100\n"
                   "УК_2,3-");

AutoDirectivesPage::AutoDirectivesPage(QWidget* window, QWidget* page, ExchangeSet& exchanges,
                                       const std::array<QPlainTextEdit*, 4>& hiddenLists,
                                       std::function<void(const QString&)> status)
    : QObject(window), m_window(window), m_exchanges(exchanges), m_status(std::move(status)) {
    setObjectName(QStringLiteral("AutoDirectivesPage"));
    for (int n = 1; n <= 4; ++n) {
        TAts* ats = exchanges.At(n);
        QPlainTextEdit* memo = hiddenLists[size_t(n - 1)];
        if (!ats || !memo) continue;
        connect(&ats->Script(), &AutoScript::loaded, memo,
                [memo](const QStringList& lines) { memo->setPlainText(lines.join('\n')); });
    }
    if (!page) return;

    m_memo = new QPlainTextEdit;
    m_memo->setObjectName(QStringLiteral("MemoAuto"));
    m_memo->setToolTip(kHint);
    m_memo->setPlaceholderText(kHint);
    m_memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_memo->setLineWrapMode(QPlainTextEdit::NoWrap);

    m_save = new QPushButton(QStringLiteral("Сохранить"));
    m_save->setObjectName(QStringLiteral("ButtonSaveAuto"));
    m_save->setToolTip(
        QStringLiteral("Сохранить содержимое поля ввода автоматического выполнения команд."));
    m_save->setEnabled(false);
    m_runIn = ModeBox(QStringLiteral("В назначенное время"), QStringLiteral("CheckBoxRunIn"),
                      QStringLiteral("Включение-выключение запуска директив в назначенное время"));
    m_editRunIn = TimeField(QStringLiteral("MaskEditRunIn"),
                            QStringLiteral("Время запуска директив, ENTER подтверждение"));
    m_runEvery = ModeBox(QStringLiteral("Каждые N-часов"), QStringLiteral("CheckBoxRunEvery"),
                         QStringLiteral("Включение-выключение запуска директив каждые N часов"));
    m_editRunEvery =
        TimeField(QStringLiteral("MaskEditRunEvery"),
                  QStringLiteral("Периодичность запуска директив, ENTER подтверждение"));

    auto* row = new QHBoxLayout(page);
    row->addWidget(m_memo, 1);
    auto* side = new QVBoxLayout;
    side->addWidget(m_save);
    side->addSpacing(12);
    side->addWidget(m_runIn);
    side->addWidget(m_editRunIn);
    side->addSpacing(12);
    side->addWidget(m_runEvery);
    side->addWidget(m_editRunEvery);
    side->addStretch(1);
    row->addLayout(side);

    connect(m_memo->document(), &QTextDocument::modificationChanged, m_save,
            &QPushButton::setEnabled);
    connect(m_save, &QPushButton::clicked, this, &AutoDirectivesPage::SaveClick);
    connect(m_runIn, &QCheckBox::clicked, this, &AutoDirectivesPage::CheckBoxRunInClick);
    connect(m_runEvery, &QCheckBox::clicked, this, &AutoDirectivesPage::CheckBoxRunEveryClick);
    connect(m_editRunIn, &MaskEdit::keyDown, this, [this](int key) {
        if (IsEnter(key)) MaskEditRunInEnter();
    });
    connect(m_editRunEvery, &MaskEdit::keyDown, this, [this](int key) {
        if (IsEnter(key)) MaskEditRunEveryEnter();
    });
}

TAts* AutoDirectivesPage::Current() const {
    return m_exchanges.Current();
}

void AutoDirectivesPage::ShowSettings(TAts& ats) {
    if (!m_memo) return;
    const AtsSettings& s = ats.Settings;
    m_editRunIn->SetText(s.AutoInText());
    m_editRunEvery->SetText(s.AutoEveryText());
    m_runIn->setChecked(s.AutoIn);
    m_runEvery->setChecked(s.AutoEvery);
}

void AutoDirectivesPage::LoadScript(TAts& ats) {
    if (!m_memo) return;
    if (m_shown) {
        auto& draft = m_drafts[size_t(m_shown->Number() - 1)];
        if (m_memo->document()->isModified())
            draft = m_memo->toPlainText();
        else
            draft.reset();
    }
    m_shown = &ats;
    auto& draft = m_drafts[size_t(ats.Number() - 1)];
    if (draft) {
        m_memo->setPlaceholderText(kHint);
        m_memo->setPlainText(*draft);
        m_memo->document()->setModified(true);
        draft.reset();
    } else {
        // A refused file (too large, not a file) is never put into the
        // editor: it stays empty and says why.
        QString why;
        m_memo->setPlainText(ats.Script().FileText(&why));
        m_memo->setPlaceholderText(why.isEmpty() ? kHint : why);
        if (!why.isEmpty() && m_status) m_status(why);
        m_memo->document()->setModified(false);
    }
    // Loading does not always report the modification state it leaves.
    m_save->setEnabled(m_memo->document()->isModified());
}

void AutoDirectivesPage::SaveClick() {
    if (!m_shown) return;
    QString why;
    if (m_shown->Script().Save(m_memo->toPlainText(), &why)) {
        m_memo->document()->setModified(false);
        return;
    }
    // The text stays in the editor and "Сохранить" stays enabled.
    QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(),
                    QStringLiteral("Ошибка сохранения"), QMessageBox::Ok, m_window);
    box.setInformativeText(why);
    box.exec();
}

void AutoDirectivesPage::CheckBoxRunInClick(bool checked) {
    TAts* ats = Current();
    if (!ats) {
        m_runIn->setChecked(!checked);
        return;
    }
    ats->Script().SwitchRunAt(checked);
    m_runIn->setChecked(ats->Settings.AutoIn);
    m_runEvery->setChecked(ats->Settings.AutoEvery);
}

void AutoDirectivesPage::CheckBoxRunEveryClick(bool checked) {
    TAts* ats = Current();
    if (!ats) {
        m_runEvery->setChecked(!checked);
        return;
    }
    ats->Script().SwitchEvery(checked);
    m_runIn->setChecked(ats->Settings.AutoIn);
    m_runEvery->setChecked(ats->Settings.AutoEvery);
}

// A refused time leaves the one in force, which the field shows again.
void AutoDirectivesPage::MaskEditRunInEnter() {
    TAts* ats = Current();
    if (!ats) return;
    ats->Script().SetRunAtText(m_editRunIn->Text());
    m_editRunIn->SetText(ats->Settings.AutoInText());
}

void AutoDirectivesPage::MaskEditRunEveryEnter() {
    TAts* ats = Current();
    if (!ats) return;
    ats->Script().SetEveryText(m_editRunEvery->Text());
    m_editRunEvery->SetText(ats->Settings.AutoEveryText());
}
