// Program start: the application, its error display and the main window, whose creation
// opens the port and probes the LM; the message loop runs until the window is closed.
#include "app/Application.h"
#include "app/MainWindow.h"

int main(int argc, char** argv)
{
    tessek::Application app(argc, argv);
    tessek::InstallMessageBoxErrorDisplay();
    tessek::TfrmMain window;
    window.show();
    return app.exec();
}
