#include "dialogs/AlarmDialog.h"

#include "lm/ParameterTable.h"
#include "platform/IniFile.h"
#include "platform/Text.h"
#include "platform/TextNumbers.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

namespace tessek {
namespace {

enum Column { kOn, kChannel, kAbove, kBelow, kUnit, kWhile };

QString Bound(const std::optional<double>& value)
{
    return value ? QString::fromStdString(FormatFloat(*value)) : QString();
}

// The condition in its channel's shown unit, or empty.
QString ConditionText(const std::optional<AlarmCondition>& condition, const std::vector<RunColumn>& runColumns,
                      UnitSystem units)
{
    if (!condition)
        return {};
    AlarmCondition shown = *condition;
    shown.Value = ShownLimit(shown.Value, AlarmChannelUnit(shown.Channel, runColumns), units);
    return QString::fromStdString(AlarmConditionText(shown));
}

}  // namespace

std::vector<std::string> AlarmChannels(const std::vector<std::string>& runColumns)
{
    std::vector<std::string> names;
    const auto add = [&](const std::string& name) {
        if (std::none_of(names.begin(), names.end(), [&](const std::string& n) { return SameText(n, name); }))
            names.push_back(name);
    };
    for (const AlarmLimit& limit : DefaultAlarmLimits())
        add(limit.Channel);
    for (const std::string& name : runColumns)
        add(name);
    for (const ParameterRow& row : ParameterTable()) {
        if (!row.Column.empty())
            add(std::string(row.Column));
    }
    return names;
}

std::string AlarmChannelUnit(const std::string& channel, const std::vector<RunColumn>& runColumns)
{
    for (const RunColumn& column : runColumns) {
        if (SameText(column.Name, channel))
            return column.Unit;
    }
    for (const ParameterRow& row : ParameterTable()) {
        if (!row.Column.empty() && SameText(std::string(row.Column), channel))
            return std::string(row.Unit);
        for (int i = 0; i < row.DerivedCount; ++i) {
            const DerivedColumn& derived = row.Derived[static_cast<size_t>(i)];
            if (SameText(std::string(derived.Column), channel))
                return std::string(derived.Unit);
        }
    }
    return {};
}

AlarmDialog::AlarmDialog(std::string settingsFile, const std::vector<RunColumn>& runColumns, UnitSystem units,
                         QWidget* parent)
    : QDialog(parent),
      settingsFile_(std::move(settingsFile)),
      units_(units),
      runColumns_(runColumns),
      table_(new QTableWidget(this)),
      beep_(new QCheckBox(this))
{
    setObjectName("AlarmDialog");
    setWindowTitle("Alarms");
    std::vector<std::string> runNames;
    runNames.reserve(runColumns.size());
    for (const RunColumn& column : runColumns)
        runNames.push_back(column.Name);
    const std::vector<std::string> channels = AlarmChannels(runNames);
    const AlarmSettings settings = settingsFile_.empty() ? AlarmSettings{DefaultAlarmLimits(), true, {}}
                                                         : LoadAlarmSettings(IniFile(settingsFile_), channels);

    auto* layout = new QVBoxLayout(this);
    if (!settings.Problems.empty()) {
        std::string text;
        for (const std::string& problem : settings.Problems)
            text += (text.empty() ? "" : "\n") + problem;
        auto* problems = new QLabel(QString::fromStdString(text), this);
        problems->setObjectName("AlarmProblems");
        problems->setWordWrap(true);
        problems->setStyleSheet("color: #b00000;");
        layout->addWidget(problems);
    }
    table_->setObjectName("AlarmTable");
    table_->setColumnCount(6);
    table_->setHorizontalHeaderLabels({"On", "Channel", "Alarm above", "Alarm below", "Unit", "Only while"});
    table_->setRowCount(static_cast<int>(channels.size()));
    table_->verticalHeader()->hide();
    for (int row = 0; row < static_cast<int>(channels.size()); ++row) {
        const std::string& name = channels[static_cast<size_t>(row)];
        const auto limit = std::find_if(settings.Limits.begin(), settings.Limits.end(),
                                        [&](const AlarmLimit& l) { return SameText(l.Channel, name); });
        auto* on = new QTableWidgetItem;
        on->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
        on->setCheckState(limit == settings.Limits.end() || limit->Enabled ? Qt::Checked : Qt::Unchecked);
        table_->setItem(row, kOn, on);
        auto* channel = new QTableWidgetItem(QString::fromStdString(name));
        channel->setFlags(Qt::ItemIsEnabled);
        table_->setItem(row, kChannel, channel);
        const std::string runUnit = AlarmChannelUnit(name, runColumns);
        AlarmLimit shown{name, {}, {}, true};
        if (limit != settings.Limits.end()) {
            for (auto [kept, into] : {std::pair{&limit->Above, &shown.Above}, std::pair{&limit->Below, &shown.Below}}) {
                if (*kept)
                    *into = ShownLimit(**kept, runUnit, units_);
            }
        }
        table_->setItem(row, kAbove, new QTableWidgetItem(Bound(shown.Above)));
        table_->setItem(row, kBelow, new QTableWidgetItem(Bound(shown.Below)));
        const std::optional<UnitConversion> conversion = RunConversionTo(runUnit, units_);
        auto* unit = new QTableWidgetItem(QString::fromStdString(conversion ? std::string(conversion->Unit) : runUnit));
        unit->setFlags(Qt::ItemIsEnabled);
        table_->setItem(row, kUnit, unit);
        table_->setItem(row, kWhile,
                        new QTableWidgetItem(ConditionText(limit != settings.Limits.end() ? limit->While : std::nullopt,
                                                           runColumns_, units_)));
        runUnits_.push_back(runUnit);
        // Kept as read, so that a limit not edited is written back exactly.
        shown_.push_back(limit != settings.Limits.end() ? *limit : AlarmLimit{name, {}, {}, true});
    }
    table_->resizeColumnsToContents();
    table_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table_, 1);
    auto* note = new QLabel(
        "Units as the live chart shows them (MAP: psi of boost, negative: inHg of vacuum); the limits keep their "
        "meaning when the units change. "
        "An empty cell sets no limit. \"Only while\" takes a second channel's condition, such as \"Boost above 2\".",
        this);
    note->setWordWrap(true);
    layout->addWidget(note);
    beep_->setText("&Beep when an alarm is raised");
    beep_->setChecked(settings.Beep);
    layout->addWidget(beep_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &AlarmDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &AlarmDialog::reject);
    layout->addWidget(buttons);
    resize(640, 460);
}

