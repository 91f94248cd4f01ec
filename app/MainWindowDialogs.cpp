#include "app/MainWindow.h"

namespace tessek {

void TfrmMain::btnSetupClick(QObject*)
{
}

void TfrmMain::btnComSetupClick(QObject*)
{
    if (Busy())
        return;
    ComPort.StoreSettings(ssIniFile, SettingsFileName());
}

}  // namespace tessek
