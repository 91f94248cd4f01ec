#pragma once
// The application object and its error display: an error that escapes a handler is
// shown in a message box (title "Tessek", the error's message as text) and the program
// goes on. Window thread only.
#include <QApplication>
#include <string>

namespace tessek {

// Shows `message` in a modal message box.
void ShowErrorMessageBox(const std::string& message);

// Makes ShowErrorMessageBox the application's error display.
void InstallMessageBoxErrorDisplay();

class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    // The last line of defence: an exception that escapes an event handler which did not
    // guard itself goes to the error display instead of ending the program.
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace tessek
