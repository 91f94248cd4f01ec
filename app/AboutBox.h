#pragma once
// The About box: the program's name, version, purpose and licence. The main window opens
// it on F1 and from its context menu (a right click on the window's background). Window
// thread only.
#include <QString>

class QWidget;

namespace tessek {

// The box's text (rich text).
QString AboutText();

// Gives `window` the action "About Tessek" (F1, and the window's context menu), which
// shows AboutText in a modal box.
void AddAboutAction(QWidget& window);

}  // namespace tessek
