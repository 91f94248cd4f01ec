#pragma once
// Tessek Live playing back a saved data log (`tessek --play LOG`, the viewer's Play
// button): a live window of its own that says "Playback of <file>", fed by a Playback
// (session/Playback.h) with its own alarms (the limits of the settings file, checked on
// every sample; the markers they raise are shown, never written) and the calculated
// channels of the settings file; a bar of controls above its buttons: Play/Pause, the speed
// (1×, 4×, 16×), the position and a jump to the next marker. Mark marks the playback.
//
// Window thread only. The window starts paused before the log's start; Start() plays it.
// View Log (LiveWindow::ViewLogRequested) is for its opener to answer.
#include "analysis/LiveAlarms.h"
#include "session/Playback.h"
#include "views/LiveWindow.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;
class QSlider;

namespace tessek {

// The controls of a playback. The position shows the moment played, in tenths of a
// second from the log's start; moving it jumps there. Shown afresh after every use and,
// while playing, every kRefreshMs.
class PlaybackBar : public QWidget {
public:
    static constexpr int kRefreshMs = 200;
    static constexpr int kSpeeds[] = {1, 4, 16};

    PlaybackBar(Playback& playback, QWidget* parent);

    void Refresh();
    QPushButton* PlayButton() const { return play_; }
    QSlider* Position() const { return position_; }
    QPushButton* NextButton() const { return next_; }
    QString TimeText() const;

private:
    void Seek(int tenths);

    Playback& playback_;
    QPushButton* play_;
    QComboBox* speed_;
    QSlider* position_;
    QLabel* time_;
    QPushButton* next_;
    QTimer timer_;
    bool showing_ = false;  // Refresh is moving the slider
};

// Made before the live window, which keeps a reference to them (a base ahead of it).
struct PlaybackAlarms {
    LiveAlarms OwnAlarms;
};

class PlaybackWindow : private PlaybackAlarms, public LiveWindow {
public:
    // The least time between two beeps of alarms (ms): a jump may raise many at once.
    static constexpr int kBeepIntervalMs = 1000;

    // Plays `log`, read from the file named `file` (as shown), with the alarm limits and
    // the calculated channels of `settingsFile` ("Tessek.ini").
    PlaybackWindow(LogData log, const QString& file, const std::string& settingsFile, QWidget* parent = nullptr);
    ~PlaybackWindow() override;

    // Plays from the start at the log's own pace.
    void Start();
    Playback& Player() { return player_; }
    PlaybackBar* Bar() const { return bar_; }

private:
    CalculatedColumns calculated_;
    Playback player_;
    PlaybackBar* bar_;
    QElapsedTimer beeped_;
};

}  // namespace tessek
