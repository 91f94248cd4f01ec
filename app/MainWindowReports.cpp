#include "app/MainWindow.h"

namespace tessek {

void TfrmMain::btnCodesClick(QObject*)
{
}

void TfrmMain::btnGetAdaptivesClick(QObject*)
{
}

}  // namespace tessek
