// Program start: the command line, the application, its error display and the main
// window, whose creation opens the port and probes the LM; the message loop runs until
// the window is closed (or the viewer's, or Tessek Live's playing back a log, with --view
// or --play). `tessek --log` instead runs the headless logger, `tessek --dyno` writes a
// power curve and `tessek --advise` fuel and spark advice, each on a QCoreApplication: no
// window system and no GUI platform plugin is touched.
#include "app/AboutBox.h"
#include "app/AdviseCommand.h"
#include "app/Application.h"
#include "app/DynoCommand.h"
#include "app/HeadlessLogger.h"
#include "app/MainWindow.h"
#include "app/PlaybackCommand.h"
#include "app/StandaloneViewer.h"
#include "platform/BuildInfo.h"
#include "platform/FileIo.h"
#include "platform/ProgramFolder.h"
#include "views/LogViewerWindow.h"
#include "views/PlaybackWindow.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

// The program's options. The parser answers --help and --version itself and ends the
// program; any further option is declared here and read in main.
void DeclareOptions(QCommandLineParser& parser)
{
    parser.setApplicationDescription(
        "Data logger and diagnostic reader for the engine control module (LM) of a 1987 turbocharged car.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(
        {"view", "Open the log viewer on FILE (a CSV or MSL data log) instead of the main window; no port is opened.",
         "FILE"});
    parser.addOption({"dyno",
                      "Write the power curve of LOG's full-throttle pulls as CSV (--out FILE, default beside the log) "
                      "without a window or display.",
                      "LOG"});
    parser.addOption({"advise",
                      "Write fuel corrections per engine speed x MAP cell from LOG's AFR as CSV (--out FILE, default "
                      "beside the log as <log name>-fuel.csv; --target AFR, one target AFR for every cell) and the "
                      "spark advice from knock retard beside it (-spark.csv), without a window or display.",
                      "LOG"});
    parser.addOption({"play",
                      "Play the data log FILE (CSV, MSL or TempLog) back through Tessek Live and its dash instead of "
                      "opening the main window; no port is opened and no data log is written.",
                      "FILE"});
    parser.addOption({"log",
                      "Log without a window or display until SIGINT or SIGTERM (tessek --log --help lists its "
                      "options: --port PATH, --seconds N, --quiet)."});
}

bool HasLogOption(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--log") == 0)
            return true;
    }
    return false;
}

// `tessek --log ...`: the headless logger on a core application.
int RunHeadless(int argc, char** argv)
{
    QCoreApplication core(argc, argv);
    std::vector<std::string> arguments;
    for (const QString& argument : QCoreApplication::arguments())
        arguments.push_back(argument.toLocal8Bit().toStdString());
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            std::fputs(tessek::HeadlessHelpText().c_str(), stdout);
            return tessek::kExitClean;
        }
    }
    std::string problem;
    const std::optional<tessek::HeadlessOptions> options = tessek::ParseHeadlessOptions(arguments, problem);
    if (!options) {
        std::fprintf(stderr, "tessek --log: %s\n", problem.c_str());
        return tessek::kExitBadOption;
    }
    tessek::HeadlessLogger logger(tessek::ProgramFolder(), *options);
    logger.StopOnSignals();
    return logger.Run();
}

// --help and --version print their text without a display, so they are answered before
// the window system is opened. Any other command line waits for the application object,
// which first takes out the toolkit's own options (-platform, -style, ...).
void AnswerWithoutDisplay(int& argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    DeclareOptions(parser);
    if (!parser.parse(arguments) || !(parser.isSet("help") || parser.isSet("version")))
        return;
    QCoreApplication core(argc, argv);
    parser.process(core);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication::setApplicationName("Tessek");
    QCoreApplication::setApplicationVersion(tessek::kVersion);
    if (HasLogOption(argc, argv))
        return RunHeadless(argc, argv);
    if (tessek::HasDynoOption(argc, argv))
        return tessek::RunDynoCommand(argc, argv);
    if (tessek::HasAdviseOption(argc, argv))
        return tessek::RunAdviseCommand(argc, argv);
    QGuiApplication::setDesktopFileName(tessek::kAppId);
    AnswerWithoutDisplay(argc, argv);

    tessek::Application app(argc, argv);
    QCommandLineParser parser;
    DeclareOptions(parser);
    parser.process(app);

    tessek::InstallMessageBoxErrorDisplay();
    // A file size limit ends a run as a full disk does, with every file cut to whole rows.
    tessek::IgnoreFileSizeSignal();
    if (parser.isSet("view")) {
        const std::string file =
            tessek::ViewOptionFile(argc, argv).value_or(QFile::encodeName(parser.value("view")).toStdString());
        const auto viewer = tessek::OpenStandaloneViewer(file, tessek::SettingsFilePath());
        return app.exec();
    }
    if (parser.isSet("play")) {
        const std::string file = tessek::ViewOptionFile(argc, argv, "--play")
                                     .value_or(QFile::encodeName(parser.value("play")).toStdString());
        std::string problem;
        const auto live = tessek::OpenPlayback(file, tessek::SettingsFilePath(), problem);
        if (!live) {
            std::fprintf(stderr, "tessek --play: %s\n", problem.c_str());
            return EXIT_FAILURE;
        }
        return app.exec();
    }
    tessek::TfrmMain window;
    tessek::AddAboutAction(window);
    window.show();
    return app.exec();
}
