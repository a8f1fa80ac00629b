#include "console/OkCancl1.h"

#include "directives/ui/MaskEdit.h"
#include "platform/ui/DialogButtons.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QVBoxLayout>

const QString OkCancl1::kFieldMask = QStringLiteral(">aaaaa;1;_");

OkCancl1::OkCancl1(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("OkCancl1"));
    setWindowTitle(QStringLiteral("Настройка"));
    auto* lay = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    static const char* const kNames[5] = {"MaskEditFirst", "MaskEditLast", "MaskEditStep",
                                          "MaskEditIncrement", "MaskEditValue"};
    const QString labels[5] = {QStringLiteral("Начало блока"), QStringLiteral("Конец блока"),
                               QStringLiteral("Шаг адреса"), QStringLiteral("Приращение"),
                               QStringLiteral("Начальное значение")};
    for (int i = 0; i < 5; ++i) {
        auto* f = new MaskEdit;
        f->setObjectName(QLatin1String(kNames[i]));
        f->SetEditMask(kFieldMask);
        f->setMinimumWidth(f->fontMetrics().horizontalAdvance(QStringLiteral("WWWWWW")) + 12);
        // The field handles Enter and Esc itself: they close the dialog here.
        connect(f, &MaskEdit::keyDown, this, [this](int key) {
            if (key == Qt::Key_Return || key == Qt::Key_Enter) accept();
            if (key == Qt::Key_Escape) reject();
        });
        form->addRow(labels[i], f);
        m_fields[size_t(i)] = f;
    }
    lay->addLayout(form);
    auto* buttons = OkCancelButtons(this);
    lay->addWidget(buttons);
}

ComposedDirectives::BlockParams OkCancl1::Params() const {
    return {m_fields[0]->Text(), m_fields[1]->Text(), m_fields[2]->Text(), m_fields[3]->Text(),
            m_fields[4]->Text()};
}
