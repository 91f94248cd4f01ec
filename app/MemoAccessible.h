#pragma once
// What a screen reader sees of the main window's text area: an editable multi-line text
// whose lines, cursor and selection it reads and whose text it may change, straight from
// the widget's line store. Window thread only.
class QAccessibleInterface;
class QObject;
class QString;

namespace tessek {

// Registers the interface for MemoWidget with Qt's accessibility (once per process).
void InstallMemoAccessibleFactory();

}  // namespace tessek
