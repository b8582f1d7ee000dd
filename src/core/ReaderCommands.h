#pragma once
// What a client of the link may ask of the reader: the Zero command and the wavelength
// commands, as the menu gives them. Each runs at once or is refused; none waits for later.

namespace qvr {

enum class CommandRefusal {
    None,        // the command ran
    FilterCheck, // the filter check is open
    Fault,       // a fault holds: no zero or reading could be had
    Busy,        // a message or dialog waits for the user
    ReadOnly,    // the user turned commands from other programs off
};

class ReaderCommands {
public:
    virtual ~ReaderCommands() = default;
    virtual CommandRefusal zeroCommand() = 0;
    virtual CommandRefusal wavelengthCommand(bool secondary) = 0;
};

} // namespace qvr
