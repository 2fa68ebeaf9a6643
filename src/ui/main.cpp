// Program entry: makes the preview module and the windows in their order,
// shows the main window and runs until it has closed. "--version" only tells
// the program's name and version.
#include "settings/settings.h"
#include "settings/widgets/raccourcisform.h"
#include "settings/widgets/saveprefsform.h"
#include "ui/commandactions.h"
#include "ui/ueditincrust.h"
#include "ui/uiform.h"
#include "ui/uvideframe.h"
#include "video/graphs/viewgraph.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_termPipe[2] = {-1, -1};

void onTerminate(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_termPipe[1], &byte, 1);
}

// A request to end the program (SIGTERM, SIGINT, a session ending) closes the
// main window the way its Quit command does, so the settings are kept, but
// without waiting for an answer to any question.
void CloseOnTerminate(vidora::TUIForm *mainWindow)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_termPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_termPipe[0], QSocketNotifier::Read, mainWindow);
    QObject::connect(notifier, &QSocketNotifier::activated, mainWindow, [mainWindow] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(g_termPipe[0], &byte, 1);
        mainWindow->Terminate();
    });
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

} // namespace

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("Vidora %s\n", VIDORA_VERSION);
            return 0;
        }
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(vidora::kProgramName);
    QApplication::setOrganizationName(vidora::kMakerName);
    vidora::UseToolbarIconTheme();

    vidora::Settings settings(vidora::SettingsEnvironment::forRunningProgram());
    vidora::Tviewdm viewdm;
    vidora::TUIForm form(settings, viewdm);
    vidora::TEditIncrustForm editIncrust(&settings, &viewdm);
    form.SetEditIncrustForm(&editIncrust);
    vidora::Tplaque plaque;
    form.SetPlaque(&plaque);
    vidora::TRaccourcisForm raccourcis(settings, form.al().Actions());
    form.SetRaccourcisForm(&raccourcis);
    vidora::TSavePrefsForm savePrefs(&form);
    form.SetSavePrefsForm(&savePrefs);

    // The program ends with its main window: the windows that no parent ties
    // to it (commands and keys, the overlay editor, the analyser) and a
    // question still open go with it.
    form.OnClosed = [] {
        for (QWidget *window : QApplication::topLevelWidgets())
            window->hide();
        QCoreApplication::exit(0);
    };
    CloseOnTerminate(&form);
    form.show();
    form.activateWindow();
    // The command line runs at the first activation; a display without a
    // window manager may never activate the window, so it runs once the
    // window is up in any case.
    QTimer::singleShot(0, &form, [&form] { form.Switch1->Activate(); });
    const int result = app.exec();
    // A command whose question was open when the window closed has its
    // worker still running: it ends now, while every window that its queued
    // calls reach still exists.
    form.Commands().EndForClose();
    // The windows made after the main window go before it: calls that its
    // own end still runs (the opener's last notices) no longer reach them.
    form.SetEditIncrustForm(nullptr);
    form.SetPlaque(nullptr);
    form.SetSavePrefsForm(nullptr);
    return result;
}
