#include "versions/ui/FormKontrolSumm.h"

#include "link/Notation.h"
#include "versions/VersionChecksum.h"
#include "versions/VersionFormat.h"

#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

TFormKontrolSumm::TFormKontrolSumm(QString curDir, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint), m_curDir(std::move(curDir)) {
    setObjectName(QStringLiteral("FormKontrolSumm"));
    setWindowTitle(QStringLiteral("Контрольные суммы"));
    setModal(true);
    auto* lay = new QVBoxLayout(this);
    // The file the sums belong to.
    m_file = new QLabel;
    m_file->setObjectName(QStringLiteral("LabelFile"));
    m_file->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lay->addWidget(m_file);

    // Three rows of four: banks 1, 2, 3 and bank 4 lower; banks 5, 6 and the
    // main area's two parts; bank 4 upper.
    auto* grid = new QGridLayout;
    QFont big = font();
    big.setPointSize(big.pointSize() + 4);
    big.setBold(true);
    for (int n = 1; n <= VersionChecksum::kSums; ++n) {
        auto* cell = new QVBoxLayout;
        cell->addWidget(new QLabel(VersionChecksum::Caption(n)));
        auto* value = new QLabel;
        value->setObjectName(QStringLiteral("Label%1").arg(n));
        value->setFont(big);
        value->setMinimumWidth(90);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        cell->addWidget(value);
        m_labels[size_t(n - 1)] = value;
        grid->addLayout(cell, (n - 1) / 4, (n - 1) % 4);
    }
    lay->addLayout(grid);

    auto* buttons = new QHBoxLayout;
    auto* start = new QPushButton(QStringLiteral("Старт"));
    start->setObjectName(QStringLiteral("ButtonStart"));
    start->setDefault(true);
    auto* exit = new QPushButton(QStringLiteral("Выход"));
    exit->setObjectName(QStringLiteral("ButtonExit"));
    buttons->addStretch(1);
    buttons->addWidget(start);
    buttons->addWidget(exit);
    lay->addLayout(buttons);
    connect(start, &QPushButton::clicked, this, &TFormKontrolSumm::StartClick);
    connect(exit, &QPushButton::clicked, this, &QDialog::accept);
}

void TFormKontrolSumm::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (e->spontaneous()) return;
    // Centred on the screen; the file is asked for once the window is up.
    if (const QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
    QTimer::singleShot(0, this, &TFormKontrolSumm::StartClick);
}

void TFormKontrolSumm::StartClick() {
    const QString file = Dialogs.open(this, QStringLiteral("Выбор версии для рассчета"),
                                      Vers::SendDialogFolder(m_curDir),
                                      QStringLiteral("Версии (*.ver);;Все файлы (*.*)"));
    if (file.isEmpty()) return;
    for (QLabel* l : m_labels)
        l->clear();
    m_file->setText(QDir::toNativeSeparators(file));
    const auto result = VersionChecksum::Compute(file, [this](int label, uint16_t sum) {
        m_labels[size_t(label - 1)]->setText(ValueToVarnel(sum));
    });
    if (result.readFailed) {
        Dialogs.message(this, QStringLiteral("Cant read ") + file);
        reject();
    }
}
