// The console's start: the application object, the main window and the two check windows,
// then the message loop until the main window is closed.

#include "Application.h"
#include "Mainform.h"
#include "Status.h"
#include "Switches.h"

#include <memory>

int main(int argc, char** argv) {
    TApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("tr7042k-console"));
    // The windows belong to the program as a whole and go when it ends.
    std::unique_ptr<TForm1> mainWindow;
    std::unique_ptr<TForm2> switchesWindow;
    std::unique_ptr<TForm4> stateWindow;
    try {
        mainWindow = std::make_unique<TForm1>();
        Form1 = mainWindow.get();
        switchesWindow = std::make_unique<TForm2>();
        Form2 = switchesWindow.get();
        stateWindow = std::make_unique<TForm4>();
        Form4 = stateWindow.get();
        Form1->show();
        Form1->activateWindow();
        application.exec();
    } catch (...) {
        // A failure while starting is shown like any other; the program then ends normally.
        ShowEscapedException();
    }
    return 0;
}
