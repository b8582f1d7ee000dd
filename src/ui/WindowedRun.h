#pragma once
// The program with its windows: start-up before the main window shows, the main loop, and
// shut-down on closing, File > Exit, SIGTERM, SIGINT or SIGHUP.

class QApplication;
class QWidget;

namespace qvr {

class Reader;

// simulated: the simulated card is in use (the main window says so). simulatorWindow, when
// given, is shown beside the main window. Returns the exit status.
int runWindowed(QApplication& app, Reader& reader, bool simulated, QWidget* simulatorWindow);

} // namespace qvr
