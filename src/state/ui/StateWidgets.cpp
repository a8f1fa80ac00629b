#include "state/ui/StateWidgets.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QValidator>

#include <algorithm>
#include <deque>

namespace stateui {

namespace {
class FieldValidator : public QValidator {
public:
    FieldValidator(int length, const QString& prefix, QObject* parent)
        : QValidator(parent), m_length(length), m_prefix(prefix) {}
    State validate(QString& input, int& pos) const override {
        (void)pos;
        input = input.toUpper();
        if (input.size() > m_length || !input.startsWith(m_prefix)) return Invalid;
        return Acceptable;
    }

private:
    int m_length;
    QString m_prefix;
};

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

QBoxLayout* PageLayout(QWidget* page) {
    if (auto* box = qobject_cast<QBoxLayout*>(page->layout())) return box;
    if (page->layout()) return nullptr;
    return new QVBoxLayout(page);
}
} // namespace

StateField::StateField(const QString& name, const QString& hint, int length,
                       const QString& fixedPrefix, QWidget* parent)
    : QLineEdit(parent) {
    setObjectName(name);
    setToolTip(hint);
    setMaxLength(length);
    setValidator(new FieldValidator(length, fixedPrefix, this));
    setText(fixedPrefix);
    const int chars = std::max(length, 2) + 2;
    setFixedWidth(fontMetrics().horizontalAdvance(QLatin1Char('W')) * chars);
}

QPlainTextEdit* ResultList(const QString& name, const QString& hint) {
    auto* memo = new QPlainTextEdit;
    memo->setObjectName(name);
    memo->setToolTip(hint);
    memo->setReadOnly(true);
    memo->setUndoRedoEnabled(false);
    return memo;
}

QButtonGroup* RadioGroup(QWidget* owner, QLayout* into, const QString& name, const QString& title,
                         const QStringList& items) {
    auto* box = new QGroupBox(title);
    box->setObjectName(name);
    auto* lay = new QVBoxLayout(box);
    auto* group = new QButtonGroup(owner);
    group->setObjectName(name + QStringLiteral("Buttons"));
    for (int i = 0; i < items.size(); ++i) {
        auto* r = new QRadioButton(items[i]);
        r->setObjectName(name + QString::number(i));
        group->addButton(r, i);
        lay->addWidget(r);
    }
    if (!items.isEmpty()) group->button(0)->setChecked(true);
    lay->addStretch(1);
    into->addWidget(box);
    return group;
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
            if (QBoxLayout* lay = PageLayout(container))
                lay->insertWidget(0, tabs, 1);
            else
                container->layout()->addWidget(tabs);
        }
        auto* page = new QWidget;
        page->setObjectName(QStringLiteral("TabSheet ") +
                            path.mid(0, i + 1).join(QLatin1Char('/')));
        tabs->addTab(page, path[i]);
        container = page;
    }
    return container;
}

void AddContent(QWidget* page, QWidget* content) {
    QBoxLayout* lay = PageLayout(page);
    if (!lay) {
        page->layout()->addWidget(content);
        return;
    }
    const int n = lay->count();
    if (n > 0 && lay->itemAt(n - 1)->spacerItem()) delete lay->takeAt(n - 1);
    lay->addWidget(content, 1);
}

} // namespace stateui
