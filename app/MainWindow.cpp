#include "app/MainWindow.h"

#include "app/BuiltinPorts.h"
#include "app/MemoWidget.h"
#include "app/ReportsWindow.h"
#include "dialogs/WidebandDialog.h"
#include "platform/AtomicFile.h"
#include "platform/DateTimeText.h"
#include "platform/ErrorDisplay.h"
#include "platform/ProgramFolder.h"
#include "platform/Text.h"
#include "views/LiveWindow.h"
#include "views/LogViewerWindow.h"
#include "views/WindowPlacement.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

namespace tessek {

TfrmMain::TfrmMain(const std::string& programFolder, TickSource clock, std::shared_ptr<EventPump> pump, QWidget* parent)
    : QWidget(parent),
      Session(programFolder.empty() ? tessek::ProgramFolder() : programFolder, std::move(clock), std::move(pump)),
      Connection(Session.Connection()),
      ComPort(Session.Port()),
      Link(Session.Link()),
      folder_(Session.ProgramFolder()),
      firstStart_(programFolder.empty() && ProgramFolderFirstUse())
{
    RegisterBuiltinPorts();
    CreateControls();
    Session.SetTextArea(Memo);
    Session.SetView(this);
    if (firstStart_)
        Session.SetFirstStartLine(FirstStartLine(folder_));
    live_ = new LiveWindow(Session.Alarms(), this);
    Session.AddRunObserver(live_);
    Session.Alarms().Beep = [] { QApplication::beep(); };
    connect(live_, &LiveWindow::ViewLogRequested, this,
            [this] { RunCommand(live_, [this] { btnViewLogClick(live_); }); });
    // The live window drives the same run as btnLog and btnMark.
    connect(live_, &LiveWindow::LogRequested, this, [this] { RunCommand(live_, [this] { btnLogClick(live_); }); });
    connect(live_, &LiveWindow::MarkRequested, this,
            [this](const QString& text) { RunGuarded([&] { MarkRun(text.toStdString()); }); });
    live_->SetSettingsFile(SettingsFileName());
    live_->OfferWidebandSettings();
    connect(live_, &LiveWindow::WidebandRequested, this,
            [this] { RunGuarded([&] { ShowWidebandDialog(Session, live_); }); });
    ConnectHandlers();
    RunGuarded([this] { FormCreate(this); });
    // After FormCreate's move: the window stays at 10, 10 unless it was moved before or
    // does not fit the screen there.
    WindowPlacement::Attach(this, SettingsFileName(), "Main", size(), QPoint(10, 10));
    WindowPlacement::Attach(live_, SettingsFileName(), "Live", live_->size());
}

TfrmMain::~TfrmMain()
{
    RunGuarded([this] { FormClose(this); });
    // The port outlives this body; nothing it reports from now on may reach the window.
    ComPort.OnAfterOpen = nullptr;
    ComPort.OnRxChar = nullptr;
    ComPort.OnTxEmpty = nullptr;
    ComPort.OnBreak = nullptr;
    ComPort.OnRing = nullptr;
    ComPort.OnCTSChange = nullptr;
    ComPort.OnDSRChange = nullptr;
    ComPort.OnRLSDChange = nullptr;
    ComPort.OnRxFlag = nullptr;
    ComPort.OnError = nullptr;
    ComPort.OnRx80Full = nullptr;
    Connection.OnPortError = nullptr;
    Session.RemoveRunObserver(live_);
    Session.Alarms().Beep = nullptr;
    Session.SetView(nullptr);
    Session.SetTextArea(nullptr);
}

void TfrmMain::CreateControls()
{
    setObjectName("frmMain");
    setWindowTitle("Tessek");
    resize(793, 562);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Memo = new MemoWidget(this);
    Memo->setObjectName("Memo");
    // Tab moves on to the buttons: a tab character in the text would end up in the logs.
    Memo->setTabChangesFocus(true);
    Memo->setMinimumSize(200, 100);
    layout->addWidget(Memo, 1);

    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setFrameShape(QFrame::StyledPanel);
    Panel1->setFixedWidth(103);
    layout->addWidget(Panel1);

    auto* column = new QVBoxLayout(Panel1);
    column->setContentsMargins(6, 8, 6, 8);
    column->setSpacing(6);

    lbstatus = new QLabel("-------------------", Panel1);
    lbstatus->setObjectName("lbstatus");
    column->addWidget(lbstatus);

    const auto button = [&](QPushButton*& target, const char* name, const char* caption) {
        target = new QPushButton(caption, Panel1);
        target->setObjectName(name);
        // Enter presses the focused button, and btnLog when no button has the focus: the
        // keyboard user's way to start and stop a run without reaching for the mouse.
        target->setAutoDefault(true);
        column->addWidget(target);
    };
    button(btnLog, "btnLog", "&Log");
    button(btnSetup, "btnSetup", "&Setup");
    button(btnSave, "btnSave", "&Save");
    button(btnGetAdaptives, "btnGetAdaptives", "Adaptives");
    button(btnCodes, "btnCodes", "Codes");
    button(btnComSetup, "btnComSetup", "Com Setup");
    button(btnChart, "btnChart", "C&hart");
    button(btnViewLog, "btnViewLog", "&View Log");
    button(btnMark, "btnMark", "&Mark");
    button(btnReports, "btnReports", "&Reports");
    button(btnWideband, "btnWideband", "&Wideband...");
    btnLog->setDefault(true);
    // "&Setup" and "&Save" share Alt+S; Save has a shortcut of its own.
    auto* save = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this);
    save->setObjectName("SaveShortcut");
    connect(save, &QShortcut::activated, btnSave, &QPushButton::click);

