#pragma once
// The table utility's About box: title "Table Utility" and an "Ok" button.
#include <QDialog>

class AboutTableUtil : public QDialog {
    Q_OBJECT
public:
    explicit AboutTableUtil(QWidget* parent = nullptr);
};
