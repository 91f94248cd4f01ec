#include "dialogs/CalculatedChannelsDialog.h"

#include "logging/ColumnNames.h"
#include "platform/IniFile.h"
#include "platform/Text.h"
#include "platform/TextNumbers.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStringListModel>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

namespace tessek {
namespace {

constexpr int kSampleIntervalMs = 250;

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

}  // namespace

CalculatedChannelsDialog::CalculatedChannelsDialog(std::string settingsFile, std::vector<std::string> inputNames,
                                                   CurrentSample current, QWidget* parent)
    : QDialog(parent),
      settingsFile_(std::move(settingsFile)),
      inputNames_(std::move(inputNames)),
      current_(std::move(current)),
      list_(new QListWidget(this)),
      name_(new QLineEdit(this)),
      formula_(new QLineEdit(this)),
      result_(new QLabel(this)),
      error_(new QLabel(this)),
      ok_(nullptr),
      completer_(new QCompleter(this)),
      names_(new QStringListModel(this)),
      timer_(new QTimer(this))
{
    setObjectName("CalculatedChannelsDialog");
    setWindowTitle("Calculated Channels");
    std::vector<CalculatedChannel> channels;
    try {
        channels = LoadCalculatedChannels(IniFile(settingsFile_));
    } catch (const std::exception& e) {
        loadProblem_ = e.what();
    }

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    list_->setObjectName("ChannelList");
    left->addWidget(list_, 1);
    auto* buttons = new QHBoxLayout;
    const auto button = [&](const char* text, auto slot) {
        auto* b = new QPushButton(text, this);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, slot);
        buttons->addWidget(b);
    };
    button("&Add", [this] { Add(); });
    button("&Remove", [this] { Remove(); });
    button("&Up", [this] { Move(-1); });
    button("&Down", [this] { Move(1); });
    left->addLayout(buttons);
    top->addLayout(left, 1);

    auto* form = new QFormLayout;
    name_->setObjectName("ChannelName");
    name_->setPlaceholderText("Boost (bar)");
    form->addRow("&Name (unit):", name_);
    formula_->setObjectName("ChannelFormula");
    formula_->setPlaceholderText("[Boost] * 0.0689476");
    form->addRow("&Formula:", formula_);
    result_->setObjectName("ChannelValue");
    result_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow("Value now:", result_);
    error_->setObjectName("ChannelError");
    error_->setWordWrap(true);
    error_->setStyleSheet("color: #b00000;");
    form->addRow(error_);
    auto* help = new QLabel(
        "Channel names go in square brackets. Besides the usual operators and functions (sqrt, abs, min, max, "
        "avg, ... and \"a ? b : c\"): prev([X]) is the previous sample's value, rate([X]) the change per second, "
        "smooth([X], n) the mean of the last n samples. A formula can use the channels above its own.",
        this);
    help->setWordWrap(true);
    form->addRow(help);
    top->addLayout(form, 2);
    layout->addLayout(top, 1);

    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = box->button(QDialogButtonBox::Ok);
    connect(box, &QDialogButtonBox::accepted, this, &CalculatedChannelsDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &CalculatedChannelsDialog::reject);
    layout->addWidget(box);

    completer_->setModel(names_);
    completer_->setWidget(formula_);
    completer_->setCaseSensitivity(Qt::CaseInsensitive);
    completer_->setCompletionMode(QCompleter::PopupCompletion);
    connect(completer_, qOverload<const QString&>(&QCompleter::activated), this, &CalculatedChannelsDialog::InsertName);
    connect(formula_, &QLineEdit::textEdited, this, [this] {
        Edited();
        CompleteName();
    });
    connect(name_, &QLineEdit::textEdited, this, &CalculatedChannelsDialog::Edited);
    connect(list_, &QListWidget::currentRowChanged, this, &CalculatedChannelsDialog::Select);
    connect(timer_, &QTimer::timeout, this, &CalculatedChannelsDialog::ShowValue);
    if (current_)
        timer_->start(kSampleIntervalMs);