    cbxDumpAll = new QCheckBox("&Display all RX", Panel1);
    cbxDumpAll->setObjectName("cbxDumpAll");
    cbxDumpAll->setFocusPolicy(Qt::NoFocus);
    cbxDumpAll->setVisible(false);
    column->addWidget(cbxDumpAll);

    rgRate = new QGroupBox("Sample Rate", Panel1);
    rgRate->setObjectName("rgRate");
    rgRateItems = new QButtonGroup(rgRate);
    auto* rateColumn = new QVBoxLayout(rgRate);
    const char* const items[] = {"Too Fast", "Fastest", "Slower", "Slow", "Slowest", "Crawling"};
    for (int i = 0; i < 6; ++i) {
        auto* item = new QRadioButton(items[i], rgRate);
        rgRateItems->addButton(item, i);
        rateColumn->addWidget(item);
    }
    rgRateItems->button(1)->setChecked(true);
    rgRate->setVisible(false);
    column->addWidget(rgRate);
    column->addStretch(1);

    QWidget::setTabOrder(Memo, btnLog);
    QWidget::setTabOrder(btnLog, btnSetup);
    QWidget::setTabOrder(btnSetup, btnSave);
    QWidget::setTabOrder(btnSave, btnGetAdaptives);
    QWidget::setTabOrder(btnGetAdaptives, btnCodes);
    QWidget::setTabOrder(btnCodes, btnComSetup);
    QWidget::setTabOrder(btnComSetup, btnChart);
    QWidget::setTabOrder(btnChart, btnViewLog);
    QWidget::setTabOrder(btnViewLog, btnMark);
    QWidget::setTabOrder(btnMark, btnReports);
    QWidget::setTabOrder(btnReports, btnWideband);
    QWidget::setTabOrder(btnWideband, cbxDumpAll);
    QWidget::setTabOrder(cbxDumpAll, rgRateItems->button(0));

    SaveDialog1 = new QFileDialog(this);
    SaveDialog1->setObjectName("SaveDialog1");
    SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog1->setFileMode(QFileDialog::AnyFile);
    SaveDialog1->setOption(QFileDialog::DontUseNativeDialog);
    SaveDialog1->setSizeGripEnabled(true);
}

