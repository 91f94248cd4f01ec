#include "app/PlaybackCommand.h"

#include "app/StandaloneViewer.h"
#include "logfiles/LogFile.h"
#include "views/LogViewerWindow.h"
#include "views/PlaybackWindow.h"
#include "views/WindowPlacement.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>

namespace tessek {

std::unique_ptr<PlaybackWindow> OpenPlayback(const std::string& nativePath, const std::string& settingsFile,
                                             std::string& problem)
{
    LogReadResult read = ReadLogFile(nativePath);
    const QString name = QFileInfo(QFile::decodeName(QByteArray::fromStdString(nativePath))).fileName();
    if (!read.Ok()) {
        problem = name.toStdString() + ": " + read.Error;
        return nullptr;
    }
    auto live = std::make_unique<PlaybackWindow>(std::move(read.Data), name, settingsFile);
    WindowPlacement::Attach(live.get(), settingsFile, "Live", live->size());
    auto viewer = std::make_shared<QPointer<LogViewerWindow>>();
    QObject::connect(live.get(), &LiveWindow::ViewLogRequested, live.get(), [viewer, nativePath, settingsFile] {
        if (!*viewer) {
            std::unique_ptr<LogViewerWindow> opened = OpenStandaloneViewer(nativePath, settingsFile);
            opened->setAttribute(Qt::WA_DeleteOnClose);
            *viewer = opened.release();
        }
        (*viewer)->raise();
        (*viewer)->activateWindow();
    });
    live->show();
    live->Start();
    return live;
}

}  // namespace tessek
