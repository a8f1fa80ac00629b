#include "versions/ui/VersionsPage.h"

#include "versions/ui/UnitGetVers.h"
#include "versions/ui/UnitKontrolSumm.h"
#include "versions/ui/UnitSendVers.h"

#include <QGridLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
struct WindowButton {
    const char* name;
    const char* caption;
    const char* hint;
};
constexpr WindowButton kWindowButtons[] = {
    {"ButtonSendVers", "Из ЭВМ в АТС", "Загрузка версии из ЭВМ в АТС"},
    {"ButtonGetVers", "Из АТС в ЭВМ", "Выгрузка версии из АТС в ЭВМ"},
    {"ButtonKontrolSumm", "Контрольные суммы", "Контрольные суммы версии из файла"},
};

// Fixed directive buttons of the tab: caption, directive (also the hint).
struct DirectiveButton {
    const char* name;
    const char* caption;
    const char* directive;
};
constexpr DirectiveButton kDirectiveButtons[] = {
    {"ButtonFloppyToAts", "С НГМД в АТС", "ОО_F,402-"},
    {"ButtonAtsToFloppy", "Из АТС на НГМД", "ОО_F,401-"},
};

QPushButton* Button(const char* name, const char* caption, const char* hint) {
    auto* b = new QPushButton(QString::fromUtf8(caption));
    b->setObjectName(QLatin1String(name));
    b->setToolTip(QString::fromUtf8(hint));
    return b;
}
} // namespace

VersionsPage::VersionsPage(QWidget* page, VersionLineProvider lines, const QString& curDir,
                           std::function<void(const QString&)> sendFixed, QWidget* mainWindow)
    : QObject(page), m_send(std::make_unique<TFormSendVers>(lines, curDir, mainWindow)),
      m_get(std::make_unique<TFormGetVers>(lines, curDir, mainWindow)),
      m_sums(std::make_unique<TFormKontrolSumm>(curDir)) {
    page->setToolTip(QStringLiteral("Работа с версиями"));
    auto* lay = new QVBoxLayout(page);
    auto* grid = new QGridLayout;
    auto showWindow = [](QWidget* w) {
        return [w] {
            w->show();
            w->raise();
            w->activateWindow();
        };
    };
    const std::function<void()> open[] = {showWindow(m_send.get()), showWindow(m_get.get()),
                                          [s = m_sums.get()] { s->exec(); }};
    int row = 0;
    for (const WindowButton& wb : kWindowButtons) {
        QPushButton* b = Button(wb.name, wb.caption, wb.hint);
        connect(b, &QPushButton::clicked, this, open[row]);
        grid->addWidget(b, row++, 0);
    }
    row = 0;
    for (const DirectiveButton& db : kDirectiveButtons) {
        QPushButton* b = Button(db.name, db.caption, db.directive);
        grid->addWidget(b, row++, 1);
        const QString directive = QString::fromUtf8(db.directive);
        connect(b, &QPushButton::clicked, this, [sendFixed, directive] {
            if (sendFixed) sendFixed(directive);
        });
    }
    lay->addLayout(grid);
    lay->addStretch(1);
}

VersionsPage::~VersionsPage() = default;
