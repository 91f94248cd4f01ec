#include "views/DashWindow.h"

#include "analysis/LiveAlarms.h"
#include "analysis/LiveModel.h"

#include <QGraphicsOpacityEffect>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QShortcut>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace tessek {
namespace {

constexpr double kTileAspect = 1.6;
const QColor kTileColour(0x18, 0x18, 0x18);
const QColor kAlarmTileColour(0xc0, 0, 0);

// Palettes rather than style sheets: a tile changes colour with every alarm, and a style
// sheet would restyle the whole tile each time.
void Paint(QWidget* widget, const QColor& background, const QColor& text)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::WindowText, text);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void SetPixelSize(QLabel* label, int pixels, bool bold)
{
    QFont font = label->font();
    font.setPixelSize(std::max(pixels, 8));
    font.setBold(bold);
    label->setFont(font);
}

}  // namespace

int DashColumns(int tiles, int width, int height)
{
    if (tiles <= 0 || width <= 0 || height <= 0)
        return 1;
    int best = 1;
    double bestSize = -1;
    for (int columns = 1; columns <= tiles; ++columns) {
        const int rows = (tiles + columns - 1) / columns;
        // The height a readout of the preferred shape can have in a cell of this grid.
        const double size =
            std::min(static_cast<double>(width) / columns / kTileAspect, static_cast<double>(height) / rows);
        if (size > bestSize + 1e-9) {
            best = columns;
            bestSize = size;
        }
    }
    return best;
}

int DashValuePixels(int tileWidth, int tileHeight, int characters)
{
    // A digit of a bold sans-serif font is about 0.6 of its pixel size wide; the value takes
    // half the tile's height at most, leaving room for the name and unit.
    const double byWidth = 0.85 * tileWidth / (0.6 * std::max(characters, 3));
    const double byHeight = 0.5 * tileHeight;
    return std::max(8, static_cast<int>(std::floor(std::min(byWidth, byHeight))));
}

DashWindow::DashWindow(const LiveModel& model, const LiveAlarms& alarms, QWidget* parent)
    : QWidget(parent, Qt::Window), model_(model), alarms_(alarms), alarm_(new QLabel(this)), grid_(new QWidget(this))
{
    setObjectName("DashWindow");
    setWindowTitle("Tessek Dash");
    Paint(this, Qt::black, Qt::white);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    alarm_->setObjectName("DashAlarm");
    alarm_->setWordWrap(true);
    alarm_->setAlignment(Qt::AlignCenter);
    Paint(alarm_, Qt::black, QColor(0xff, 0x30, 0x30));
    alarm_->hide();
    layout->addWidget(alarm_);
    gridLayout_ = new QGridLayout(grid_);
    gridLayout_->setContentsMargins(0, 0, 0, 0);
    gridLayout_->setSpacing(12);
    layout->addWidget(grid_, 1);
    grid_->installEventFilter(this);
    auto* hint = new QLabel("F11 or Esc: back    M: mark    Alt+L: log on/off", this);
    hint->setObjectName("DashHint");
    Paint(hint, Qt::black, QColor(0x80, 0x80, 0x80));
    hint->setAlignment(Qt::AlignCenter);
    layout->addWidget(hint);

    auto* log = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_L), this);
    connect(log, &QShortcut::activated, this, &DashWindow::LogRequested);
    timer_.setInterval(kRefreshMs);
    connect(&timer_, &QTimer::timeout, this, &DashWindow::Refresh);
}

void DashWindow::SetPlayback(const QString& text)
{
    auto* line = new QLabel(text, this);
    line->setObjectName("DashPlayback");
    line->setAlignment(Qt::AlignCenter);
    Paint(line, Qt::black, QColor(0xff, 0xc8, 0x40));
    SetPixelSize(line, 28, true);
    static_cast<QVBoxLayout*>(layout())->insertWidget(0, line);
    findChild<QLabel*>("DashHint")->setText("F11 or Esc: back    M: mark");
}

QString DashWindow::AlarmText() const
{
    return alarm_->isVisible() ? alarm_->text() : QString();
}

