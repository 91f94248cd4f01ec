#pragma once
// Runs a copy of the program without a display (DISPLAY, WAYLAND_DISPLAY and
// QT_QPA_PLATFORM taken out), in `folder`, as a one-shot command: its exit code (-1 when
// it did not end normally within 30 s), standard output and standard error.
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <string>
#include <tuple>

namespace tessek::test {

inline std::tuple<int, std::string, std::string> RunWithoutDisplay(const QString& program, const std::string& folder,
                                                                   const QStringList& arguments)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(QString::fromStdString(folder));
    process.start(program, arguments);
    const bool ended = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit;
    return {ended ? process.exitCode() : -1, process.readAllStandardOutput().toStdString(),
            process.readAllStandardError().toStdString()};
}

}  // namespace tessek::test
