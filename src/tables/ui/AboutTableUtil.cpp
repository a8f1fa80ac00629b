#include "tables/ui/AboutTableUtil.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

AboutTableUtil::AboutTableUtil(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutTableUtil"));
    setWindowTitle(QStringLiteral("Table Utility"));
    auto* text =
        new QLabel(QStringLiteral("Table Utility\nVerify and rebuild of Paradox tables"), this);
    text->setAlignment(Qt::AlignCenter);
    auto* ok = new QPushButton(QStringLiteral("Ok"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* box = new QVBoxLayout(this);
    box->addWidget(text);
    box->addWidget(ok, 0, Qt::AlignCenter);
}
