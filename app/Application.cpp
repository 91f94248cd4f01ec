#include "app/Application.h"

#include "platform/ErrorDisplay.h"

#include <QMessageBox>

namespace tessek {

void ShowErrorMessageBox(const std::string& message)
{
    QMessageBox box(QMessageBox::Critical, "Tessek", QString::fromStdString(message), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setObjectName("ErrorMessageBox");
    box.exec();
}

void InstallMessageBoxErrorDisplay()
{
    SetErrorDisplay(&ShowErrorMessageBox);
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName("Tessek");
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowError(ErrorMessage(std::current_exception()));
        return false;
    }
}

}  // namespace tessek
