#include "dialogs/DataSetupDialog.h"

#include "dialogs/DialogScale.h"
#include "logging/LogSettings.h"
#include "logging/ParamCatalogue.h"
#include "platform/ErrorDisplay.h"
#include "platform/Hex.h"
#include "platform/IniFile.h"
#include "platform/TextNumbers.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextDocument>
#include <QVBoxLayout>
#include <QValidator>

#include <algorithm>

namespace tessek {

namespace {

// Turns typed letters to upper case; accepts everything else as typed.
class UpperCaseValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        input = input.toUpper();
        return Acceptable;
    }
};

const char* const kMapTypeCaptions[kMapTypeCount] = {"2 Bar (stock)", "3 Bar ", "1 Bar", "2.5 Bar (your speical)"};

// The catalogue name of a whole line: the text before the first "=".
QString NameOfLine(const QString& line)
{
    const qsizetype eq = line.indexOf(u'=');
    return eq < 0 ? line : line.left(eq);
}

}  // namespace

TfrmSetup::TfrmSetup(LoggingSettings& settings, IniFile& ini, const Catalogue& catalogue, QWidget* owner)
    : QDialog(owner), settings_(settings), ini_(ini), catalogue_(catalogue)
{
    BuildControls();
    FormCreate();
}

void TfrmSetup::BuildControls()
{
    setObjectName("frmSetup");
    setWindowTitle("Data Setup");
    const auto scaled = [this](int width) { return ScaledWidth(*this, width); };

    auto* rows = new QGridLayout;
    rows->setHorizontalSpacing(5);
    rows->setVerticalSpacing(3);
    for (int i = 1; i <= 8; ++i) {
        Label[i] = new QLabel(QString("Addr %1").arg(i), this);
        Label[i]->setObjectName(QString("Label%1").arg(i));
        rows->addWidget(Label[i], i - 1, 0);

        Edit[i] = new QLineEdit(this);
        Edit[i]->setObjectName(QString("Edit%1").arg(i));
        Edit[i]->setAccessibleName(QString("Slot %1 address").arg(i));
        Edit[i]->setFixedWidth(scaled(30));
        Edit[i]->setMaxLength(2);
        Edit[i]->setValidator(new UpperCaseValidator(Edit[i]));
        connect(Edit[i], &QLineEdit::textChanged, this, [this, i] { EditChange(i); });
        rows->addWidget(Edit[i], i - 1, 1);

        ComboBox[i] = new QComboBox(this);
        ComboBox[i]->setObjectName(QString("ComboBox%1").arg(i));
        ComboBox[i]->setMinimumWidth(scaled(170));
        ComboBox[i]->setEditable(true);
        // Typed text only fills the edit: it is never added to the list or completed.
        ComboBox[i]->setInsertPolicy(QComboBox::NoInsert);
        ComboBox[i]->setCompleter(nullptr);
        ComboBox[i]->setFocusPolicy(Qt::ClickFocus);
        connect(ComboBox[i], &QComboBox::currentTextChanged, this, [this, i] {
            if (!selectingInCode_)
                ComboBoxChange(i);
        });
        rows->addWidget(ComboBox[i], i - 1, 2);
    }

    btnOK = new QPushButton("&OK", this);
    btnOK->setObjectName("btnOK");
    btnOK->setMinimumWidth(scaled(75));
    btnOK->setAutoDefault(false);
    // The dialog closes with OK even when storing fails; the failure goes to the display.
    connect(btnOK, &QPushButton::clicked, this, [this] {
        RunGuarded([this] { btnOKClick(); });
        accept();
    });

    rgMapType = new QGroupBox("Map Sensor Type", this);
    rgMapType->setObjectName("rgMapType");
    rgMapTypeItems = new QButtonGroup(rgMapType);
    auto* mapItems = new QVBoxLayout(rgMapType);
    mapItems->setSpacing(0);
    for (int index = 0; index < kMapTypeCount; ++index) {
        auto* item = new QRadioButton(kMapTypeCaptions[index], rgMapType);
        item->setObjectName(QString("rgMapTypeItem%1").arg(index));
        rgMapTypeItems->addButton(item, index);
        mapItems->addWidget(item);
    }
    connect(rgMapTypeItems, &QButtonGroup::idToggled, this, [this] { UpdateMapTypeTabStop(); });

    Performance = new QGroupBox("Performance", this);
    Performance->setObjectName("Performance");
    auto* performanceItems = new QVBoxLayout(Performance);

    cbxPerformance = new QCheckBox("Measure Accleration", Performance);
    cbxPerformance->setObjectName("cbxPerformance");
    // A checked state set in code counts as a click too, exactly like one by the user.
    connect(cbxPerformance, &QCheckBox::toggled, this, [this] { cbxPerformanceClick(); });
    performanceItems->addWidget(cbxPerformance);

    const QStringList note{"  * Note: By checking this ", "Addr 1 and 2 will be ", "overwritten with MPH and ", "RPM."};
    stupidtext = new QPlainTextEdit(Performance);
    stupidtext->setObjectName("stupidtext");
    stupidtext->setFrameShape(QFrame::NoFrame);
    stupidtext->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    stupidtext->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    stupidtext->setLineWrapMode(QPlainTextEdit::NoWrap);
    stupidtext->setTabChangesFocus(true);
    // Shown on the group's own background, like a caption.
    QPalette background = stupidtext->palette();
    background.setColor(QPalette::Base, Qt::transparent);
    stupidtext->setPalette(background);
    stupidtext->viewport()->setAutoFillBackground(false);
    stupidtext->setPlainText(note.join('\n'));
    int noteWidth = 0;
    for (const QString& line : note)
        noteWidth = std::max(noteWidth, stupidtext->fontMetrics().horizontalAdvance(line));
    const int margin = 2 * static_cast<int>(stupidtext->document()->documentMargin()) + 2;
    stupidtext->setFixedSize(noteWidth + margin, 4 * stupidtext->fontMetrics().lineSpacing() + margin);
    performanceItems->addWidget(stupidtext);

    auto* weightRow = new QHBoxLayout;
    Label9 = new QLabel("Car Weight", Performance);
    Label9->setObjectName("Label9");
    eWeight = new QLineEdit(Performance);
    eWeight->setObjectName("eWeight");
    eWeight->setFixedWidth(scaled(50));
    Label9->setBuddy(eWeight);
    weightRow->addWidget(Label9);
    weightRow->addWidget(eWeight);
    weightRow->addStretch();
    performanceItems->addLayout(weightRow);

    auto* left = new QVBoxLayout;
    left->addLayout(rows);
    left->addSpacing(6);
    auto* okRow = new QHBoxLayout;
    okRow->addSpacing(scaled(50));
    okRow->addWidget(btnOK);
    okRow->addStretch();
    left->addLayout(okRow);
    left->addStretch();

    auto* right = new QVBoxLayout;
    right->addWidget(rgMapType);
    right->addWidget(Performance);
    right->addStretch();

    auto* whole = new QHBoxLayout(this);
    whole->setContentsMargins(8, 16, 12, 12);
    whole->setSpacing(6);
    whole->addLayout(left);
    whole->addLayout(right);

    const QSize wanted = sizeHint().expandedTo(QSize(413, 292));
    setGeometry(218, 249, wanted.width(), wanted.height());

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

void TfrmSetup::UpdateMapTypeTabStop()
{
    // Tab enters the group at the selected type (arrow keys move within it), so Space
    // there never changes the type by surprise.
    const int stop = std::max(MapTypeIndex(), 0);
    for (QAbstractButton* item : rgMapTypeItems->buttons())
        item->setFocusPolicy(rgMapTypeItems->id(item) == stop ? Qt::StrongFocus : Qt::ClickFocus);
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
    UpdateMapTypeTabStop();

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
