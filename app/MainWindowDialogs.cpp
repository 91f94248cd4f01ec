#include "app/MainWindow.h"
#include "app/MemoWidget.h"
#include "dialogs/DataSetupDialog.h"
#include "dialogs/PortSetupDialog.h"
#include "dialogs/WidebandDialog.h"
#include "lm/LmLink.h"

namespace tessek {

void TfrmMain::btnSetupClick(QObject*)
{
    // The dialog edits LogSettings in place and writes the file itself on OK; its result
    // is of no further use, so it is released as soon as it closes.
    TfrmSetup dialog(Session.LogSettings(), *Session.Settings(), *Session.ParamCatalogue(), this);
    dialog.exec();
}

void TfrmMain::btnWidebandClick(QObject*)
{
    // The wideband has a port of its own: it may be set up while the LM logs; a run takes
    // the new settings from its next start.
    ShowWidebandDialog(Session, this);
}

void TfrmMain::btnComSetupClick(QObject*)
{
    if (Busy())
        return;
    // A port chosen or confirmed here starts afresh, as at start-up: at the low rate (a
    // run leaves it at the high one, which a new device would never understand), so that
    // is also what the dialog shows and stores.
    if (ComPort.BaudRate() == brCustom)
        ComPort.SetCustomBaudRate(kLowBaud);
    const bool accepted = ShowSetupDialog(ComPort);
    ComPort.StoreSettings(ssIniFile, SettingsFileName());
    if (!accepted)
        return;
    // OK on a port that is closed (a break, a failed open, a device that went away) opens
    // it again, also under the same name: a user's way to say "try again now". Either way
    // the start-up check says whether the LM is there.
    std::string why;
    if (!Connection.Reopen(why))
        Memo->AddLine(why);
    else
        Session.ProbeAndShow();
}

}  // namespace tessek
