#pragma once
// OkCancl1, the dialog "Настройка" of "Записать массив индексированно": five
// five-character fields in the exchange address notation and "OK"/"Cancel".
// Created once with the main window; the fields keep what was typed.
#include "directives/ComposedDirectives.h"

#include <QDialog>

#include <array>

class MaskEdit;

class OkCancl1 : public QDialog {
    Q_OBJECT
public:
    static const QString kFieldMask; // ">aaaaa;1;_"

    explicit OkCancl1(QWidget* parent = nullptr);

    // The fields as typed (blanks read as spaces).
    ComposedDirectives::BlockParams Params() const;
    MaskEdit* Field(int i) const { return m_fields.at(size_t(i)); }

private:
    std::array<MaskEdit*, 5> m_fields{};
};
