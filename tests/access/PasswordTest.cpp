// The password cipher against published DES and CFB vectors, the stored
// digit form and its reading of malformed text, and the password rules.
#include "access/Password.h"
#include "TestSupport.h"
#include "access/PasswordCipher.h"
#include "platform/Registry.h"

#include <gtest/gtest.h>

using namespace oper;

namespace {

QByteArray Hex(const char* h) {
    return QByteArray::fromHex(h);
}

QString Enc(const QByteArray& key, const QByteArray& iv, const QByteArray& in) {
    QByteArray out;
    EXPECT_TRUE(CfbEncipher(key, iv, in, out));
    return QString::fromLatin1(out.toHex());
}

} // namespace

// FIPS 81 (appendix, 64-bit CFB) and the classic single-block DES answer: in
// CFB the first ciphertext block of a zero block is the DES of the vector.
TEST(PasswordCipher, MatchesPublishedDesAndCfbVectors) {
    const QByteArray key = Hex("0123456789abcdef");
    const QByteArray iv = Hex("1234567890abcdef");
    const QByteArray plain("Now is the time for all ");
    EXPECT_EQ(Enc(key, iv, plain), QStringLiteral("f3096249c7f46e51a69e839b1a92f784"
                                                  "03467133898ea622"));
    // A short final chunk takes the leading bytes of the enciphered register.
    EXPECT_EQ(Enc(key, iv, plain.left(19)), QStringLiteral("f3096249c7f46e51a69e839b1a92f784"
                                                           "034671"));
    EXPECT_EQ(Enc(Hex("133457799bbcdff1"), Hex("0123456789abcdef"), QByteArray(8, 0)),
              QStringLiteral("85e813540f0ab405"));
    EXPECT_EQ(Enc(Hex("0123456789abcdef"), Hex("4e6f772069732074"), QByteArray(8, 0)),
              QStringLiteral("3fa40e8a984d4815"));
    QByteArray back;
    ASSERT_TRUE(
        CfbDecipher(key, iv, Hex("f3096249c7f46e51a69e839b1a92f78403467133898ea622"), back));
    EXPECT_EQ(back, plain);
    QByteArray out;
    EXPECT_FALSE(CfbEncipher(QByteArray(7, 'a'), iv, plain, out)); // wrong key length
}

TEST(PasswordCipher, StoredFormHasThreeDigitsPerCharacterAndReadsBack) {
    QString stored;
    ASSERT_TRUE(EncipherPassword(QStringLiteral("abcdefghi"), stored)); // 8 + 1 bytes
    EXPECT_EQ(stored.size(), 27);
    for (QChar c : stored)
        EXPECT_TRUE(c.isDigit());
    QString back;
    ASSERT_TRUE(DecipherPassword(stored, back));
    EXPECT_EQ(back, QStringLiteral("abcdefghi"));
    ASSERT_TRUE(EncipherPassword(QStringLiteral("Ключ"), stored)); // Windows-1251 bytes
    EXPECT_EQ(stored.size(), 12);
    ASSERT_TRUE(DecipherPassword(stored, back));
    EXPECT_EQ(back, QStringLiteral("Ключ"));
    EXPECT_EQ(ToDigits(QByteArray("\x00\x07\xff", 3)), QStringLiteral("000007255"));
}

TEST(PasswordCipher, MalformedDigitGroupsReadByTheRule) {
    EXPECT_EQ(FromDigits(QStringLiteral("065255000")), QByteArray("A\xff\x00", 3));
    // 999: (99 mod 256) * 10 + 9 = 999 mod 256 = 231.
    EXPECT_EQ(FromDigits(QStringLiteral("999")), QByteArray(1, char(231)));
    // 'a' counts 49: (1 * 10 + 2) * 10 + 49 = 169.
    EXPECT_EQ(FromDigits(QStringLiteral("12a")), QByteArray(1, char(169)));
    // ' ' counts 240 (32 - 48 mod 256): (240 * 10 + 0) mod 256 = 96, * 10 + 1 = 961 mod 256.
    EXPECT_EQ(FromDigits(QStringLiteral(" 01")), QByteArray(1, char(961 % 256)));
    // A trailing incomplete group is ignored; odd lengths and any characters read.
    EXPECT_EQ(FromDigits(QStringLiteral("0650")), QByteArray("A"));
    EXPECT_EQ(FromDigits(QStringLiteral("06")), QByteArray());
    for (const QString& s : {QStringLiteral("12"), QStringLiteral("x\u4e2d\u00e9-\n7"),
                             QStringLiteral("0650651"), QString(3001, QLatin1Char('9'))}) {
        QString pw;
        EXPECT_TRUE(DecipherPassword(s, pw));
        EXPECT_EQ(pw.size(), s.size() / 3);
    }
}

