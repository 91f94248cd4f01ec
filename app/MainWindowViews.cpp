// The windows the main window opens beside itself: the live chart and the log viewer.
#include "app/MainWindow.h"
#include "logfiles/DataLog.h"
#include "views/LiveWindow.h"
#include "views/LogViewerWindow.h"
#include "views/WindowPlacement.h"

namespace tessek {

void TfrmMain::btnChartClick(QObject*)
{
    live_->show();
    live_->raise();
    live_->activateWindow();
}

void TfrmMain::btnViewLogClick(QObject*)
{
    if (!viewer_) {
        viewer_ = new LogViewerWindow(this);
        viewer_->setWindowFlag(Qt::Window);
        WindowPlacement::Attach(viewer_, SettingsFileName(), "Viewer", viewer_->size());
    }
    // The latest run is what one looks at after logging; a viewer already on it keeps its
    // zoom and cursor.
    const std::string newest = NewestDataLog(folder_);
    if (!newest.empty() && newest != viewerFile_) {
        viewer_->OpenFile(QString::fromStdString(newest));
        viewerFile_ = newest;
    } else {
        viewer_->ReloadIfChanged();  // the run may have gone on since
    }
    viewer_->show();
    viewer_->raise();
    viewer_->activateWindow();
}

}  // namespace tessek
