#include "app/MainWindow.h"

namespace tessek {

void TfrmMain::btnLogClick(QObject*) {}

}  // namespace tessek
