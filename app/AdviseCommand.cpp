#include "app/AdviseCommand.h"

#include "analysis/Advice.h"
#include "analysis/ChannelDisplay.h"
#include "app/CommandOptions.h"
#include "logfiles/LogFile.h"
#include "logging/Units.h"
#include "platform/AtomicFile.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "platform/TextNumbers.h"

#include <QCoreApplication>

#include <cstring>
#include <exception>
#include <optional>

namespace tessek {
namespace {

constexpr const char* kUsage = "tessek --advise LOG [--target AFR] [--out FILE]";

std::string SparkBeside(const std::string& fuel)
{
    std::string stem = PathStem(fuel);
    if (stem.ends_with("-fuel"))
        stem.resize(stem.size() - 5);
    return stem + "-spark.csv";
}

}  // namespace

bool HasAdviseOption(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--advise") == 0 || std::strncmp(argv[i], "--advise=", 9) == 0)
            return true;
    return false;
}

int RunAdvise(const std::vector<std::string>& arguments, const std::string& settingsFile, std::FILE* out,
              std::FILE* err)
{
    std::string log, file, target;
    for (size_t i = 1; i < arguments.size(); ++i) {
        bool missing = false;
        std::string* into = nullptr;
        std::optional<std::string> value;
        for (auto [name, field] : {std::pair{"--advise", &log}, {"--out", &file}, {"--target", &target}}) {
            if ((value = OptionValue(arguments, i, name, missing))) {
                into = field;
                if (missing) {
                    std::fprintf(err, "tessek --advise: %s needs a value (usage: %s)\n", name, kUsage);
                    return kAdviseBadOption;
                }
                break;
            }
        }
        if (!into) {
            std::fprintf(err, "tessek --advise: unknown option \"%s\" (usage: %s)\n", arguments[i].c_str(), kUsage);
            return kAdviseBadOption;
        }
        *into = *value;
    }
    if (log.empty()) {
        std::fprintf(err, "tessek --advise: --advise needs a value (usage: %s)\n", kUsage);
        return kAdviseBadOption;
    }
    std::optional<double> targetAfr;
    if (!target.empty()) {
        targetAfr = ParseFloat(target);
        if (!targetAfr || *targetAfr < 6 || *targetAfr > 25) {
            std::fprintf(err, "tessek --advise: --target takes an AFR from 6 to 25, not \"%s\"\n", target.c_str());
            return kAdviseBadOption;
        }
    }
    if (file.empty())
        file = PathStem(log) + "-fuel.csv";
    const std::string sparkFile = SparkBeside(file);
    if (file == log || sparkFile == log) {
        std::fprintf(err, "tessek --advise: --out would write over the log itself (usage: %s)\n", kUsage);
        return kAdviseBadOption;
    }

    AdviceSettings settings;
    UnitSystem units = UnitSystem::Imperial;
    try {
        const IniFile ini(settingsFile);
        std::string problem;
        units = ReadUnitSystem(ini);
        settings.Target = ReadAfrTargets(ini, &problem);
        if (!problem.empty())
            std::fprintf(err, "tessek --advise: %s\n", problem.c_str());
        settings.Delay = ReadDelays(ini, &problem);
        if (!problem.empty())
            std::fprintf(err, "tessek --advise: %s\n", problem.c_str());
    } catch (const std::exception& e) {
        std::fprintf(err, "tessek --advise: settings not read, the defaults are used: %s\n", e.what());
    }
    if (targetAfr)
        settings.Target = UniformAfrTarget(*targetAfr);

    const std::string name = PathFileName(log);
    LogReadResult read = ReadLogFile(log);
    if (!read.Ok()) {
        std::fprintf(err, "tessek --advise: %s: %s\n", name.c_str(), read.Error.c_str());
        return kAdviseNoAdvice;
    }
    ShowInUnits(read.Data, units);
    const Advice advice = ComputeAdvice(read.Data, settings);
    if (!advice.Problem.empty()) {
        std::fprintf(err, "tessek --advise: %s: %s\n", name.c_str(), advice.Problem.c_str());
        return kAdviseNoAdvice;
    }
    try {
        WriteFileAtomically(file, advice.FuelTable(','));
        WriteFileAtomically(sparkFile, advice.SparkTable(','));
    } catch (const std::exception& e) {
        std::fprintf(err, "tessek --advise: %s\n", e.what());
        return kAdviseNoAdvice;
    }
    size_t cells = 0, clipped = 0;
    for (const FuelCell& cell : advice.Fuel) {
        cells += cell.Enough() ? 1 : 0;
        clipped += cell.Clipped ? 1 : 0;
    }
    std::fprintf(out, "%s\n", advice.Summary().c_str());
    std::fprintf(out, "Fuel corrections in %zu cells (%zu clipped at %.0f %%)%s\n", cells, clipped,
                 advice.Limits.ClipPercent, cells == 0 ? ", none with enough samples" : "");
    std::fprintf(out, "%s %s\n",
                 advice.Spark.empty() ? "No knock retard logged, the spark table is empty:"
                                      : "Spark advice (whole degrees to take out):",
                 sparkFile.c_str());
    std::fprintf(out, "%s\n", file.c_str());
    return kAdviseWritten;
}

int RunAdviseCommand(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv, argv + argc);
    QCoreApplication core(argc, argv);
    return RunAdvise(arguments, SettingsFilePath(), stdout, stderr);
}

}  // namespace tessek
