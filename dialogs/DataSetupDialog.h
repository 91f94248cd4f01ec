#pragma once
// The Data Setup dialog, TfrmSetup: the eight logged LM addresses (typed as two hexadecimal digits
// or picked from the parameter catalogue), the MAP sensor type, and the acceleration
// measurement with the car weight.
//
// It edits the logging settings it is given in place and, on OK, writes them to the
// settings file (section "CurrentSet"). Window thread only. A write that fails raises the
// settings file's std::runtime_error out of btnOKClick.
#include <QDialog>

#include <array>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tessek {

class IniFile;
class Catalogue;
struct LoggingSettings;

class TfrmSetup : public QDialog {
    Q_OBJECT
public:
    // The combo boxes offer the catalogue's whole lines ("$5D=Charge Air Temp"). The
    // settings, the file and the catalogue must outlive the dialog.
    TfrmSetup(LoggingSettings& settings, IniFile& ini, const Catalogue& catalogue, QWidget* owner = nullptr);

    // Row i = 1..8 ([0] unused).
    std::array<QLabel*, 9> Label{};
    std::array<QLineEdit*, 9> Edit{};
    std::array<QComboBox*, 9> ComboBox{};
    QPushButton* btnOK = nullptr;
    QGroupBox* rgMapType = nullptr;
    QButtonGroup* rgMapTypeItems = nullptr;  // ids 0..3 are the item indexes
    QGroupBox* Performance = nullptr;
    QCheckBox* cbxPerformance = nullptr;
    QPlainTextEdit* stupidtext = nullptr;
    QLabel* Label9 = nullptr;
    QLineEdit* eWeight = nullptr;

    // Index of the selected map sensor type, -1 when none.
    int MapTypeIndex() const;

    void FormCreate();
    void EditChange(int row);
    void ComboBoxChange(int row);
    void cbxPerformanceClick();
    void btnOKClick();

private:
    void BuildControls();
    void SelectComboEntry(int row, int index);
    void UpdateMapTypeTabStop();

    LoggingSettings& settings_;
    IniFile& ini_;
    const Catalogue& catalogue_;
    // Set while the dialog itself selects a combo entry: a selection made in code is not
    // a change of the combo's text by the user and must not rewrite the edit.
    bool selectingInCode_ = false;
};

}  // namespace tessek
