#include "views/PlaybackWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include <cmath>

namespace tessek {

PlaybackBar::PlaybackBar(Playback& playback, QWidget* parent)
    : QWidget(parent),
      playback_(playback),
      play_(new QPushButton("&Play", this)),
      speed_(new QComboBox(this)),
      position_(new QSlider(Qt::Horizontal, this)),
      time_(new QLabel(this)),
      next_(new QPushButton("&Next marker", this))
{
    setObjectName("PlaybackBar");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    play_->setObjectName("btnPlay");
    speed_->setObjectName("cbxSpeed");
    for (const int speed : kSpeeds)
        speed_->addItem(QString("%1×").arg(speed));
    speed_->setToolTip("1×: the log's own pace");
    position_->setObjectName("sldPosition");
    position_->setSingleStep(10);
    position_->setPageStep(100);
    position_->setRange(0, static_cast<int>(std::ceil((playback_.EndTime() - playback_.StartTime()) * 10)));
    next_->setObjectName("btnNextMarker");
    next_->setToolTip("Plays on at once up to the next marker or alarm");
    time_->setMinimumWidth(fontMetrics().horizontalAdvance("00000.0 / 00000.0 s"));
    row->addWidget(play_);
    row->addWidget(speed_);
    row->addWidget(position_, 1);
    row->addWidget(time_);
    row->addWidget(next_);

    connect(play_, &QPushButton::clicked, this, [this] {
        if (playback_.Playing())
            playback_.Pause();
        else
            playback_.Play();
        Refresh();
    });
    connect(speed_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            playback_.SetSpeed(kSpeeds[index]);
    });
    connect(position_, &QSlider::valueChanged, this, [this](int tenths) {
        if (!showing_ && !position_->isSliderDown())
            Seek(tenths);
    });
    connect(position_, &QSlider::sliderReleased, this, [this] { Seek(position_->value()); });
    connect(next_, &QPushButton::clicked, this, [this] {
        const bool found = playback_.NextMarker();
        Refresh();
        if (!found)
            time_->setText(TimeText() + " (no further marker)");
    });
    connect(&timer_, &QTimer::timeout, this, &PlaybackBar::Refresh);
    timer_.setInterval(kRefreshMs);
    Refresh();
}

QString PlaybackBar::TimeText() const
{
    return QString("%1 / %2 s")
        .arg(playback_.Time() - playback_.StartTime(), 0, 'f', 1)
        .arg(playback_.EndTime() - playback_.StartTime(), 0, 'f', 1);
}

void PlaybackBar::Refresh()
{
    if (!position_->isSliderDown()) {
        showing_ = true;
        position_->setValue(static_cast<int>(std::lround((playback_.Time() - playback_.StartTime()) * 10)));
        showing_ = false;
    }
    time_->setText(TimeText());
    play_->setText(playback_.Playing() ? "&Pause" : "&Play");
    if (playback_.Playing())
        timer_.start();
    else
        timer_.stop();
}

void PlaybackBar::Seek(int tenths)
{
    playback_.SeekTo(playback_.StartTime() + tenths / 10.0);
    Refresh();
}

PlaybackWindow::PlaybackWindow(LogData log, const QString& file, const std::string& settingsFile, QWidget* parent)
    : LiveWindow(OwnAlarms, parent),
      calculated_(settingsFile),
      player_(std::move(log), OwnAlarms),
      bar_(new PlaybackBar(player_, this))
{
    SetSettingsFile(settingsFile);
    OwnAlarms.Beep = [this] {
        if (!beeped_.isValid() || beeped_.elapsed() >= kBeepIntervalMs) {
            QApplication::beep();
            beeped_.start();
        }
    };
    player_.SetHook(&calculated_);
    player_.AddObserver(this);
    SetPlayback(file, bar_);
    connect(this, &LiveWindow::MarkRequested, this, [this](const QString& text) { player_.Mark(text.toStdString()); });
}

void PlaybackWindow::Start()
{
    player_.Play();
    bar_->Refresh();
}

PlaybackWindow::~PlaybackWindow()
{
    OwnAlarms.Beep = nullptr;
    // The bar drives the playback, which goes before the window's children do.
    delete bar_;
}

}  // namespace tessek
