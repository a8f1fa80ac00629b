#pragma once
// Helpers of the console tests: starting the main window, answering modal
// message boxes, finding controls by name, typing Cyrillic.
#include "TestSupport.h"

#include "app/Terminal.h"
#include "console/Form2.h"
#include "platform/EscTracker.h"

#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QStringList>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <memory>
#include <ostream>

// Creates and shows the main window on folder dir; waits for its first show.
inline std::unique_ptr<TForm2> StartForm(const QString& dir, bool passwordOff = true) {
    if (passwordOff) PasswordOff();
    auto form = std::make_unique<TForm2>(dir);
    bool shown = false;
    QObject::connect(form.get(), &TForm2::shown, [&shown] { shown = true; });
    form->show();
    WaitWhile([&] { return !shown; }, false);
    return form;
}

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

// A page of the window's tab controls (or of a nested one) by its caption.
inline QWidget* PageOf(QWidget* form, const QString& caption) {
    for (QTabWidget* t : form->findChildren<QTabWidget*>())
        for (int i = 0; i < t->count(); ++i)
            if (t->tabText(i) == caption) return t->widget(i);
    return nullptr;
}

template <class T> T* Find(QObject* root, const char* name) {
    return root->findChild<T*>(QString::fromLatin1(name));
}

// QTest::keyClicks cannot type Cyrillic: one key event per character.
inline void TypeText(QWidget* w, const QString& text) {
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

// Readable QString values in failure messages.
