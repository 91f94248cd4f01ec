#pragma once
// The logging run behind the main window's Log button: handshake, header, then one
// time-stamped line of the eight configured LM addresses per sample until Log is pressed
// again, and the automatic save of the text area to "TempLog<n>.txt" in the program
// folder.
//
// Window thread only. The run's waits pump window events, so btnLogClick is re-entered
// by the second press of Log, which only clears the busy mark; the running call notices
// it after the slot in progress. A port error (EComPort) ends the run: the lines logged so
// far are still saved, then the error propagates to the caller with the busy mark left
// set. A failure to write the log or the settings file propagates as well (a std::
// runtime_error naming the file and the reason); the run's text is then marked unsaved
// (LogRunState::Unsaved), so that the window keeps it until it is saved or discarded.
//
// The automatic log's number is never below 1; at 2147483647 numbering stops: that file
// is written once, and a run that finds it taken reports it and saves nothing.
#include "lm/CommandHost.h"
#include "logging/Decoders.h"
#include "logging/ParamCatalogue.h"
#include "logging/RunColumns.h"
#include "logging/RunRecord.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tessek {

class CommandHost;
class IniFile;
struct LoggingSettings;

// The values the decoders and the performance figures share, and whether the last run's
// text is unsaved. A front end keeps one (zero at start-up, kept from one run to the
// next) and hands it to every run.
struct LogRunState {
    float PrevMph = 0;     // SampleMph after the previous sample
    float PrevRpm = 0;     // SampleRpm after the previous sample
    float SampleMph = 0;   // road speed of the last sample, unrounded
    float SampleRpm = 0;   // engine speed of the last sample
    float BaroRef = 0;     // raw barometric byte read at the start of the run
    bool Unsaved = false;  // the last run's text could not be saved to its automatic log
};

class RunObserver;

class LogRun {
public:
    // A sample without any request (every slot skipped) waits this long for window
    // events, so that such a run stays stoppable and adds lines at a bounded pace.
    static constexpr uint32_t kIdleSamplePaceMs = 10;

    // `observers` (none may be null) hear of the run's columns, of every sample line added
    // and of the run's end, however it ends (see logging/RunRecord.h).
    // `state` is the front end's, updated in place; it must outlive the run.
    LogRun(CommandHost& host, LoggingSettings& settings, IniFile& settingsIni, DisplayTextLookup displayText,
           LogRunState& state, std::vector<RunObserver*> observers = {});

    // The Log button: starts a run when the busy mark is clear, otherwise stops the
    // running command. Returns when the run (or the stop request) is done.
    void StartOrStop();

    // Sets the run's next marker (1, 2, ... within the run) with `text`; the next sample
    // reported to the observers carries it (RunSample::Marker). Returns its number, or
    // nothing when the run is not logging samples (before the handshake, after the end, or
    // a run object that only stops another), where a mark does nothing. The text lines of
    // the window and the automatic log are not changed by markers.
    std::optional<int> Mark(const std::string& text);

    // One slot of a sample: asks the LM for `address` (a two-byte value's low byte first),
    // each request waiting with the sample-rate reply count, and appends the text of the
    // address's row in the parameter table, as the link's last received bytes give it.
    // Returns what the slot gave (none for a skipped slot): its value from the LM's
    // answers, missing when a request went unanswered.
    std::optional<SlotReading> DecodeSlot(uint8_t address, std::string& line);

private:
    // Where the automatic log numbered `saveNum` goes.
    std::string TempLogPath(int32_t saveNum) const;
    // Sends one request of the current slot and notes its reply.
    // The link's last received byte, for the window's text; the answer goes to slotAnswers_.
    uint8_t Request(uint8_t address);
    void WriteHeader();
    void SampleLoop();
    void EndOfRun();
    void SaveAutomaticLog();

    CommandHost& host_;
    LoggingSettings& settings_;
    IniFile& ini_;
    DisplayTextLookup displayText_;
    LogRunState& state_;
    std::vector<RunObserver*> observers_;
    bool sampling_ = false;                             // between the run's start for the observers and its end
    int markers_ = 0;                                   // markers set in this run
    std::deque<RunMarker> pendingMarkers_;              // set, not yet carried by a sample
    std::vector<uint8_t> slotReplies_;                  // the replies of the slot being decoded, in order
    int sampleRequests_ = 0;                            // requests of the sample being built
    std::vector<std::optional<LmAnswer>> slotAnswers_;  // the LM's answers to the slot's requests
    int sampleMissed_ = 0;                              // requests of the sample left unanswered
    uint32_t startTick_ = 0;                            // the link's tick at the first sample
    // The header's baro request went unanswered (MAP, reckoned from it, is then missing
    // in the data logs); this sample's and the previous sample's answered speeds, for the
    // figures of the data logs.
    bool baroMissed_ = false;
    std::optional<double> answeredMph_, answeredRpm_, prevAnsweredMph_, prevAnsweredRpm_;
};

}  // namespace tessek