    Rebuild(std::move(channels));
    list_->setCurrentRow(list_->count() > 0 ? 0 : -1);
    Select(list_->currentRow());
    resize(760, 380);
}

void CalculatedChannelsDialog::Rebuild(std::vector<CalculatedChannel> channels)
{
    set_ = CalculatedChannels(inputNames_, std::move(channels));
    fedTime_.reset();
    values_.assign(set_.Channels().size(), std::nullopt);
    const int count = static_cast<int>(set_.Channels().size());
    while (list_->count() > count)
        delete list_->takeItem(list_->count() - 1);
    while (list_->count() < count)
        list_->addItem(QString());
    for (int i = 0; i < count; ++i) {
        const auto index = static_cast<size_t>(i);
        const CalculatedChannel& channel = set_.Channels()[index];
        QListWidgetItem* item = list_->item(i);
        item->setText(Q(ColumnHeaderText({channel.Name, channel.Unit})));
        item->setForeground(set_.Error(index) ? QColor(0xb0, 0, 0) : palette().color(QPalette::Text));
        item->setToolTip(Q(set_.ErrorText(index)));
    }

    ShowSelection();
}

void CalculatedChannelsDialog::ShowSelection()
{
    const int row = list_->currentRow();
    const bool valid = row >= 0 && row < static_cast<int>(set_.Channels().size());
    QStringList names;
    for (const std::string& name : set_.NamesFor(valid ? static_cast<size_t>(row) : 0))
        names << Q("[" + name + "]");
    names_->setStringList(names);

    std::string problem = loadProblem_;
    if (valid && set_.Error(static_cast<size_t>(row))) {
        problem = set_.Error(static_cast<size_t>(row))->Message;
    } else {
        for (size_t i = 0; i < set_.Channels().size() && problem.empty(); ++i)
            problem = set_.ErrorText(i);
    }
    error_->setText(Q(problem));
    ok_->setEnabled(set_.AllCompiled() && loadProblem_.empty());
    ShowValue();
}

void CalculatedChannelsDialog::ShowValue()
{
    const int row = list_->currentRow();
    const std::optional<ChannelSample> sample = current_ ? current_() : std::nullopt;
    if (sample && (!fedTime_ || sample->Time != *fedTime_)) {
        const auto values = set_.Evaluate(sample->Time, sample->Values);
        values_.assign(values.begin(), values.end());
        fedTime_ = sample->Time;
    }
    QString text;
    if (row < 0 || row >= static_cast<int>(values_.size()) || set_.Error(static_cast<size_t>(row)))
        text = "";
    else if (!fedTime_)
        text = "No current data";
    else if (const auto& value = values_[static_cast<size_t>(row)])
        text = Q(FormatFloat(*value));
    else
        text = "No value for this sample";
    result_->setText(text);
}

void CalculatedChannelsDialog::Select(int row)
{
    const bool valid = row >= 0 && row < static_cast<int>(set_.Channels().size());
    const CalculatedChannel channel = valid ? set_.Channels()[static_cast<size_t>(row)] : CalculatedChannel{};
    loading_ = true;
    name_->setEnabled(valid);
    formula_->setEnabled(valid);
    name_->setText(Q(ColumnHeaderText({channel.Name, channel.Unit})));
    formula_->setText(Q(channel.Formula));
    loading_ = false;
    ShowSelection();
}

void CalculatedChannelsDialog::Edited()
{
    const int row = list_->currentRow();
    if (loading_ || row < 0 || row >= static_cast<int>(set_.Channels().size()))
        return;
    std::vector<CalculatedChannel> channels = set_.Channels();
    ColumnHeader header = SplitColumnHeader(name_->text().toStdString());
    channels[static_cast<size_t>(row)] = {std::move(header.Name), std::move(header.Unit),
                                          formula_->text().trimmed().toStdString()};
    Rebuild(std::move(channels));
}

