#pragma once
// The table utility's About box: title "Table Utility" and an "Ok" button.
#include <QDialog>

class TAboutTableUtil : public QDialog {
    Q_OBJECT
public:
    explicit TAboutTableUtil(QWidget* parent = nullptr);
};
