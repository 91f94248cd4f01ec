#include "dialogs/PortSetupDialog.h"

#include "dialogs/DialogScale.h"
#include "platform/Catalog.h"
#include "serial/ComPort.h"
#include "serial/SerialDevice.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

#include <memory>

namespace tessek {

TComSetupFrm::TComSetupFrm(QWidget* owner) : QDialog(owner)
{
    setObjectName("ComSetupFrm");
    setWindowTitle("Setup");
    const auto scaled = [this](int width) { return ScaledWidth(*this, width); };

    GroupBox1 = new QGroupBox(" Settings ", this);
    GroupBox1->setObjectName("GroupBox1");
    auto* rowsLayout = new QFormLayout(GroupBox1);
    rowsLayout->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    struct Row {
        QLabel*& label;
        TComComboBox*& combo;
        const char* caption;
        TComProperty property;
    };
    const Row rows[6] = {{Label1, Combo1, "Port", cpPort},          {Label2, Combo2, "Baud rate", cpBaudRate},
                         {Label3, Combo3, "Data bits", cpDataBits}, {Label4, Combo4, "Stop bits", cpStopBits},
                         {Label5, Combo5, "Parity", cpParity},      {Label6, Combo6, "Flow control", cpFlowControl}};
    for (int i = 0; i < 6; ++i) {
        const Row& row = rows[i];
        row.label = new QLabel(row.caption, GroupBox1);
        row.label->setObjectName(QString("Label%1").arg(i + 1));
        row.combo = new TComComboBox(GroupBox1);
        row.combo->setObjectName(QString("Combo%1").arg(i + 1));
        row.combo->setMinimumWidth(scaled(129));
        row.combo->SetComProperty(row.property);
        row.label->setBuddy(row.combo);
        rowsLayout->addRow(row.label, row.combo);
    }
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);

    lbPortProblem = new QLabel(this);
    lbPortProblem->setObjectName("lbPortProblem");
    lbPortProblem->setWordWrap(true);
    lbPortProblem->setVisible(false);

    Button1 = new QPushButton("OK", this);
    Button1->setObjectName("Button1");
    Button1->setMinimumWidth(scaled(75));
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

    Button2 = new QPushButton("Cancel", this);
    Button2->setObjectName("Button2");
    Button2->setMinimumWidth(scaled(75));
    Button2->setAutoDefault(false);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);

    auto* whole = new QVBoxLayout(this);
    whole->setContentsMargins(8, 8, 8, 8);
    whole->addWidget(GroupBox1);
    whole->addWidget(lbPortProblem);
    whole->addLayout(buttons);

    setTabOrder(Combo1, Combo2);
    setTabOrder(Combo2, Combo3);
    setTabOrder(Combo3, Combo4);
    setTabOrder(Combo4, Combo5);
    setTabOrder(Combo5, Combo6);
    setTabOrder(Combo6, Button1);
    setTabOrder(Button1, Button2);

    FormCreate();

    setFixedSize(sizeHint().expandedTo(QSize(231, 216)));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TComSetupFrm::FormCreate()
{
    auto translate = [](const QString& text) { return QString::fromStdString(CportText(text.toStdString().c_str())); };
    setWindowTitle(translate(windowTitle()));
    GroupBox1->setTitle(translate(GroupBox1->title()));
    for (QLabel* label : {Label1, Label2, Label3, Label4, Label5, Label6})
        label->setText(translate(label->text()));
    for (QPushButton* button : {Button1, Button2})
        button->setText(translate(button->text()));
}

std::string TComSetupFrm::PortNameEntered() const
{
    const QString shown = Combo1->currentText();
    const int index = Combo1->findText(shown);
    if (index >= 0)
        return Combo1->itemData(index).toString().toStdString();
    return shown.trimmed().toStdString();
}

void TComSetupFrm::accept()
{
    const std::string name = PortNameEntered();
    const TCustomComPort* port = Combo1->ComPort();
    if (!port || name != port->Port()) {
        const std::string problem = PortNameProblem(name);
        if (!problem.empty()) {
            lbPortProblem->setText(QString::fromStdString(problem));
            lbPortProblem->setVisible(true);
            return;
        }
    }
    Combo1->Select().SelectionChanged(name);
    QDialog::accept();
}

bool ShowSetupDialog(TCustomComPort& port)
{
    auto dialog = std::make_unique<TComSetupFrm>();
    for (TComComboBox* combo : dialog->Combos())
        combo->SetComPort(&port);
    for (TComComboBox* combo : dialog->Combos())
        combo->RefreshSelection();
    if (dialog->exec() != QDialog::Accepted)
        return false;
    port.BeginUpdate();
    try {
        for (TComComboBox* combo : dialog->Combos())
            combo->ApplySelection();
    } catch (...) {
        port.EndUpdate();
        throw;
    }
    port.EndUpdate();
    return true;
}

}  // namespace tessek
