#include "dialogs/ufrmSetup.h"

#include "link/LmLink.h"
#include "logging/LogSettings.h"
#include "logging/ParamCatalogue.h"
#include "platform/ErrorDisplay.h"
#include "platform/IniFile.h"
#include "platform/TextNumbers.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QValidator>

namespace tessek {

namespace {

// Turns typed letters to upper case; accepts everything else as typed.
class TUpperCaseValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        input = input.toUpper();
        return Acceptable;
    }
};

struct TRowPlace {
    int labelTop, editTop, comboTop;
};
constexpr TRowPlace kRowPlaces[9] = {{0, 0, 0},       {28, 24, 24},    {52, 48, 48},    {76, 72, 72},   {101, 96, 97},
                                     {125, 121, 121}, {150, 145, 146}, {174, 169, 170}, {199, 195, 195}};

const char* const kMapTypeCaptions[kMapTypeCount] = {"2 Bar (stock)", "3 Bar ", "1 Bar", "2.5 Bar (your speical)"};

// The catalogue name of a whole line: the text before the first "=".
QString NameOfLine(const QString& line)
{
    const qsizetype eq = line.indexOf(u'=');
    return eq < 0 ? line : line.left(eq);
}

}  // namespace

TfrmSetup::TfrmSetup(TLogSettings& settings, TIniFile& ini, const TParamCatalogue& catalogue, QWidget* owner)
    : QDialog(owner), settings_(settings), ini_(ini), catalogue_(catalogue)
{
    BuildControls();
    FormCreate();
}

void TfrmSetup::BuildControls()
{
    setObjectName("frmSetup");
    setWindowTitle("Data Setup");
    setGeometry(218, 249, 413, 292);

    for (int i = 1; i <= 8; ++i) {
        const TRowPlace& place = kRowPlaces[i];
        Label[i] = new QLabel(QString("Addr %1").arg(i), this);
        Label[i]->setObjectName(QString("Label%1").arg(i));
        Label[i]->setGeometry(8, place.labelTop, 31, 13);

        Edit[i] = new QLineEdit(this);
        Edit[i]->setObjectName(QString("Edit%1").arg(i));
        Edit[i]->setGeometry(46, place.editTop, 30, 21);
        Edit[i]->setMaxLength(2);
        Edit[i]->setValidator(new TUpperCaseValidator(Edit[i]));
        connect(Edit[i], &QLineEdit::textChanged, this, [this, i] { EditChange(i); });

        ComboBox[i] = new QComboBox(this);
        ComboBox[i]->setObjectName(QString("ComboBox%1").arg(i));
        ComboBox[i]->setGeometry(81, place.comboTop, 170, 21);
        ComboBox[i]->setEditable(true);
        // Typed text only fills the edit: it is never added to the list or completed.
        ComboBox[i]->setInsertPolicy(QComboBox::NoInsert);
        ComboBox[i]->setCompleter(nullptr);
        ComboBox[i]->setFocusPolicy(Qt::ClickFocus);
        connect(ComboBox[i], &QComboBox::currentTextChanged, this, [this, i] {
            if (!selectingInCode_)
                ComboBoxChange(i);
        });
    }

    btnOK = new QPushButton("&OK", this);
    btnOK->setObjectName("btnOK");
    btnOK->setGeometry(96, 224, 75, 25);
    btnOK->setAutoDefault(false);
    // The dialog closes with OK even when storing fails; the failure goes to the display.
    connect(btnOK, &QPushButton::clicked, this, [this] {
        RunGuarded([this] { btnOKClick(); });
        accept();
    });

    rgMapType = new QGroupBox("Map Sensor Type", this);
    rgMapType->setObjectName("rgMapType");
    rgMapType->setGeometry(256, 24, 137, 81);
    rgMapTypeItems = new QButtonGroup(rgMapType);
    for (int index = 0; index < kMapTypeCount; ++index) {
        auto* item = new QRadioButton(kMapTypeCaptions[index], rgMapType);
        item->setObjectName(QString("rgMapTypeItem%1").arg(index));
        item->setGeometry(8, 15 + 15 * index, 125, 15);
        rgMapTypeItems->addButton(item, index);
    }

    Performance = new QGroupBox("Performance", this);
    Performance->setObjectName("Performance");
    Performance->setGeometry(256, 108, 137, 125);

    cbxPerformance = new QCheckBox("Measure Accleration", Performance);
    cbxPerformance->setObjectName("cbxPerformance");
    cbxPerformance->setGeometry(8, 16, 121, 17);
    // A checked state set in code counts as a click too, exactly like one by the user.
    connect(cbxPerformance, &QCheckBox::toggled, this, [this] { cbxPerformanceClick(); });

    stupidtext = new QPlainTextEdit(Performance);
    stupidtext->setObjectName("stupidtext");
    stupidtext->setGeometry(5, 37, 127, 52);
    stupidtext->setFrameShape(QFrame::NoFrame);
    stupidtext->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    stupidtext->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    stupidtext->setTabChangesFocus(true);
    QPalette background = stupidtext->palette();
    background.setColor(QPalette::Base, palette().color(QPalette::Window));
    stupidtext->setPalette(background);
    stupidtext->setPlainText(
        "  * Note: By checking this \n"
        "Addr 1 and 2 will be \n"
        "overwritten with MPH and \n"
        "RPM.");

    Label9 = new QLabel("Car Weight", Performance);
    Label9->setObjectName("Label9");
    Label9->setGeometry(13, 95, 55, 13);

    eWeight = new QLineEdit(Performance);
    eWeight->setObjectName("eWeight");
    eWeight->setGeometry(71, 92, 50, 21);

    QWidget* previous = btnOK;
    auto chain = [&previous](QWidget* next) {
        setTabOrder(previous, next);
        previous = next;
    };
    for (int i = 1; i <= 8; ++i)
        chain(Edit[i]);
    for (QAbstractButton* item : rgMapTypeItems->buttons())
        chain(item);
    chain(cbxPerformance);
    chain(stupidtext);
    chain(eWeight);
}

