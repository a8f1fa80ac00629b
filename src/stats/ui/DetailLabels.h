#pragma once
// The captioned values and read-only check boxes of the detail windows.
#include <QString>

class QCheckBox;
class QGridLayout;
class QLabel;
class QWidget;

// A caption with its value label under it, in column `column` of grid.
QLabel* AddValue(QWidget* parent, QGridLayout* grid, int column, const QString& caption,
                 const QString& name);
// A check box that shows a value and cannot be changed by the operator.
QCheckBox* AddShownBox(QWidget* parent, QGridLayout* grid, int row, int column,
                       const QString& caption, const QString& name);
