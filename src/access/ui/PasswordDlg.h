#pragma once
// The password dialog "Пароль": the password, a new password with its
// confirmation, and the password-use check box (caption set by the caller).
#include <QDialog>

class QCheckBox;
class QLineEdit;

class TPasswordDlg : public QDialog {
    Q_OBJECT
public:
    explicit TPasswordDlg(QWidget* parent = nullptr);

    QLineEdit* Password() const { return m_password; }
    QLineEdit* Edit1() const { return m_edit1; }
    QLineEdit* Edit2() const { return m_edit2; }
    QCheckBox* CheckBox1() const { return m_check; }
    // Empties the three text fields.
    void ClearFields();

private:
    QLineEdit* m_password;
    QLineEdit* m_edit1;
    QLineEdit* m_edit2;
    QCheckBox* m_check;
};
