#pragma once
// What every tab of the log viewer hears from its window: a log was opened (or the log
// shown was read again), the visible time range changed, the units changed. A tab is a
// widget that also derives from ViewerTab and overrides what it needs; the window
// registers it with one line (LogViewerWindow's constructor) and tells it of each event in
// the order of registration. Window thread only.
#include <QString>
#include <string>

#include "logging/Units.h"

namespace tessek {

struct OpenedLog {
    QString Name;  // the file's name, "run.csv"
    // The log shown, read again (a run still writing it): the model has kept its visible
    // range and cursor, and a tab keeps what the user chose in it.
    bool Reloaded = false;
    // The file's path as the system's bytes, for what a run keeps beside its log.
    std::string NativePath;
};

class ViewerTab {
public:
    virtual ~ViewerTab() = default;

    // The window's LogViewModel holds a new log.
    virtual void LogOpened(const OpenedLog& log) = 0;
    // The model's visible time range changed (a zoom or pan in the Channels tab, a new log).
    virtual void VisibleRangeChanged() {}
    // The units logs are shown in; told at registration and on each change, before the log
    // shown is opened again in the new units.
    virtual void UnitsChanged(UnitSystem /*units*/) {}
};

}  // namespace tessek