void DashWindow::Refresh()
{
    std::vector<std::string> names;
    for (const auto& channel : model_.Channels())
        names.push_back(channel.Name);
    if (names != names_)
        Build();
    const auto& channels = model_.Channels();
    for (size_t i = 0; i < tiles_.size() && i < channels.size(); ++i) {
        Tile& tile = tiles_[i];
        const QString value = QString::fromStdString(ReadoutText(channels[i].Series.Latest(), channels[i].Decimals));
        if (tile.Value->text() != value)
            tile.Value->setText(value);
        const bool alarm = alarms_.Monitor().Active(tile.Column);
        if (alarm != tile.Alarm) {
            tile.Alarm = alarm;
            Paint(tile.Box, alarm ? kAlarmTileColour : kTileColour, Qt::white);
        }
    }
    QString text = alarms_.Raised() ? QString::fromStdString(alarms_.Text()) : QString();
    if (lost_)
        text = text.isEmpty() ? QString("Connection lost") : "Connection lost\n" + text;
    if (alarm_->text() != text)
        alarm_->setText(text);
    alarm_->setVisible(!text.isEmpty());
}

void DashWindow::Build()
{
    for (const Tile& tile : tiles_)
        delete tile.Box;
    tiles_.clear();
    names_.clear();
    for (const auto& channel : model_.Channels()) {
        Tile tile;
        tile.Column = channel.Column;
        tile.Box = new QWidget(grid_);
        tile.Box->setObjectName("DashTile");
        Paint(tile.Box, kTileColour, Qt::white);
        auto* box = new QVBoxLayout(tile.Box);
        box->setContentsMargins(10, 6, 10, 6);
        box->setSpacing(0);
        tile.Name = new QLabel(QString::fromStdString(channel.Name), tile.Box);
        tile.Value = new QLabel("---", tile.Box);
        tile.Unit = new QLabel(QString::fromStdString(channel.Unit), tile.Box);
        tile.Value->setAlignment(Qt::AlignCenter);
        tile.Name->setAlignment(Qt::AlignLeft);
        tile.Unit->setAlignment(Qt::AlignRight);
        box->addWidget(tile.Name);
        box->addWidget(tile.Value, 1);
        box->addWidget(tile.Unit);
        tiles_.push_back(tile);
        names_.push_back(channel.Name);
    }
    Arrange();
}

void DashWindow::Arrange()
{
    if (tiles_.empty())
        return;
    for (const Tile& tile : tiles_)
        gridLayout_->removeWidget(tile.Box);
    const int count = static_cast<int>(tiles_.size());
    const int columns = DashColumns(count, grid_->width(), grid_->height());
    const int rows = (count + columns - 1) / columns;
    const int tileWidth = grid_->width() / columns - gridLayout_->spacing();
    const int tileHeight = grid_->height() / rows - gridLayout_->spacing();
    for (int i = 0; i < count; ++i) {
        const Tile& tile = tiles_[static_cast<size_t>(i)];
        gridLayout_->addWidget(tile.Box, i / columns, i % columns);
        SetPixelSize(tile.Value, DashValuePixels(tileWidth, tileHeight, 6), true);
        SetPixelSize(tile.Name, tileHeight / 9, false);
        SetPixelSize(tile.Unit, tileHeight / 9, false);
    }
    SetPixelSize(alarm_, std::max(24, height() / 16), true);
}

void DashWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F11 || event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    if (event->key() == Qt::Key_M && event->modifiers() == Qt::NoModifier) {
        emit MarkRequested();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool DashWindow::eventFilter(QObject* watched, QEvent* event)
{
    // The tiles' fonts follow the grid's size, which the layout sets after this window's.
    if (watched == grid_ && event->type() == QEvent::Resize)
        Arrange();
    return QWidget::eventFilter(watched, event);
}

void DashWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    Refresh();
    timer_.start();
}

void DashWindow::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    timer_.stop();
}

void DashWindow::ShowConnectionLost(bool lost)
{
    lost_ = lost;
    if (lost) {
        auto* dim = new QGraphicsOpacityEffect(grid_);
        dim->setOpacity(0.35);
        grid_->setGraphicsEffect(dim);
    } else {
        grid_->setGraphicsEffect(nullptr);
    }
    Refresh();
}

}  // namespace tessek
