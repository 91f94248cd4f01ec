#include "app/DynoCommand.h"

#include "analysis/ChannelDisplay.h"
#include "analysis/DynoOptions.h"
#include "analysis/PowerCurve.h"
#include "app/CommandOptions.h"
#include "logfiles/LogFile.h"
#include "platform/AtomicFile.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"

#include <QCoreApplication>

#include <cmath>
#include <cstring>
#include <exception>
#include <optional>

namespace tessek {
namespace {

constexpr const char* kUsage = "tessek --dyno LOG [--out FILE]";

std::string BesideLog(const std::string& log)
{
    return PathStem(log) + "-dyno.csv";
}

std::string CurveCsv(const PowerCurve& curve)
{
    std::string csv = "Engine Speed (rpm),Power (hp),Torque (lb-ft),Samples\r\n";
    for (const PowerCurvePoint& p : curve.Points) {
        char row[96];
        std::snprintf(row, sizeof row, "%.0f,%.2f,", p.Rpm, p.Power);
        csv += row;
        if (!std::isnan(p.Torque)) {
            std::snprintf(row, sizeof row, "%.2f", p.Torque);
            csv += row;
        }
        csv += "," + std::to_string(p.Samples) + "\r\n";
    }
    return csv;
}

}  // namespace

bool HasDynoOption(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--dyno") == 0 || std::strncmp(argv[i], "--dyno=", 7) == 0)
            return true;
    return false;
}

int RunDyno(const std::vector<std::string>& arguments, const std::string& settingsFile, std::FILE* out, std::FILE* err)
{
    std::string log, file;
    for (size_t i = 1; i < arguments.size(); ++i) {
        bool missing = false;
        std::optional<std::string> value = OptionValue(arguments, i, "--dyno", missing);
        std::string* into = &log;
        if (!value) {
            value = OptionValue(arguments, i, "--out", missing);
            into = &file;
        }
        if (!value) {
            std::fprintf(err, "tessek --dyno: unknown option \"%s\" (usage: %s)\n", arguments[i].c_str(), kUsage);
            return kDynoBadOption;
        }
        if (missing) {
            std::fprintf(err, "tessek --dyno: %s needs a file name (usage: %s)\n", into == &log ? "--dyno" : "--out",
                         kUsage);
            return kDynoBadOption;
        }
        *into = *value;
    }
    if (file.empty())
        file = BesideLog(log);
    if (file == log) {
        std::fprintf(err, "tessek --dyno: --out names the log itself (usage: %s)\n", kUsage);
        return kDynoBadOption;
    }
    const std::string name = PathFileName(log);
    LogReadResult read = ReadLogFile(log);
    if (!read.Ok()) {
        std::fprintf(err, "tessek --dyno: %s: %s\n", name.c_str(), read.Error.c_str());
        return kDynoNoCurve;
    }
    ShowInUnits(read.Data, UnitSystem::Imperial);
    const DynoRun run(read.Data);
    DynoOptions options;
    try {
        options = ReadDynoOptions(IniFile(settingsFile));
    } catch (const std::exception& e) {
        std::fprintf(err, "tessek --dyno: settings not read, none applied: %s\n", e.what());
    }
    const PowerCurve curve = run.Curve(options);
    if (!curve.Ok()) {
        std::fprintf(err, "tessek --dyno: %s: %s\n", name.c_str(), curve.Problem.c_str());
        return kDynoNoCurve;
    }
    try {
        WriteFileAtomically(file, CurveCsv(curve));
    } catch (const std::exception& e) {
        std::fprintf(err, "tessek --dyno: %s\n", e.what());
        return kDynoNoCurve;
    }
    const PullFinding& found = run.Found();
    for (size_t p = 0; p < found.Pulls.size(); ++p) {
        const Pull& pull = found.Pulls[p];
        std::fprintf(out, "Pull from %.1f s, gear %d, %.0f-%.0f rpm: %s\n", pull.Start, pull.Gear, pull.RpmFrom,
                     pull.RpmTo, run.Chosen()[p] ? "in the curve" : "not in the curve");
    }
    if (const std::string left = LeftOutText(found); !left.empty())
        std::fprintf(out, "%s\n", left.c_str());
    std::fprintf(out, "Peak power %.1f hp at %.0f rpm\nPeak torque %.1f lb-ft at %.0f rpm\n", curve.PeakPower,
                 curve.PeakPowerRpm, curve.PeakTorque, curve.PeakTorqueRpm);
    for (const std::string& note : {curve.RoadLoadNote, curve.CorrectionNote})
        if (!note.empty())
            std::fprintf(out, "%s\n", note.c_str());
    std::fprintf(out, "%s\n", file.c_str());
    return kDynoWritten;
}

int RunDynoCommand(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv, argv + argc);
    QCoreApplication core(argc, argv);
    return RunDyno(arguments, SettingsFilePath(), stdout, stderr);
}

}  // namespace tessek