std::vector<AlarmLimit> AlarmDialog::Limits(std::string& error) const
{
    std::vector<AlarmLimit> limits;
    error.clear();
    for (int row = 0; row < table_->rowCount(); ++row) {
        AlarmLimit limit;
        limit.Channel = table_->item(row, kChannel)->text().toStdString();
        limit.Enabled = table_->item(row, kOn)->checkState() == Qt::Checked;
        for (const int column : {kAbove, kBelow}) {
            const std::string text = table_->item(row, column)->text().trimmed().toStdString();
            if (text.empty())
                continue;
            const std::optional<double> value = ParseFloat(text);
            if (!value) {
                error = limit.Channel + ": \"" + text + "\" is not a number (write e.g. 230 or 0.2)";
                return {};
            }
            const size_t r = static_cast<size_t>(row);
            const std::optional<double>& kept = column == kAbove ? shown_[r].Above : shown_[r].Below;
            const bool unchanged = kept && Bound(ShownLimit(*kept, runUnits_[r], units_)).toStdString() == text;
            (column == kAbove ? limit.Above : limit.Below) =
                unchanged ? *kept : KeptLimit(*value, runUnits_[r], units_);
        }
        const std::string condition = table_->item(row, kWhile)->text().trimmed().toStdString();
        if (!condition.empty()) {
            limit.While = ParseAlarmCondition(condition);
            if (!limit.While) {
                error = limit.Channel + ": \"" + condition + "\" is not a condition (write e.g. Boost above 2)";
                return {};
            }
            const std::optional<AlarmCondition>& kept = shown_[static_cast<size_t>(row)].While;
            if (kept && ConditionText(kept, runColumns_, units_).toStdString() == condition)
                limit.While = kept;
            else
                limit.While->Value =
                    KeptLimit(limit.While->Value, AlarmChannelUnit(limit.While->Channel, runColumns_), units_);
        }
        limits.push_back(limit);
    }
    return limits;
}

void AlarmDialog::accept()
{
    std::string error;
    AlarmSettings settings{Limits(error), beep_->isChecked(), {}};
    if (error.empty() && !settingsFile_.empty()) {
        try {
            IniFile ini(settingsFile_);
            SaveAlarmSettings(ini, settings);
        } catch (const std::exception& e) {
            error = e.what();
        }
    }
    if (!error.empty()) {
        QMessageBox::warning(this, "Alarms", QString::fromStdString(error));
        return;
    }
    QDialog::accept();
}

}  // namespace tessek
