#include "app/MainWindow.h"
#include "dialogs/DataSetupDialog.h"
#include "dialogs/PortSetupDialog.h"

namespace tessek {

void TfrmMain::btnSetupClick(QObject*)
{
    // The dialog edits LogSettings in place and writes the file itself on OK; its result
    // is of no further use, so it is released as soon as it closes.
    TfrmSetup dialog(LogSettings, *SettingsIni, *ParamCatalogue, this);
    dialog.exec();
}

void TfrmMain::btnComSetupClick(QObject*)
{
    if (Busy())
        return;
    ShowSetupDialog(ComPort);
    ComPort.StoreSettings(ssIniFile, SettingsFileName());
}

}  // namespace tessek
