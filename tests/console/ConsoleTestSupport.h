#pragma once
// Helpers of the console tests: answering modal message boxes, finding
// controls by name, typing Cyrillic.
#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <ostream>

// Answers every modal message box that opens while it lives and keeps their
// texts.
class ModalAnswerer : public QObject {
public:
    ModalAnswerer() {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                Texts << box->text();
                box->done(QMessageBox::Ok);
            }
        });
        m_timer.start();
    }
    QStringList Texts;

private:
    QTimer m_timer;
};

template <class T> T* Find(QObject* root, const char* name) {
    return root->findChild<T*>(QString::fromLatin1(name));
}

// QTest::keyClicks cannot type Cyrillic: one key event per character.
inline void TypeText(QWidget* w, const QString& text) {
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
