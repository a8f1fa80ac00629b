#include "access/PasswordLogic.h"

#include "access/PasswordCipher.h"
#include "platform/Registry.h"

namespace oper {

namespace {

const QString kPasswEn = QStringLiteral("PasswEn");
const QString kPassword = QStringLiteral("Password");

// The default password, held only in its stored form (six characters).
const QString kDefaultStored = QStringLiteral("113010174118096186");

bool Failed(QString* error, const QString& why) {
    if (error) *error = why;
    return false;
}

} // namespace

bool AskedAtStartup(const QString& registryPath) {
    Registry reg(registryPath);
    const RegistryKey key{reg, kCurrentAtsKey, false};
    return !key || key->ReadBool(kPasswEn, true);
}

PasswordLogic::PasswordLogic(const QString& registryPath)
    : m_reg(std::make_unique<Registry>(registryPath)), m_caption(kCaptionUse) {}

PasswordLogic::~PasswordLogic() = default;

QString PasswordLogic::ServicePassword() {
    return QStringLiteral("zol");
}

bool PasswordLogic::Begin(QString* error) {
    if (!m_reg->IsAccessible() || !m_reg->OpenKey(kCurrentAtsKey, true))
        return Failed(error, QStringLiteral("cannot open registry key %1").arg(kCurrentAtsKey));
    m_open = true;
    const std::optional<bool> en = m_reg->ReadBool(kPasswEn);
    m_caption = (!en || *en) ? kCaptionDontUse : kCaptionUse;
    return true;
}

bool PasswordLogic::OperatorPassword(QString& out, QString* error) const {
    if (!m_open) return Failed(error, QStringLiteral("registry key not open"));
    QString stored = m_reg->ReadString(kPassword, QString());
    if (stored.isEmpty()) stored = kDefaultStored;
    if (!DecipherPassword(stored, out)) return Failed(error, QStringLiteral("cipher failure"));
    return true;
}

bool PasswordLogic::Accepts(const QString& typed, bool& accepted, QString* error) const {
    accepted = false;
    QString pw;
    if (!OperatorPassword(pw, error)) return false;
    accepted = typed == ServicePassword() || typed == pw;
    return true;
}

bool PasswordLogic::Store(bool checked, const QString& newPassword, const QString& confirmation,
                          QString* error) {
    if (!m_open) return Failed(error, QStringLiteral("registry key not open"));
    const bool enabled = m_caption == kCaptionUse ? checked : !checked;
    if (!m_reg->WriteBool(kPasswEn, enabled))
        return Failed(error, QStringLiteral("cannot write %1").arg(kPasswEn));
    if (!newPassword.isEmpty() && newPassword == confirmation) {
        QString stored;
        if (!EncipherPassword(newPassword, stored))
            return Failed(error, QStringLiteral("cipher failure"));
        if (!m_reg->WriteString(kPassword, stored))
            return Failed(error, QStringLiteral("cannot write %1").arg(kPassword));
    }
    return true;
}

void PasswordLogic::End() {
    if (m_open) m_reg->CloseKey();
    m_open = false;
}

} // namespace oper
