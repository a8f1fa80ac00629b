// The terminal: one instance per executable and one program per settings
// store, the main window, the message loop.
//
// Hidden options: "--screenshot FILE" (for the documentation) saves a picture
// of the window after its first show and ends the program; "--activate" (for
// the demonstration script) brings a running terminal of this build to the
// front and starts nothing: exit status 0 when one answered, 1 when none runs.
#include "app/ExitSignals.h"
#include "app/Terminal.h"
#include "console/Form2.h"
#include "platform/Clock.h"
#include "platform/Registry.h"
#include "platform/SettingsLock.h"
#include "platform/SingleInstance.h"
#include "platform/ui/EscKey.h"
#include "platform/ui/QtTranslations.h"

#include <QApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <cstring>

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
    QCoreApplication::quit();
}
} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--activate") == 0) {
            QCoreApplication core(argc, argv);
            return SingleInstance().SendActivate() ? 0 : 1;
        }
    }
    QApplication app(argc, argv);
    Clock::PinLocalZone();
    const auto qtRussian = InstallQtTranslations();
    // A second terminal on this build brings the first to the front; a
    // terminal or collector on the same settings refuses this one. Both
    // locks are taken under the executable's name ("varnel"), which the
    // collector names when it is refused.
    SingleInstance instance;
    if (!instance.TryBecomePrimary()) {
        instance.SendActivate();
        return 0;
    }
    const QString store = Registry().FilePath();
    SettingsLock settingsLock(store);
    if (!settingsLock.TryLock()) {
        const QString text =
            QStringLiteral("Программа уже работает с настройками %1 (%2). Терминал будет закрыт")
                .arg(store, settingsLock.Holder());
        std::fprintf(stderr, "varnel: %s\n", text.toUtf8().constData());
        QMessageBox::critical(nullptr, QStringLiteral("ZezozuDaruduri"), text);
        return 1;
    }
    QApplication::setApplicationName(QStringLiteral("ZezozuDaruduri"));

    QString screenshot;
    const QStringList args = QApplication::arguments();
    if (const qsizetype i = args.indexOf(QStringLiteral("--screenshot"));
        i >= 0 && i + 1 < args.size())
        screenshot = args.at(i + 1);

    InstallEscKeyFilter();
    // From the first moment: a message box or dialog shown while the window
    // is built or first shown (the table recovery, the start-up password)
    // closes too, and the program ends cleanly, giving up the single-instance
    // lock. A request that comes before the main loop runs is kept and acted
    // on once the first show is over.
    ExitSignals exitSignals;
    TForm2* built = nullptr;
    bool exitAsked = false;
    QObject::connect(&exitSignals, &ExitSignals::received, &app, [&built, &exitAsked] {
        exitAsked = true;
        CloseLikeOperator(built);
    });

    Terminal terminal;
    terminal.DeferRecovery(); // the window shows it
    if (!terminal.Start()) {
        QMessageBox::critical(nullptr, QApplication::applicationDisplayName(),
                              QStringLiteral("Ошибка доступа к реестру. Программа будет закрыта"));
        return 1;
    }
    if (exitAsked) return 0;
    TForm2 form(terminal);
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
    // The first show ran the start-up password dialog; an exit asked for
    // meanwhile ends the program now (the main loop would not see it).
    if (exitAsked) return 0;
    return app.exec();
}