void TfrmMain::ConnectHandlers()
{
    // Unguarded: the port's own rule applies to an error in one of these (see the header).
    ComPort.OnAfterOpen = [this](TCustomComPort* s) { ComPortAfterOpen(s); };
    ComPort.OnRxChar = [this](TCustomComPort* s, int32_t n) { ComPortRxChar(s, n); };
    ComPort.OnTxEmpty = [this](TCustomComPort* s) { ComPortTxEmpty(s); };
    ComPort.OnBreak = [this](TCustomComPort* s) { ComPortBreak(s); };
    ComPort.OnRing = [this](TCustomComPort* s) { ComPortRing(s); };
    ComPort.OnCTSChange = [this](TCustomComPort* s, bool on) { ComPortCTSChange(s, on); };
    ComPort.OnDSRChange = [this](TCustomComPort* s, bool on) { ComPortDSRChange(s, on); };
    ComPort.OnRLSDChange = [this](TCustomComPort* s, bool on) { ComPortRLSDChange(s, on); };
    ComPort.OnRxFlag = [this](TCustomComPort* s) { ComPortRxFlag(s); };
    // The connection looks at every error set after this handler (an I/O error: lost).
    Connection.OnPortError = [this](TCustomComPort* s, TComErrors e) { ComPortError(s, e); };
    ComPort.OnRx80Full = [this](TCustomComPort* s) { ComPortRx80Full(s); };

    Link.AfterTxEmpty = [this] {
        if (cbxDumpAll->isChecked())
            Memo->Append(" Tx");
    };

    const auto click = [this](QPushButton* source, void (TfrmMain::*handler)(QObject*)) {
        connect(source, &QPushButton::clicked, this,
                [this, source, handler] { RunCommand(source, [&] { (this->*handler)(source); }); });
    };
    click(btnLog, &TfrmMain::btnLogClick);
    click(btnSetup, &TfrmMain::btnSetupClick);
    click(btnSave, &TfrmMain::btnSaveClick);
    click(btnGetAdaptives, &TfrmMain::btnGetAdaptivesClick);
    click(btnCodes, &TfrmMain::btnCodesClick);
    click(btnComSetup, &TfrmMain::btnComSetupClick);
    click(btnChart, &TfrmMain::btnChartClick);
    click(btnViewLog, &TfrmMain::btnViewLogClick);
    click(btnMark, &TfrmMain::btnMarkClick);
    click(btnReports, &TfrmMain::btnReportsClick);
    click(btnWideband, &TfrmMain::btnWidebandClick);
    connect(rgRateItems, &QButtonGroup::idClicked, this, [this](int id) {
        Session.SetSampleRateIndex(id);
        RunGuarded([&] { rgRateClick(rgRate); });
    });
}

std::string TfrmMain::SettingsFileName() const
{
    return folder_ + kSettingsFileName;
}

void TfrmMain::FormCreate(QObject*)
{
    const std::string settingsProblem = Session.LoadSettings();
    if (settingsProblem.empty())
        ApplySimulatorSettings(*Session.Settings(), ComPort.Port());
    move(10, 10);
    if (settingsProblem.empty())
        Session.OpenPort();
    else
        ShowError(settingsProblem +
                  ". Tessek starts with its default settings and opens no port; the file is left as it is.");

    Memo->Clear();
    Memo->AddLine(folder_);
    Session.ProbeAndShow();
}

bool TfrmMain::PortReadyForCommand()
{
    if (ComPort.Connected())
        return true;
    std::string why;
    if (Connection.Reopen(why))
        return true;
    Memo->AddLine(why);
    return false;
}

void TfrmMain::FormClose(QObject*)
{
    if (closed_)
        return;
    closed_ = true;
    // The port is closed even when the settings file cannot be written; that error is
    // reported afterwards.
    Session.Close();
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    if (commandDepth_ > 0) {
        // Below this event a command is still on the stack, using the port, the settings
        // and the text area: stop it, let it finish (a logging run saves its log), and
        // close when it has returned (RunCommand).
        event->ignore();
        if (!closeRequested_) {
            closeRequested_ = true;
            // A logging run runs until the busy mark is cleared; a report ends by itself
            // within a second or two, and would only wait out its replies without it.
            if (outerCommand_ == btnLog)
                SetBusy(false);
            CloseModalWindows();
        }
        return;
    }
    closeRequested_ = false;
    if (!closed_ && !MayDiscardText()) {
        event->ignore();
        return;
    }
    RunGuarded([this] { FormClose(this); });
    // The windows beside this one go with it.
    live_->close();
    if (viewer_)
        viewer_->close();
    if (reports_)
        reports_->close();
    event->accept();
}

void TfrmMain::RunCommand(QObject* source, const std::function<void()>& handler)
{
    if (closeRequested_)
        return;  // the window is closing: nothing new starts
    if (commandDepth_ == 0)
        outerCommand_ = source;
    ++commandDepth_;
    RunGuarded([&] {
        try {
            handler();
        } catch (const ConnectionLost&) {
            // Said once, in the text area, when the device went away.
        }
    });
    --commandDepth_;
    if (commandDepth_ == 0 && closeRequested_)
        close();
}

void TfrmMain::CloseModalWindows()
{
    // Each one's own event loop ends; the command that opened it then goes on and returns.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window != this && window->isVisible() && window->isModal())
            window->close();
    }
}