void CalculatedChannelsDialog::Add()
{
    std::vector<CalculatedChannel> channels = set_.Channels();
    const std::vector<std::string> taken = set_.NamesFor(channels.size());
    std::string name;
    for (size_t n = channels.size() + 1; name.empty(); ++n) {
        name = "Channel " + std::to_string(n);
        if (std::any_of(taken.begin(), taken.end(), [&](const std::string& t) { return SameText(t, name); }))
            name.clear();
    }
    channels.push_back({name, "", ""});
    Rebuild(std::move(channels));
    list_->setCurrentRow(list_->count() - 1);
    formula_->setFocus();
}

void CalculatedChannelsDialog::Remove()
{
    const int row = list_->currentRow();
    if (row < 0)
        return;
    std::vector<CalculatedChannel> channels = set_.Channels();
    channels.erase(channels.begin() + row);
    Rebuild(std::move(channels));
    Select(list_->currentRow());
}

void CalculatedChannelsDialog::Move(int by)
{
    const int row = list_->currentRow();
    const int to = row + by;
    if (row < 0 || to < 0 || to >= list_->count())
        return;
    std::vector<CalculatedChannel> channels = set_.Channels();
    std::swap(channels[static_cast<size_t>(row)], channels[static_cast<size_t>(to)]);
    Rebuild(std::move(channels));
    list_->setCurrentRow(to);
}

// The name being typed is the text from the last "[" before the cursor that no "]" closes.
void CalculatedChannelsDialog::CompleteName()
{
    const QString before = formula_->text().left(formula_->cursorPosition());
    const qsizetype open = before.lastIndexOf('[');
    if (open < 0 || before.indexOf(']', open) >= 0) {
        completer_->popup()->hide();
        return;
    }
    completer_->setCompletionPrefix(before.mid(open));
    if (completer_->completionCount() == 0) {
        completer_->popup()->hide();
        return;
    }
    completer_->complete();
}

void CalculatedChannelsDialog::InsertName(const QString& name)
{
    const int cursor = formula_->cursorPosition();
    const QString text = formula_->text();
    const qsizetype open = text.left(cursor).lastIndexOf('[');
    if (open < 0)
        return;
    formula_->setText(text.left(open) + name + text.mid(cursor));
    formula_->setCursorPosition(static_cast<int>(open + name.size()));
    Edited();
}

bool CalculatedChannelsDialog::EditOverColumns(const std::string& settingsFile, const std::vector<std::string>& columns,
                                               CurrentSample current, QWidget* parent)
{
    std::vector<CalculatedChannel> calculated;
    try {
        calculated = LoadCalculatedChannels(IniFile(settingsFile));
    } catch (const std::exception&) {
        // The dialog itself names the problem.
    }
    std::vector<size_t> inputs;
    std::vector<std::string> names;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (std::none_of(calculated.begin(), calculated.end(),
                         [&](const CalculatedChannel& channel) { return SameText(channel.Name, columns[i]); })) {
            inputs.push_back(i);
            names.push_back(columns[i]);
        }
    }
    CurrentSample picked;
    if (current) {
        picked = [current = std::move(current), inputs]() -> std::optional<ChannelSample> {
            std::optional<ChannelSample> sample = current();
            if (!sample)
                return std::nullopt;
            ChannelSample chosen{sample->Time, {}};
            for (const size_t column : inputs)
                chosen.Values.push_back(column < sample->Values.size() ? sample->Values[column] : std::nullopt);
            return chosen;
        };
    }
    CalculatedChannelsDialog dialog(settingsFile, std::move(names), std::move(picked), parent);
    return dialog.exec() == QDialog::Accepted;
}

void CalculatedChannelsDialog::accept()
{
    if (!set_.AllCompiled() || !loadProblem_.empty())
        return;
    try {
        IniFile ini(settingsFile_);
        SaveCalculatedChannels(ini, set_.Channels());
    } catch (const std::exception& e) {
        QMessageBox::warning(this, windowTitle(), Q(e.what()));
        return;
    }
    QDialog::accept();
}

}  // namespace tessek
