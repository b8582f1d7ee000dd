#pragma once
// The program's exit statuses: one table, which --help prints and every way out uses.

namespace qvr {

enum ExitStatus : int {
    kExitNormal = 0,
    // Refused to start: another instance runs, no lock, --headless without a session bus, or
    // (--headless) the card is another instance's.
    kExitRefused = 1,
    kExitUsage = 2,
    // --headless lost its session bus: its unit restarts it once the bus is back.
    kExitBusLost = 3,
    // Nothing to read: a refusal a restart cannot mend (RestartPreventExitStatus=).
    kExitNothingToRead = 4,
};

struct ExitStatusText {
    ExitStatus status;
    const char* meaning;
};

inline constexpr ExitStatusText kExitStatusTexts[] = {
    {kExitNormal, "a normal end: the shut-down has run"},
    {kExitRefused, "the program refused to start: another instance runs, the one-instance lock "
                   "cannot be had, --headless has no session bus, or (--headless) its card is "
                   "driven by another instance"},
    {kExitUsage, "a usage error"},
    {kExitBusLost, "--headless lost the session bus; its shut-down has run and a restart may "
                   "help"},
    {kExitNothingToRead, "nothing to read, which a restart cannot mend: no card to choose "
                         "(--headless), or a wrong QVR100_DAQ, --simulate or scenario"},
};

} // namespace qvr
