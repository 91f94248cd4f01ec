#pragma once
// The dash view of the live chart: a full-screen window with only the big readouts of the
// running log and its alarms, readable at arm's length in a car. F11 or Esc leaves it, M
// marks the moment, Alt+L starts or stops logging, as in the live window. It reads the live
// window's model and alarms five times a second while shown. Window thread only.
#include <QTimer>
#include <QWidget>

#include <string>
#include <vector>

class QGridLayout;
class QLabel;

namespace tessek {

class LiveAlarms;
class LiveModel;

// The grid for `tiles` readouts on a `width` × `height` area: the number of columns that
// gives the largest readouts (a readout wants to be about 1.6 times as wide as tall).
int DashColumns(int tiles, int width, int height);
// The value's font size (px) in a tile of that size for a text of `characters`.
int DashValuePixels(int tileWidth, int tileHeight, int characters);

class DashWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 200;

    struct Tile {
        QWidget* Box = nullptr;
        QLabel* Name = nullptr;
        QLabel* Value = nullptr;
        QLabel* Unit = nullptr;
        size_t Column = 0;  // the run column the readout shows
        bool Alarm = false;
    };

    DashWindow(const LiveModel& model, const LiveAlarms& alarms, QWidget* parent = nullptr);

    // Shows the latest values and alarms now.
    void Refresh();
    const std::vector<Tile>& Tiles() const { return tiles_; }
    QString AlarmText() const;
    // While the connection is lost the tiles are dimmed and the alarm line says so.
    void ShowConnectionLost(bool lost);
    // A line at the top, "Playback of <file>", when the values come from a saved log.
    void SetPlayback(const QString& text);

signals:
    void MarkRequested();
    void LogRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void Build();
    void Arrange();

    const LiveModel& model_;
    const LiveAlarms& alarms_;
    QLabel* alarm_;
    QWidget* grid_;
    QGridLayout* gridLayout_;
    std::vector<Tile> tiles_;
    std::vector<std::string> names_;  // the channels the tiles were built for
    QTimer timer_;
    bool lost_ = false;
};

}  // namespace tessek