bool TfrmMain::MayDiscardText()
{
    if (!Session.RunState().Unsaved)
        return true;
    QMessageBox box(QMessageBox::Warning, "Tessek",
                    "The last log could not be saved to its file and is only in the text area.\n"
                    "Discard it? (Cancel keeps it; Save can write it to another file.)",
                    QMessageBox::Discard | QMessageBox::Cancel, this);
    box.setObjectName("DiscardLogBox");
    box.setDefaultButton(QMessageBox::Cancel);
    if (box.exec() != QMessageBox::Discard)
        return false;
    Session.RunState().Unsaved = false;
    return true;
}

void TfrmMain::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        btnLog->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TfrmMain::ShowBusy(bool flag)
{
    btnSetup->setEnabled(!flag);
    btnSave->setEnabled(!flag);
    btnGetAdaptives->setEnabled(!flag);
    btnComSetup->setEnabled(!flag);
}

void TfrmMain::ComPortAfterOpen(TCustomComPort*)
{
    Memo->AddLine("Com Port Open at " + std::to_string(ComPort.CustomBaudRate()) + " baud");
}

void TfrmMain::ComPortRxChar(TCustomComPort* Sender, int32_t Count)
{
    Link.ComPortRxChar(Sender, Count);
}

void TfrmMain::ComPortTxEmpty(TCustomComPort* Sender)
{
    Link.ComPortTxEmpty(Sender);
}

void TfrmMain::ComPortError(TCustomComPort*, TComErrors Errors)
{
    // The whole set is compared: a set of several flags other than 5D says nothing.
    struct Row {
        TComErrors set;
        const char* line;
        bool closes;
    };
    static constexpr Row kRows[] = {
        {0x01, "Frame Error", false},
        {0x04, "Overrun Error", false},
        {0x02, "Rx Parity Error", false},
        {0x08, "Break Error, closing connection", true},
        {0x10, "IO Error", false},
        {0x20, "Mode Error", false},
        {0x40, "Rx Over Error", false},
        {0x80, "Tx Full Error", false},
        {0x5D, "Closing connection due to com error.", true},
    };
    for (const Row& row : kRows) {
        if (Errors != row.set)
            continue;
        Memo->AddLine(row.line);
        if (row.closes) {
            ComPort.PurgeBuffers(true, true);
            ComPort.Close();
        }
        return;
    }
}

void TfrmMain::ComPortBreak(TCustomComPort*)
{
    Memo->AddLine("Break Event:  Closing Com Port");
    ComPort.Close();
}

void TfrmMain::ComPortCTSChange(TCustomComPort*, bool)
{
    Memo->AddLine("CTS Change Event");
}

void TfrmMain::ComPortDSRChange(TCustomComPort*, bool)
{
    Memo->AddLine("DSR Change Event");
}

void TfrmMain::ComPortRing(TCustomComPort*)
{
    Memo->AddLine("LOL Ring Event!! wtf?");
}

void TfrmMain::ComPortRLSDChange(TCustomComPort*, bool)
{
    Memo->AddLine("RLSD Change Event");
}

void TfrmMain::ComPortRx80Full(TCustomComPort*)
{
    Memo->AddLine("Rx 80% Full Event");
}

void TfrmMain::ComPortRxFlag(TCustomComPort*)
{
}

void TfrmMain::rgRateClick(QObject*)
{
}

void TfrmMain::btnSaveClick(QObject*)
{
    if (Busy())
        return;
    SaveDialog1->setNameFilter("Text (*.txt)");
    SaveDialog1->setDirectory(QDir::currentPath());
    if (SaveDialog1->exec() != QDialog::Accepted)
        return;
    const QStringList files = SaveDialog1->selectedFiles();
    if (files.isEmpty())
        return;
    Memo->SaveToFile(files.first().toLocal8Bit().toStdString());
    Session.RunState().Unsaved = false;
}

void TfrmMain::ShowStatus(const std::string& text)
{
    lbstatus->setText(QString::fromStdString(text));
}

void TfrmMain::ConnectionWentAway()
{
    live_->ShowConnectionLost(true);
}

void TfrmMain::ConnectionCameBack()
{
    live_->ShowConnectionLost(false);
}

void TfrmMain::ResumeDue()
{
    // From the event loop, as a press of Log would come: the run is a command like any other.
    QTimer::singleShot(0, this, [this] {
        if (Session.ResumeWanted() && !Busy())
            RunCommand(btnLog, [this] {
                if (PortReadyForCommand())
                    Session.ResumeRun();
            });
    });
}

}  // namespace tessek
