#pragma once
// TFormAKNum, the line-number dialog: "Введите линейный номер АК", one
// three-character field (MaskEdit1) and OK/Cancel. Created once with the main
// window; shown modally, stays on top, centred on the screen, and leaves the
// typed text in MaskEdit1.
#include <QDialog>

class MaskEdit;

class TFormAKNum : public QDialog {
    Q_OBJECT
public:
    static const QString kMask; // ">aaa;1;_"

    explicit TFormAKNum(QWidget* parent = nullptr);
    MaskEdit* MaskEdit1() const { return m_edit; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    MaskEdit* m_edit = nullptr;
};
