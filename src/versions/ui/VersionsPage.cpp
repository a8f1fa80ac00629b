#include "versions/ui/VersionsPage.h"

#include "platform/ui/TabPages.h"
#include "versions/ui/FormGetVers.h"
#include "versions/ui/FormKontrolSumm.h"
#include "versions/ui/FormSendVers.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>

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

QPushButton* Button(const char* name, const char* caption, const char* hint) {
    auto* b = new QPushButton(QString::fromUtf8(caption));
    b->setObjectName(QLatin1String(name));
    b->setToolTip(QString::fromUtf8(hint));
    return b;
}
} // namespace

VersionsPage::VersionsPage(QWidget* page, VersionLineProvider lines, const QString& curDir,
                           QWidget* mainWindow)
    : QObject(page), m_send(std::make_unique<TFormSendVers>(lines, curDir, mainWindow)),
      m_get(std::make_unique<TFormGetVers>(lines, curDir, mainWindow)),
      m_sums(std::make_unique<TFormKontrolSumm>(curDir)) {
    page->setToolTip(QStringLiteral("Работа с версиями"));
    // The tab's plain directive buttons may be there already (the directive
    // catalogue): the window buttons go below them, as wide as they need.
    auto* panel = new QWidget;
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    auto* grid = new QGridLayout;
    row->addLayout(grid);
    row->addStretch(1);
    auto showWindow = [](QWidget* w) {
        return [w] {
            w->show();
            w->raise();
            w->activateWindow();
        };
    };
    const std::function<void()> open[] = {showWindow(m_send.get()), showWindow(m_get.get()),
                                          [s = m_sums.get()] { s->exec(); }};
    int i = 0;
    for (const WindowButton& wb : kWindowButtons) {
        QPushButton* b = Button(wb.name, wb.caption, wb.hint);
        connect(b, &QPushButton::clicked, this, open[i]);
        grid->addWidget(b, i++, 0);
    }
    AddToPage(page, panel);
    if (QBoxLayout* lay = PageLayout(page); lay && !lay->itemAt(lay->count() - 1)->spacerItem())
        lay->addStretch(1);
}

VersionsPage::~VersionsPage() = default;
