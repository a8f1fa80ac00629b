#include "platform/ui/TabPages.h"

#include <QBoxLayout>
#include <QTabWidget>

#include <deque>

namespace {
// The first tab control at the level directly below container (not inside
// another tab control's pages), and the page captioned caption at that level.
struct Level {
    QTabWidget* tabs = nullptr;
    QWidget* page = nullptr;
};

Level FindLevel(QWidget* container, const QString& caption) {
    Level found;
    std::deque<QWidget*> queue{container};
    while (!queue.empty()) {
        QWidget* w = queue.front();
        queue.pop_front();
        for (QObject* o : w->children()) {
            auto* child = qobject_cast<QWidget*>(o);
            if (!child || child->isWindow()) continue;
            if (auto* t = qobject_cast<QTabWidget*>(child)) {
                if (!found.tabs) found.tabs = t;
                for (int i = 0; i < t->count(); ++i)
                    if (t->tabText(i) == caption) return {t, t->widget(i)};
                continue;
            }
            queue.push_back(child);
        }
    }
    return found;
}

QWidget* PageAt(QWidget* window, const QStringList& path, bool make) {
    QWidget* container = window;
    for (qsizetype i = 0; i < path.size(); ++i) {
        const Level level = FindLevel(container, path[i]);
        if (level.page) {
            container = level.page;
            continue;
        }
        if (!make || i == 0) return nullptr;
        QTabWidget* tabs = level.tabs;
        if (!tabs) {
            tabs = new QTabWidget;
            tabs->setObjectName(QStringLiteral("PageControl ") +
                                path.mid(0, i).join(QLatin1Char('/')));
            AddToPage(container, tabs);
        }
        auto* page = new QWidget;
        page->setObjectName(QStringLiteral("TabSheet ") +
                            path.mid(0, i + 1).join(QLatin1Char('/')));
        tabs->addTab(page, path[i]);
        container = page;
    }
    return container;
}
} // namespace

QWidget* FindTabPage(QWidget* window, const QStringList& path) {
    return PageAt(window, path, false);
}

QWidget* MakeTabPage(QWidget* window, const QStringList& path) {
    return PageAt(window, path, true);
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
