#include "state/ui/StateWidgets.h"

#include "directives/ui/MaskEdit.h"
#include "platform/ui/TabPages.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QValidator>

#include <algorithm>

namespace stateui {

namespace {
class FieldValidator : public QValidator {
public:
    FieldValidator(int length, QObject* parent) : QValidator(parent), m_length(length) {}
    State validate(QString& input, int& pos) const override {
        (void)pos;
        input = input.toUpper();
        return input.size() > m_length ? Invalid : Acceptable;
    }

private:
    int m_length;
};

int FieldWidth(const QWidget* w, int length) {
    return w->fontMetrics().horizontalAdvance(QLatin1Char('W')) * (std::max(length, 2) + 2);
}
} // namespace

StateField::StateField(const QString& name, const QString& hint, int length, QWidget* parent)
    : QLineEdit(parent) {
    setObjectName(name);
    setToolTip(hint);
    setMaxLength(length);
    setValidator(new FieldValidator(length, this));
    setFixedWidth(FieldWidth(this, length));
}

MaskEdit* HexField(const QString& name, const QString& hint, int length,
                   const QString& fixedPrefix) {
    auto* e = new MaskEdit;
    e->setObjectName(name);
    e->setToolTip(hint);
    QString mask = QStringLiteral(">");
    for (const QChar c : fixedPrefix)
        mask += QLatin1Char('\\') + c;
    mask += QString(std::max(0, length - int(fixedPrefix.size())), QLatin1Char('h'));
    e->SetEditMask(mask + QStringLiteral(";1;_"));
    e->setFixedWidth(FieldWidth(e, length));
    return e;
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
