// The terminal: one instance per executable, the main window, the message loop.
//
// Hidden option for the documentation: "--screenshot FILE" saves a picture of
// the window after its first show and ends the program.
#include "console/ExitSignals.h"
#include "console/Form2.h"
#include "platform/SingleInstance.h"
#include "platform/Wait.h"
#include "platform/ui/EscKey.h"

#include <QApplication>
#include <QPixmap>
#include <QTimer>

namespace {
// Closes open dialogs, then the main window (when there is one yet), as the
// operator would.
void CloseLikeOperator(TForm2* form) {
    for (int guard = 0; guard < 16; ++guard) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == form) break;
        modal->close();
    }
    if (form) form->close();
    EndWaits();
    QCoreApplication::quit();
}
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZezozuDaruduri"));

    QString screenshot;
    const QStringList args = QApplication::arguments();
    if (const qsizetype i = args.indexOf(QStringLiteral("--screenshot"));
        i >= 0 && i + 1 < args.size())
        screenshot = args.at(i + 1);

    SingleInstance instance;
    if (!instance.TryBecomePrimary()) {
        instance.SendActivate();
        return 0;
    }
    InstallEscKeyFilter();
    QObject::connect(&app, &QGuiApplication::lastWindowClosed, [] { EndWaits(); });
    // From the first moment: a message box shown while the window is built
    // (a settings store that cannot be read) closes too, and the program
    // ends, giving up the single-instance lock.
    ExitSignals exitSignals;
    TForm2* built = nullptr;
    bool exitAsked = false;
    QObject::connect(&exitSignals, &ExitSignals::received, &app, [&built, &exitAsked] {
        exitAsked = true;
        CloseLikeOperator(built);
    });

    TForm2 form;
    if (!form.IsUsable()) return 1;
    if (exitAsked) return 0;
    built = &form;
    QObject::connect(&instance, &SingleInstance::activateRequested, &form, &TForm2::BringToFront);
    if (!screenshot.isEmpty()) {
        QObject::connect(&form, &TForm2::shown, &form, [&form, screenshot] {
            QTimer::singleShot(700, &form, [&form, screenshot] {
                form.grab().save(screenshot);
                form.close();
            });
        });
    }
    form.show();
    return app.exec();
}
