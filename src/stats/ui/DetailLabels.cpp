#include "stats/ui/DetailLabels.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>

QLabel* AddValue(QWidget* parent, QGridLayout* grid, int column, const QString& caption,
                 const QString& name) {
    auto* title = new QLabel(caption, parent);
    auto* value = new QLabel(QStringLiteral("0"), parent);
    value->setObjectName(name);
    value->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    value->setAlignment(Qt::AlignCenter);
    value->setMinimumWidth(90);
    grid->addWidget(title, 0, column, Qt::AlignHCenter);
    grid->addWidget(value, 1, column);
    return value;
}

QCheckBox* AddShownBox(QWidget* parent, QGridLayout* grid, int row, int column,
                       const QString& caption, const QString& name) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    box->setAttribute(Qt::WA_TransparentForMouseEvents);
    box->setFocusPolicy(Qt::NoFocus);
    grid->addWidget(box, row, column);
    return box;
}
