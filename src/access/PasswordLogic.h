#pragma once
// The operator password: what is stored where, and the rules of the password
// procedure, without widgets.
//
// Registry key "\Software\ZezozuDaruduri\Current ATS":
//   "PasswEn"  (boolean) password use on; missing or unreadable counts as on;
//   "Password" (text)    the operator's password in the stored form
//                        (PasswordCipher.h); empty or missing means the
//                        built-in default password.
// A fixed service password is always accepted.
#include <QString>

#include <memory>

class Registry;

namespace oper {

inline const QString kCurrentAtsKey = QStringLiteral("\\Software\\ZezozuDaruduri\\Current ATS");
inline const QString kCaptionUse = QStringLiteral("Использовать пароль");
inline const QString kCaptionDontUse = QStringLiteral("Не использовать пароль");
inline const QString kFatalMessage =
    QStringLiteral("Продолжение невозможно. Прграмма будет закрыта");

// Whether the start-up asks for the password: "PasswEn" true, missing or
// unreadable.
bool AskedAtStartup(const QString& registryPath = QString());

// One run of the password procedure. Every step that fails (registry or
// cipher) returns false with error set; the caller then ends the program.
class PasswordLogic {
public:
    // registryPath: the settings store (empty: the program's own).
    explicit PasswordLogic(const QString& registryPath = QString());
    ~PasswordLogic();
    PasswordLogic(const PasswordLogic&) = delete;
    PasswordLogic& operator=(const PasswordLogic&) = delete;

    // Opens (creates) the key and reads "PasswEn": the check box then reads
    // "Не использовать пароль" when it is true or unreadable, else
    // "Использовать пароль".
    bool Begin(QString* error);
    QString CheckBoxCaption() const { return m_caption; }

    // The typed password equals the service password or the operator's one.
    bool Accepts(const QString& typed, bool& accepted, QString* error) const;

    // After an accepted password: "PasswEn" from the check box (its state
    // under "Использовать пароль", the opposite under "Не использовать
    // пароль"); a new password is stored when both texts are non-empty and
    // equal, else the stored one stays.
    bool Store(bool checked, const QString& newPassword, const QString& confirmation,
               QString* error);

    // Closes the key.
    void End();

    // The operator's password now in force (deciphered, or the default).
    bool OperatorPassword(QString& out, QString* error) const;

    static QString ServicePassword();

private:
    std::unique_ptr<Registry> m_reg;
    QString m_caption;
    bool m_open = false;
};

} // namespace oper
