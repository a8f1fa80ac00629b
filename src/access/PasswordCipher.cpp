#include "access/PasswordCipher.h"

#include "platform/Codec.h"

#include <nettle/cfb.h>
#include <nettle/des.h>

#include <array>

namespace oper {

namespace {

// Fixed for all runs: stored passwords depend on them. The key is seven
// letters and a zero byte, the vector eight letters.
const QByteArray kKey("Tervola\0", 8);
const QByteArray kIv("Quimbers", 8);

bool Setup(const QByteArray& key, const QByteArray& iv, des_ctx& ctx,
           std::array<uint8_t, DES_BLOCK_SIZE>& reg) {
    if (key.size() != DES_KEY_SIZE || iv.size() != DES_BLOCK_SIZE) return false;
    if (!des_set_key(&ctx, reinterpret_cast<const uint8_t*>(key.constData()))) return false;
    for (int i = 0; i < DES_BLOCK_SIZE; ++i)
        reg[size_t(i)] = uint8_t(iv[i]);
    return true;
}

nettle_cipher_func* DesFunc() {
    return reinterpret_cast<nettle_cipher_func*>(&des_encrypt);
}

} // namespace

bool CfbEncipher(const QByteArray& key, const QByteArray& iv, const QByteArray& in,
                 QByteArray& out) {
    des_ctx ctx{};
    std::array<uint8_t, DES_BLOCK_SIZE> reg{};
    if (!Setup(key, iv, ctx, reg)) return false;
    out.resize(in.size());
    cfb_encrypt(&ctx, DesFunc(), DES_BLOCK_SIZE, reg.data(), size_t(in.size()),
                reinterpret_cast<uint8_t*>(out.data()),
                reinterpret_cast<const uint8_t*>(in.constData()));
    return true;
}

bool CfbDecipher(const QByteArray& key, const QByteArray& iv, const QByteArray& in,
                 QByteArray& out) {
    des_ctx ctx{};
    std::array<uint8_t, DES_BLOCK_SIZE> reg{};
    if (!Setup(key, iv, ctx, reg)) return false;
    out.resize(in.size());
    cfb_decrypt(&ctx, DesFunc(), DES_BLOCK_SIZE, reg.data(), size_t(in.size()),
                reinterpret_cast<uint8_t*>(out.data()),
                reinterpret_cast<const uint8_t*>(in.constData()));
    return true;
}

QString ToDigits(const QByteArray& bytes) {
    QString s;
    s.reserve(bytes.size() * 3);
    for (char c : bytes)
        s += QStringLiteral("%1").arg(uint8_t(c), 3, 10, QLatin1Char('0'));
    return s;
}

QByteArray FromDigits(const QString& text) {
    const QByteArray raw = Codec::ToCp1251(text);
    QByteArray out;
    for (qsizetype i = 0; i + 3 <= raw.size(); i += 3) {
        const auto d = [&](qsizetype k) { return uint8_t(uint8_t(raw[i + k]) - uint8_t('0')); };
        const uint8_t hi = uint8_t(d(0) * 10 + d(1));
        out.append(char(uint8_t(hi * 10 + d(2))));
    }
    return out;
}

bool EncipherPassword(const QString& password, QString& stored) {
    QByteArray c;
    if (!CfbEncipher(kKey, kIv, Codec::ToCp1251(password), c)) return false;
    stored = ToDigits(c);
    return true;
}

bool DecipherPassword(const QString& stored, QString& password) {
    QByteArray p;
    if (!CfbDecipher(kKey, kIv, FromDigits(stored), p)) return false;
    password = Codec::FromCp1251(p);
    return true;
}

} // namespace oper
