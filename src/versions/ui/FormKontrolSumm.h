#pragma once
// TFormKontrolSumm, "Контрольные суммы": the control sums of a version file,
// area by area, in the exchange address notation. A modal dialog on top of
// the other windows; it asks for the file as soon as it is shown.
#include "versions/ui/VersionDialogs.h"

#include <QDialog>

#include <array>

class QLabel;

class TFormKontrolSumm : public QDialog {
    Q_OBJECT
public:
    explicit TFormKontrolSumm(QString curDir, QWidget* parent = nullptr);

    VersionDialogs Dialogs = VersionDialogs::Standard();

    // "Старт": choose a file and compute its sums.
    void StartClick();

protected:
    void showEvent(QShowEvent* e) override;

private:
    QString m_curDir;
    QLabel* m_file = nullptr;          // LabelFile: the file of the sums shown
    std::array<QLabel*, 9> m_labels{}; // Label1..Label9
};
