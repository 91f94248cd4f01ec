#pragma once
// The main window, TfrmMain: the program's one permanent window. It holds the logging
// session (session/LoggingSession.h: the connection with the serial port ComPort and the
// LM link, the settings file, the catalogue, the logging settings, the run and its state)
// and only displays and forwards. Its text area Memo shows the session's text: every
// message, log line and report; its buttons start the long commands (Log, Codes,
// Adaptives) and open the two dialogs; the buttons below Com Setup open windows of their
// own beside it (the live chart, the log viewer).
//
// Everything runs on the window thread. Every button handler runs as a command through
// RunCommand, so an error (EComPort among them) ends that command only and reaches the
// application's error display. The port's handlers are not guarded here: an error in one
// ends the port's event delivery until the port is reopened and is shown once, by the
// port itself (a failing handler never raises a message per received byte).
//
// The constructor runs FormCreate, which opens the port named in the program folder's
// "Tessek.ini" and listens 300 ms for the LM. A settings file that exists but cannot be
// read is reported once; the window then starts with the default settings, opens no port
// (the one it names is unknown) and never writes the file. Closing the window runs
// FormClose, but never under a running command: a close that comes while one is on the
// stack (inside its waits or a modal dialog) stops a logging run (clears the busy mark),
// closes the modal windows and waits until the command has returned, so a logging run
// ends and saves its log first and a report finishes.
//
// A device that goes away (see lm/LmConnection.h) sets the label to "Not Connected" and
// adds one line; a running command ends as on a port error, without an error box, and
// Tessek Live shows the loss. When the device is back the label and the text area say
// what they say at start-up, and a run the loss ended starts again into new files, with
// a line that says so. Log, Codes and Adaptives try to reopen a closed port once; Com
// Setup's OK reopens it.
#include "lm/LmConnection.h"
#include "lm/LmLink.h"
#include "serial/ComPort.h"
#include "session/LoggingSession.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

class QButtonGroup;
class QCheckBox;
class QFileDialog;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;

namespace tessek {

class LiveWindow;
class LogViewerWindow;
class MemoWidget;
class ReportsWindow;

class TfrmMain : public QWidget, private SessionView {
    Q_OBJECT
public:
    // `programFolder`: where "Tessek.ini" and the automatic logs live (with or without
    // the trailing "/"); empty means ProgramFolder(). Tests give every window a private one.
    // `clock` and `pump` go to the link (defaults: the tick counter and the Qt event loop).
    explicit TfrmMain(const std::string& programFolder = {}, TickSource clock = {},
                      std::shared_ptr<EventPump> pump = {}, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // --- controls ---------------------------------------------------------------------
    MemoWidget* Memo;
    QFrame* Panel1;
    QLabel* lbstatus;
    QPushButton* btnLog;
    QPushButton* btnSetup;
    QPushButton* btnSave;
    QPushButton* btnGetAdaptives;
    QPushButton* btnCodes;
    QPushButton* btnComSetup;
    QPushButton* btnChart;     // shows the live chart "Tessek Live"
    QPushButton* btnViewLog;   // opens the log viewer on the latest data log
    QPushButton* btnMark;      // marks the moment in the running log's data logs
    QPushButton* btnReports;   // shows the Reports window (fault code list, adaptives grid)
    QPushButton* btnWideband;  // the wideband controller's settings and state
    QCheckBox* cbxDumpAll;
    QGroupBox* rgRate;
    QButtonGroup* rgRateItems;  // the six "Sample Rate" items, ids 0 to 5
    QFileDialog* SaveDialog1;

    // --- state ----------------------------------------------------------------------------
    // The connection, the settings file and the logging settings, the catalogue, the run
    // and its state, the data logs and the alarms.
    LoggingSession Session;
    LmConnection& Connection;  // the port and the link, kept across a lost device
    TComPort& ComPort;         // Connection's port
    LmLink& Link;              // RxRing, its positions and counters, the waits and the LM exchanges

    // --- handlers -----------------------------------------------------------------------
    void FormCreate(QObject* Sender);
    void FormClose(QObject* Sender);
    void btnLogClick(QObject* Sender);
    void btnCodesClick(QObject* Sender);
    void btnGetAdaptivesClick(QObject* Sender);
    void btnSetupClick(QObject* Sender);
    void btnComSetupClick(QObject* Sender);
    void btnSaveClick(QObject* Sender);
    void rgRateClick(QObject* Sender);
    void btnChartClick(QObject* Sender);
    void btnViewLogClick(QObject* Sender);
    void btnMarkClick(QObject* Sender);
    // Sets a marker with `text` in the running log (the Mark buttons say "Manual", an
    // alarm its own text); does nothing when no run is logging.
    void MarkRun(const std::string& text);
    void btnReportsClick(QObject* Sender);
    void btnWidebandClick(QObject* Sender);

    void ComPortAfterOpen(TCustomComPort* Sender);
    void ComPortRxChar(TCustomComPort* Sender, int32_t Count);
    void ComPortTxEmpty(TCustomComPort* Sender);
    void ComPortError(TCustomComPort* Sender, TComErrors Errors);
    void ComPortBreak(TCustomComPort* Sender);
    void ComPortCTSChange(TCustomComPort* Sender, bool OnOff);
    void ComPortDSRChange(TCustomComPort* Sender, bool OnOff);
    void ComPortRing(TCustomComPort* Sender);
    void ComPortRLSDChange(TCustomComPort* Sender, bool OnOff);
    void ComPortRx80Full(TCustomComPort* Sender);
    void ComPortRxFlag(TCustomComPort* Sender);

    // "Tessek.ini" in the program folder.
    std::string SettingsFileName() const;

    // --- the session's output, as the commands see it ------------------------------------
    bool Busy() const { return Session.Busy(); }
    void SetBusy(bool flag) { Session.SetBusy(flag); }
    void MemoClear() { Session.MemoClear(); }
    void MemoAddLine(const std::string& line) { Session.MemoAddLine(line); }
    std::string MemoText() const { return Session.MemoText(); }
    void SetStatus(const std::string& text) { Session.SetStatus(text); }
    std::string ProgramFolder() const { return folder_; }

private:
    // --- SessionView ----------------------------------------------------------------------
    void ShowBusy(bool busy) override;
    void ShowStatus(const std::string& text) override;
    void ConnectionWentAway() override;
    void ConnectionCameBack() override;
    void ResumeDue() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CreateControls();
    void ConnectHandlers();
    // Log, Codes and Adaptives on a closed port: one try to open it; when that fails, one
    // line says why and false is returned.
    bool PortReadyForCommand();
    // Runs a button's handler as a command: errors go to the error display, and a close
    // that came during it is carried out when the outermost command has returned.
    void RunCommand(QObject* source, const std::function<void()>& handler);
    // True when the text area may be cleared: nothing unsaved in it, or the user chose to
    // discard it.
    bool MayDiscardText();
    void CloseModalWindows();
    ReportsWindow& Reports();  // created when first needed
    void ShowReports(bool activate);

    std::string folder_;
    bool firstStart_ = false;            // folder_ is the per-user folder, new to this user
    LiveWindow* live_ = nullptr;         // windows of their own, owned by this one; the live
    LogViewerWindow* viewer_ = nullptr;  // chart hears of every run, shown or not
    std::string viewerFile_;             // what the viewer was last opened on
    ReportsWindow* reports_ = nullptr;   // the readings of this session's reports
    bool closed_ = false;
    int commandDepth_ = 0;             // commands on the stack
    QObject* outerCommand_ = nullptr;  // the button of the outermost one
    bool closeRequested_ = false;      // a close waits for them to return
};

}  // namespace tessek
