#include "platform/ui/TabPages.h"

#include <QBoxLayout>
#include <QTabWidget>

void TabPages::AddTabs(const QStringList& parent, QTabWidget* tabs) {
    if (!parent.isEmpty()) m_pages[parent].subTabs = tabs;
    for (int i = 0; i < tabs->count(); ++i)
        m_pages[parent + QStringList{tabs->tabText(i)}].page = tabs->widget(i);
}

QWidget* TabPages::Find(const QStringList& path) const {
    const auto it = m_pages.find(path);
    return it == m_pages.end() ? nullptr : it->second.page;
}

QWidget* TabPages::Make(const QStringList& path) {
    if (QWidget* page = Find(path)) return page;
    if (path.size() < 2) return nullptr;
    const QStringList parentPath = path.mid(0, path.size() - 1);
    QWidget* parent = Make(parentPath);
    if (!parent) return nullptr;
    Entry& up = m_pages[parentPath];
    if (!up.subTabs) {
        up.subTabs = new QTabWidget;
        up.subTabs->setObjectName(QStringLiteral("PageControl ") +
                                  parentPath.join(QLatin1Char('/')));
        AddToPage(parent, up.subTabs);
    }
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheet ") + path.join(QLatin1Char('/')));
    up.subTabs->addTab(page, path.last());
    m_pages[path].page = page;
    return page;
}

QBoxLayout* PageLayout(QWidget* page) {
    if (auto* box = qobject_cast<QBoxLayout*>(page->layout())) return box;
    if (page->layout()) return nullptr;
    return new QVBoxLayout(page);
}

void AddToPage(QWidget* page, QWidget* w) {
    QBoxLayout* lay = PageLayout(page);
    if (!lay) {
        page->layout()->addWidget(w);
        return;
    }
    const int n = lay->count();
    if (n > 0 && lay->itemAt(n - 1)->spacerItem())
        lay->insertWidget(n - 1, w);
    else
        lay->addWidget(w);
}
