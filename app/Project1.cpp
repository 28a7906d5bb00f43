// Program entry: the application object, its title, the four windows, the
// paths it was started with and the message loop.

#include "app/AppIcon.h"
#include "app/AppTitle.h"
#include "app/Unit1.h"
#include "app/windows/Unit2.h"
#include "app/windows/Unit3.h"
#include "app/windows/Unit4.h"

#include <QApplication>
#include <QTimer>

#include <string>
#include <vector>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    SetApplicationTitle();
    InitVelocitrixResources();
    QApplication::setWindowIcon(VelocitrixIcon());

    // The main window first: it reads the settings the file-types window uses.
    Form1 = new TForm1;
    Form2 = new TForm2;
    Form3 = new TForm3;
    Form4 = new TForm4;
    // Only the main window's closing ends the program, whatever else is open.
    for (QWidget* window :
         {static_cast<QWidget*>(Form2), static_cast<QWidget*>(Form3), static_cast<QWidget*>(Form4)})
        window->setAttribute(Qt::WA_QuitOnClose, false);

    Form1->show();
    // A file or folder named on the command line (the desktop passes what is
    // opened with the program), opened once the window is on the screen; Qt has
    // taken its own options out of argv by now.
    const std::vector<std::string> paths(argv + 1, argv + argc);
    if (!paths.empty())
        QTimer::singleShot(0, Form1, [paths] { Form1->OpenPaths(paths); });
    const int result = QApplication::exec();

    delete Form4;
    Form4 = nullptr;
    delete Form3;
    Form3 = nullptr;
    delete Form2;
    Form2 = nullptr;
    delete Form1; // stores the placement and the options
    Form1 = nullptr;
    return result;
}
