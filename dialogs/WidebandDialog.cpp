#include "dialogs/WidebandDialog.h"

#include "dialogs/DialogScale.h"
#include "platform/IniFile.h"
#include "platform/Tick.h"
#include "serial/SerialDevice.h"
#include "session/LoggingSession.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <exception>
#include <memory>

namespace tessek {

namespace {

constexpr WidebandProtocol kProtocols[] = {WidebandProtocol::Mts, WidebandProtocol::Aem, WidebandProtocol::Text};
const char* const kProtocolCaptions[] = {"Innovate MTS (19200 baud)", "AEM UEGO (9600 baud)",
                                         "Text, one number a line"};

}  // namespace

WidebandDialog::WidebandDialog(LoggingSession& session, QWidget* owner) : QDialog(owner), session_(session)
{
    setObjectName("WidebandDialog");
    setWindowTitle("Wideband");
    const WidebandSettings current = session.Wideband().Settings();

    cbPort = new QComboBox(this);
    cbPort->setObjectName("cbPort");
    cbPort->setEditable(true);
    cbPort->setInsertPolicy(QComboBox::NoInsert);
    cbPort->setMinimumWidth(ScaledWidth(*this, 260));
    cbPort->addItem("(none)", QString());
    for (const SerialPortInfo& port : ListSerialPortInfos())
        cbPort->addItem(QString::fromStdString(port.Description), QString::fromStdString(port.Name));
    int shown = cbPort->findData(QString::fromStdString(current.Port));
    if (shown < 0) {
        const std::string text = PortPresent(current.Port) ? current.Port : current.Port + " (not present)";
        cbPort->addItem(QString::fromStdString(text), QString::fromStdString(current.Port));
        shown = cbPort->count() - 1;
    }
    cbPort->setCurrentIndex(shown);

    cbProtocol = new QComboBox(this);
    cbProtocol->setObjectName("cbProtocol");
    for (size_t i = 0; i < std::size(kProtocols); ++i) {
        cbProtocol->addItem(kProtocolCaptions[i], static_cast<int>(kProtocols[i]));
        if (kProtocols[i] == current.Protocol)
            cbProtocol->setCurrentIndex(static_cast<int>(i));
    }

    edStoich = new QDoubleSpinBox(this);
    edStoich->setObjectName("edStoich");
    edStoich->setRange(WidebandSettings::kMinStoich, WidebandSettings::kMaxStoich);
    edStoich->setDecimals(2);
    edStoich->setSingleStep(0.1);
    edStoich->setValue(current.Stoich);

    edBaud = new QSpinBox(this);
    edBaud->setObjectName("edBaud");
    edBaud->setRange(WidebandSettings::kMinBaud, WidebandSettings::kMaxBaud);
    edBaud->setValue(current.Baud);
    const auto textOnly = [this] {
        edBaud->setEnabled(static_cast<WidebandProtocol>(cbProtocol->currentData().toInt()) == WidebandProtocol::Text);
    };
    textOnly();
    connect(cbProtocol, &QComboBox::currentIndexChanged, this, textOnly);

    lbStatus = new QLabel(this);
    lbStatus->setObjectName("lbStatus");
    lbProblem = new QLabel(this);
    lbProblem->setObjectName("lbProblem");
    lbProblem->setWordWrap(true);
    lbProblem->setVisible(false);

    auto* form = new QFormLayout;
    const auto row = [&](const char* caption, QWidget* field) {
        auto* label = new QLabel(caption, this);
        label->setBuddy(field);
        form->addRow(label, field);
    };
    row("&Port", cbPort);
    row("P&rotocol", cbProtocol);
    row("&Stoichiometric AFR", edStoich);
    row("&Baud (text)", edBaud);
    row("Now", lbStatus);

    btnOk = new QPushButton("OK", this);
    btnOk->setObjectName("btnOk");
    btnOk->setDefault(true);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    btnApply = new QPushButton("&Apply", this);
    btnApply->setObjectName("btnApply");
    btnApply->setAutoDefault(false);
    connect(btnApply, &QPushButton::clicked, this, [this] { Apply(); });
    btnCancel = new QPushButton("Cancel", this);
    btnCancel->setObjectName("btnCancel");
    btnCancel->setAutoDefault(false);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton* button : {btnOk, btnApply, btnCancel})
        buttons->addWidget(button);

    auto* whole = new QVBoxLayout(this);
    whole->addLayout(form);
    whole->addWidget(lbProblem);
    whole->addLayout(buttons);

    ShowStatus();
    connect(&refresh_, &QTimer::timeout, this, [this] { ShowStatus(); });
    refresh_.start(500);
}

WidebandSettings WidebandDialog::Entered() const
{
    WidebandSettings settings;
    const QString typed = cbPort->currentText();
    const int index = cbPort->findText(typed);
    settings.Port = (index >= 0 ? cbPort->itemData(index).toString() : typed.trimmed()).toStdString();
    settings.Protocol = static_cast<WidebandProtocol>(cbProtocol->currentData().toInt());
    settings.Stoich = edStoich->value();
    settings.Baud = edBaud->value();
    return settings;
}

bool WidebandDialog::Apply()
{
    const auto say = [this](const std::string& problem) {
        lbProblem->setText(QString::fromStdString(problem));
        lbProblem->setVisible(!problem.empty());
    };
    const WidebandSettings settings = Entered();
    if (settings.Enabled() && settings.Port != session_.Wideband().Settings().Port) {
        const std::string problem = PortNameProblem(settings.Port);
        if (!problem.empty()) {
            say(problem);
            return false;
        }
    }
    IniFile* ini = session_.Settings();
    if (!ini) {
        say("The settings file could not be read; nothing is stored.");
        return false;
    }
    try {
        settings.Store(*ini);
    } catch (const std::exception& e) {
        say(e.what());
        return false;
    }
    std::string why;
    session_.StartWideband(settings, why);
    say(why);
    ShowStatus();
    return true;
}

void WidebandDialog::accept()
{
    if (Apply())
        QDialog::accept();
}

void WidebandDialog::ShowStatus()
{
    lbStatus->setText(QString::fromStdString(session_.Wideband().StatusText(GetTickCount())));
}

bool ShowWidebandDialog(LoggingSession& session, QWidget* owner)
{
    auto dialog = std::make_unique<WidebandDialog>(session, owner);
    return dialog->exec() == QDialog::Accepted;
}

}  // namespace tessek
