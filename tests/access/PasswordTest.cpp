// The password cipher against published DES and CFB vectors, the stored
// digit form and its reading of malformed text, and the password rules.
#include "TestSupport.h"
#include "access/PasswordCipher.h"
#include "access/PasswordLogic.h"
#include "platform/Registry.h"

#include <gtest/gtest.h>

using namespace oper;

namespace {
// The enciphered text in hexadecimal, key and vector given in hexadecimal.
QString Enc(const char* key, const char* iv, const QByteArray& in) {
    QByteArray out;
    EXPECT_TRUE(CfbEncipher(QByteArray::fromHex(key), QByteArray::fromHex(iv), in, out));
    return QString::fromLatin1(out.toHex());
}
} // namespace

// FIPS 81 (appendix, 64-bit CFB) and the classic single-block DES answer: in
// CFB the first ciphertext block of a zero block is the DES of the vector.
TEST(PasswordCipher, MatchesPublishedDesAndCfbVectors) {
    const char *key = "0123456789abcdef", *iv = "1234567890abcdef";
    const QByteArray plain("Now is the time for all ");
    const char* cipher = "f3096249c7f46e51a69e839b1a92f78403467133898ea622";
    EXPECT_EQ(Enc(key, iv, plain), QLatin1String(cipher));
    // A short final chunk takes the leading bytes of the enciphered register.
    EXPECT_EQ(Enc(key, iv, plain.left(19)), QLatin1String(cipher, 38));
    EXPECT_EQ(Enc("133457799bbcdff1", "0123456789abcdef", QByteArray(8, 0)),
              QStringLiteral("85e813540f0ab405"));
    QByteArray back, out;
    ASSERT_TRUE(CfbDecipher(QByteArray::fromHex(key), QByteArray::fromHex(iv),
                            QByteArray::fromHex(cipher), back));
    EXPECT_EQ(back, plain);
    EXPECT_FALSE(
        CfbEncipher(QByteArray(7, 'a'), QByteArray::fromHex(iv), plain, out)); // key length
}

// Three digits per byte of the enciphered text; malformed digit groups read
// by the rule, whatever the characters.
TEST(PasswordCipher, StoredDigitFormReadsBackAndMalformedGroupsReadByTheRule) {
    // 8 + 1 bytes, and Cyrillic in Windows-1251 bytes.
    for (const QString& pw : {QStringLiteral("abcdefghi"), QStringLiteral("Ключ")}) {
        QString stored, back;
        ASSERT_TRUE(EncipherPassword(pw, stored));
        EXPECT_EQ(stored.size(), 3 * pw.size());
        for (QChar c : stored)
            EXPECT_TRUE(c.isDigit());
        ASSERT_TRUE(DecipherPassword(stored, back));
        EXPECT_EQ(back, pw);
    }
    EXPECT_EQ(ToDigits(QByteArray("\x00\x07\xff", 3)), QStringLiteral("000007255"));
    EXPECT_EQ(FromDigits(QStringLiteral("065255000")), QByteArray("A\xff\x00", 3));
    // 999: (99 mod 256) * 10 + 9 = 999 mod 256 = 231.
    EXPECT_EQ(FromDigits(QStringLiteral("999")), QByteArray(1, char(231)));
    // 'a' counts 49: (1 * 10 + 2) * 10 + 49 = 169.
    EXPECT_EQ(FromDigits(QStringLiteral("12a")), QByteArray(1, char(169)));
    // ' ' counts 240 (32 - 48 mod 256): (240 * 10 + 0) mod 256 = 96, * 10 + 1 = 961 mod 256.
    EXPECT_EQ(FromDigits(QStringLiteral(" 01")), QByteArray(1, char(961 % 256)));
    // A trailing incomplete group is ignored; odd lengths and any characters read.
    EXPECT_EQ(FromDigits(QStringLiteral("0650")), QByteArray("A"));
    for (const QString& s : {QStringLiteral("12"), QStringLiteral("x\u4e2d\u00e9-\n7"),
                             QStringLiteral("0650651"), QString(3001, QLatin1Char('9'))}) {
        QString pw;
        EXPECT_TRUE(DecipherPassword(s, pw));
        EXPECT_EQ(pw.size(), s.size() / 3);
    }
}

// An unreadable "PasswEn" counts as on (the other cases run through the dialog).
TEST(PasswordLogic, UnreadablePasswEnAsksAtStartup) {
    TestEnv env;
    Registry reg;
    ASSERT_TRUE(reg.OpenKey(kCurrentAtsKey, true));
    ASSERT_TRUE(reg.WriteString(QStringLiteral("PasswEn"), QStringLiteral("maybe")));
    EXPECT_TRUE(AskedAtStartup());
}

TEST(PasswordLogic, AcceptsDefaultServiceAndNewPasswords) {
    TestEnv env;
    PasswordLogic p;
    ASSERT_TRUE(p.Begin(nullptr));
    auto accepts = [&p](const QString& pw) {
        bool ok = false;
        EXPECT_TRUE(p.Accepts(pw, ok, nullptr));
        return ok;
    };
    const QString service = PasswordLogic::ServicePassword();
    QString def;
    ASSERT_TRUE(p.OperatorPassword(def, nullptr));
    EXPECT_EQ(def.size(), 6);
    for (QChar c : def)
        EXPECT_TRUE(c.isLetterOrNumber());
    EXPECT_TRUE(accepts(def) && accepts(service));
    // A differing confirmation keeps the stored password; equal ones store it.
    ASSERT_TRUE(p.Store(false, QStringLiteral("secret"), QStringLiteral("secreT"), nullptr));
    EXPECT_TRUE(accepts(def));
    ASSERT_TRUE(p.Store(false, QStringLiteral("Пароль1"), QStringLiteral("Пароль1"), nullptr));
    EXPECT_FALSE(accepts(def));
    EXPECT_TRUE(accepts(QStringLiteral("Пароль1")) && accepts(service));
    Registry reg;
    ASSERT_TRUE(reg.OpenKey(kCurrentAtsKey, false));
    EXPECT_EQ(reg.ReadString(QStringLiteral("Password"), QString()).size(), 21);
    // A 12-digit stored value holds a 4-character password.
    QString four;
    ASSERT_TRUE(EncipherPassword(QStringLiteral("w0rd"), four));
    ASSERT_TRUE(reg.WriteString(QStringLiteral("Password"), four));
    EXPECT_TRUE(accepts(QStringLiteral("w0rd")));
    // A malformed stored value never crashes; only the service password opens.
    ASSERT_TRUE(reg.WriteString(QStringLiteral("Password"), QStringLiteral("12x4")));
    EXPECT_TRUE(accepts(service));
    EXPECT_FALSE(accepts(def));
}