// Ticking "Не использовать пароль" switches password use off; an unreadable
// value counts as on. (The other cases run through the dialog.)
TEST(PasswordLogic, PasswEnFromTheCheckBoxCaption) {
    TestEnv env;
    {
        TPasswordLogic p;
        ASSERT_TRUE(p.Begin(nullptr));
        EXPECT_EQ(p.CheckBoxCaption(), kCaptionDontUse);
        ASSERT_TRUE(p.Store(true, QString(), QString(), nullptr));
    }
    EXPECT_FALSE(AskedAtStartup());
    Registry reg;
    ASSERT_TRUE(reg.OpenKey(kCurrentAtsKey, false));
    ASSERT_TRUE(reg.WriteString(QStringLiteral("PasswEn"), QStringLiteral("maybe")));
    EXPECT_TRUE(AskedAtStartup());
}

TEST(PasswordLogic, AcceptsDefaultServiceAndNewPasswords) {
    TestEnv env;
    TPasswordLogic p;
    ASSERT_TRUE(p.Begin(nullptr));
    bool ok = false;
    QString def;
    ASSERT_TRUE(p.OperatorPassword(def, nullptr));
    EXPECT_EQ(def.size(), 6);
    for (QChar c : def)
        EXPECT_TRUE(c.isLetterOrNumber());
    ASSERT_TRUE(p.Accepts(def, ok, nullptr));
    EXPECT_TRUE(ok);
    ASSERT_TRUE(p.Accepts(TPasswordLogic::ServicePassword(), ok, nullptr));
    EXPECT_TRUE(ok);
    EXPECT_EQ(TPasswordLogic::ServicePassword().size(), 3);
    ASSERT_TRUE(p.Accepts(QStringLiteral("wrong"), ok, nullptr));
    EXPECT_FALSE(ok);
    // A differing confirmation keeps the stored password; equal ones store it.
    ASSERT_TRUE(p.Store(false, QStringLiteral("secret"), QStringLiteral("secreT"), nullptr));
    ASSERT_TRUE(p.Accepts(def, ok, nullptr));
    EXPECT_TRUE(ok);
    ASSERT_TRUE(p.Store(false, QStringLiteral("Пароль1"), QStringLiteral("Пароль1"), nullptr));
    ASSERT_TRUE(p.Accepts(def, ok, nullptr));
    EXPECT_FALSE(ok);
    ASSERT_TRUE(p.Accepts(QStringLiteral("Пароль1"), ok, nullptr));
    EXPECT_TRUE(ok);
    ASSERT_TRUE(p.Accepts(TPasswordLogic::ServicePassword(), ok, nullptr));
    EXPECT_TRUE(ok);
    Registry reg;
    ASSERT_TRUE(reg.OpenKey(kCurrentAtsKey, false));
    EXPECT_EQ(reg.ReadString(QStringLiteral("Password"), QString()).size(), 21);
    // A 12-digit stored value holds a 4-character password.
    QString four;
    ASSERT_TRUE(EncipherPassword(QStringLiteral("w0rd"), four));
    ASSERT_EQ(four.size(), 12);
    ASSERT_TRUE(reg.WriteString(QStringLiteral("Password"), four));
    ASSERT_TRUE(p.Accepts(QStringLiteral("w0rd"), ok, nullptr));
    EXPECT_TRUE(ok);
    // A malformed stored value never crashes; only the service password opens.
    ASSERT_TRUE(reg.WriteString(QStringLiteral("Password"), QStringLiteral("12x4")));
    ASSERT_TRUE(p.Accepts(TPasswordLogic::ServicePassword(), ok, nullptr));
    EXPECT_TRUE(ok);
    ASSERT_TRUE(p.Accepts(def, ok, nullptr));
    EXPECT_FALSE(ok);
}

TEST(PasswordLogic, UnwritableRegistryFailsTheProcedure) {
    TestEnv env;
    TPasswordLogic p(QStringLiteral("/proc/varnel-none/registry.ini"));
    QString error;
    EXPECT_FALSE(p.Begin(&error));
    EXPECT_FALSE(error.isEmpty());
}