int TfrmSetup::MapTypeIndex() const
{
    return rgMapTypeItems->checkedId();
}

void TfrmSetup::SelectComboEntry(int row, int index)
{
    selectingInCode_ = true;
    ComboBox[row]->setCurrentIndex(index);
    selectingInCode_ = false;
}

void TfrmSetup::FormCreate()
{
    for (int i = 1; i <= 8; ++i) {
        const std::string hex = ByteToHex(settings_.LogAddrs[i]);
        ComboBox[i]->clear();
        int match = -1;
        for (const std::string& line : catalogue_.Lines()) {
            const QString item = QString::fromStdString(line);
            if (match < 0 && NameOfLine(item).compare("$" + QString::fromStdString(hex), Qt::CaseInsensitive) == 0)
                match = ComboBox[i]->count();
            selectingInCode_ = true;
            ComboBox[i]->addItem(item);
            selectingInCode_ = false;
        }
        SelectComboEntry(i, match);
        Edit[i]->setText(QString::fromStdString(hex));
    }

    if (QAbstractButton* item = rgMapTypeItems->button(MapTypeForFactor(settings_.MapFunction)))
        item->setChecked(true);

    cbxPerformance->setChecked(settings_.Performance);

    eWeight->setText(QString::number(settings_.CarWeight));
}

void TfrmSetup::EditChange(int row)
{
    const QString name = "$" + Edit[row]->text();
    for (int index = 0; index < ComboBox[row]->count(); ++index) {
        if (NameOfLine(ComboBox[row]->itemText(index)).compare(name, Qt::CaseInsensitive) == 0) {
            SelectComboEntry(row, index);
            return;
        }
    }
}

void TfrmSetup::ComboBoxChange(int row)
{
    Edit[row]->setText(ComboBox[row]->currentText().mid(1, 2));
}

void TfrmSetup::cbxPerformanceClick()
{
    settings_.SetPerformance(cbxPerformance->isChecked());
    if (cbxPerformance->isChecked()) {
        Edit[1]->setText("69");
        Edit[2]->setText("8F");
    }
}

void TfrmSetup::btnOKClick()
{
    const int32_t weight = ParseInteger(eWeight->text().trimmed().toStdString()).value_or(0);
    if (weight == 0) {
        QMessageBox::information(this, QApplication::applicationDisplayName(), "Please enter a valid integer!",
                                 QMessageBox::Ok);
        return;
    }
    for (int i = 1; i <= 8; ++i)
        settings_.LogAddrs[i] = HexToByte(Edit[i]->text().toStdString());
    for (int i = 1; i <= 8; ++i)
        ini_.WriteString("CurrentSet", std::to_string(i), ByteToHex(settings_.LogAddrs[i]));
    settings_.MapFunction = MapFactorForType(MapTypeIndex());
    ini_.WriteFloat("CurrentSet", "MapFunction", settings_.MapFunction);
    ini_.WriteBool("CurrentSet", "Performance", settings_.Performance);
    settings_.CarWeight = weight;
    ini_.WriteInteger("CurrentSet", "CarWeight", settings_.CarWeight);
}

}  // namespace tessek
