// The roll view and the loading of a roll into it.
#include "TestSupport.h"

#include "console/RollView.h"
#include "platform/Codec.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFocusEvent>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {
void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QStringList Lines(const RollView& v) {
    QStringList out;
    for (int i = 0; i < v.LineCount(); ++i)
        out << v.Line(i);
    return out;
}

class RollLoad : public ::testing::Test {
protected:
    QString RollPath() const { return env.Path(QStringLiteral("Varnel1.rul")); }
    TestEnv env;
};
} // namespace

TEST_F(RollLoad, LoadSplitsAtCrLfOnly) {
    RollView view;
    const std::pair<QByteArray, QStringList> cases[] = {
        {"", {QString()}},
        {"A\r\nB", {"A", "B"}},
        {"A\r\nB\r\n", {"A", "B", ""}},
        {"\r\n\r\n", {"", "", ""}},
        {"a\rb\nc\r", {QStringLiteral("a\rb\nc\r")}},
        {Codec::ToCp1251(QStringLiteral("ТО_5,-\r\nЖЁ№")),
         {QStringLiteral("ТО_5,-"), QStringLiteral("ЖЁ№")}},
    };
    for (const auto& [bytes, lines] : cases) {
        WriteFile(RollPath(), bytes);
        TFLoad(view, RollPath());
        EXPECT_EQ(Lines(view), lines) << bytes.toStdString();
        EXPECT_EQ(view.CaretLine(), view.LineCount() - 1);
        EXPECT_EQ(view.CaretColumn(), lines.back().size());
    }
}

// A line of exactly the buffer's size is one line; a CR LF split by the
// block boundary still ends the line.
TEST_F(RollLoad, LoadSplitsLongLinesAtTheLineBufferSize) {
    RollView view;
    constexpr int kMax = 32768;
    WriteFile(RollPath(),
              QByteArray(kMax, 'y') + "\r\nE\r\n" + QByteArray(kMax - 5, 'z') + "\r\nF");
    TFLoad(view, RollPath());
    EXPECT_EQ(Lines(view), QStringList({QString(kMax, QLatin1Char('y')), QStringLiteral("E"),
                                        QString(kMax - 5, QLatin1Char('z')), QStringLiteral("F")}));
}

TEST(RollText, BlockBoundariesDoNotMatter) {
    // Two full pieces of 32768 bytes are cut from the long line.
    const QByteArray file = "ab\r\n\r\rc\r\n" + QByteArray(70000, 'q') + "\r\r\n\n\r";
    RollText whole;
    whole.AppendFileBytes(file.constData(), file.size());
    whole.Finish();
    RollText bytewise;
    for (char c : file)
        bytewise.AppendFileBytes(&c, 1);
    bytewise.Finish();
    ASSERT_EQ(whole.LineCount(), bytewise.LineCount());
    for (qsizetype i = 0; i < whole.LineCount(); ++i)
        EXPECT_EQ(whole.LineBytes(i), bytewise.LineBytes(i));
    ASSERT_EQ(whole.LineCount(), 6);
    EXPECT_EQ(whole.LineBytes(1), QByteArray("\r\rc"));
    EXPECT_EQ(whole.LineBytes(3), QByteArray(32768, 'q'));
    EXPECT_EQ(whole.LineBytes(4), QByteArray(70000 - 2 * 32768, 'q') + "\r");
    EXPECT_EQ(whole.LineBytes(5), QByteArray("\n\r"));
    EXPECT_EQ(whole.MaxLineLength(), 32768);
}

TEST(RollView, InsertAppendTheScrollRuleAndFocusSignals) {
    RollView view;
    view.resize(300, 120);
    view.show();
    view.AppendLine(QStringLiteral("Новый запуск")); // into the empty view's only line
    EXPECT_EQ(view.Text(), QStringLiteral("Новый запуск"));
    view.InsertAtEnd(QStringLiteral(" A\r\nB\nC"));
    view.AppendLine(QStringLiteral("D"));
    EXPECT_EQ(view.Text(), QStringLiteral("Новый запуск A\nB\nC\nD"));
    for (int i = 0; i < 50; ++i)
        view.AppendLine(QString::number(i));
    const int bottom = view.LineCount() - view.VisibleLines();
    EXPECT_EQ(view.TopLine(), bottom);
    // While the operator works inside, new text neither scrolls nor moves the caret.
    view.SetAutoScroll(false);
    QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(view.TopLine(), 0);
    view.InsertAtEnd(QStringLiteral("\r\nmore"));
    EXPECT_EQ(view.TopLine(), 0);
    EXPECT_EQ(view.CaretLine(), 0);
    view.SetAutoScroll(true);
    view.ScrollToEnd();
    EXPECT_EQ(view.TopLine(), bottom + 1);
    view.clear();
    EXPECT_EQ(view.LineCount(), 1);
    EXPECT_EQ(view.TopLine(), 0);

    QSignalSpy entered(&view, &RollView::entered);
    QSignalSpy exited(&view, &RollView::exited);
    QFocusEvent in(QEvent::FocusIn, Qt::MouseFocusReason);
    QApplication::sendEvent(&view, &in);
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(&view, &out);
    EXPECT_EQ(entered.count(), 1);
    EXPECT_EQ(exited.count(), 1);
}

TEST(RollView, KeyboardMouseSelectionAndCopy) {
    RollView view;
    view.resize(300, 200);
    view.show();
    view.clear();
    view.InsertAtEnd(QStringLiteral("first line\r\nвторая строка\r\nthird"));
    QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(&view, Qt::Key_Down);
    QTest::keyClick(&view, Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(view.SelectedText(), QStringLiteral("вторая строка"));
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("вторая строка"));
    QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(view.SelectedText(), view.Text());
    // A click puts the caret on the line under the pointer; a double click
    // takes the word.
    const int lh = view.fontMetrics().lineSpacing();
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(6, 2 * lh + lh / 2));
    EXPECT_EQ(view.CaretLine(), 2);
    EXPECT_TRUE(view.SelectedText().isEmpty());
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, QPoint(6, lh / 2));
    EXPECT_EQ(view.SelectedText(), QStringLiteral("first"));
    // Painting with a selection and a long line stays inside the text.
    view.InsertAtEnd(QString(40000, QLatin1Char('w')));
    view.SelectAll();
    EXPECT_FALSE(view.grab().isNull());
}

TEST_F(RollLoad, LoadShowsTheEndOfALongRoll) {
    QByteArray bytes;
    for (int i = 0; i < 1000; ++i)
        bytes += "\r\nline " + QByteArray::number(i);
    WriteFile(RollPath(), bytes);
    RollView view;
    view.resize(400, 200);
    view.show();
    TFLoad(view, RollPath());
    EXPECT_EQ(view.LineCount(), 1001);
    EXPECT_GT(view.VisibleLines(), 1);
    EXPECT_EQ(view.TopLine(), view.LineCount() - view.VisibleLines());
    // A missing roll loads as one empty line.
    TFLoad(view, env.Path(QStringLiteral("none.rul")));
    EXPECT_EQ(Lines(view), QStringList{QString()});
}
