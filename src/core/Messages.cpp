#include "core/Messages.h"

#include <QtGlobal>
#include <algorithm>
#include <iterator>

namespace qvr {

namespace {

struct Entry {
    int id;
    const char* text; // UTF-8
};

constexpr Entry kTexts[] = {
    {100, "&File"},
    {101, "E&xit"},
    {110, "&Setup"},
    {113, "&Neutral Density Filter Check"},
    {114, "&Zero"},
    {115, "&Wavelength"},
    {116, "WL1 nm"},
    {118, "&Port"},
    {119, "WL2 nm"},
    {120, "&Help"},
    {121, "&Help on QVR100 software"},
    {122, "&About QVR100 software"},
    {200, "Port Address Setup"},
    {201, "Select the card connected to the reader you wish to use."},
    {202, "Card"},
    {203, "No PCI-DAS08 was found. Load its driver (sudo modprobe das08_pci), check that "
          "ls -l /dev/comedi* lists the card and that you are in the group iocard, then choose "
          "Setup, Port again."},
    {208, "&Accept"},
    {209, "&Cancel"},
    {300, "Neutral Density Filter Check"},
    {301, "Remove dosimeters and filters from the reader and zero the reader.Then read any or "
          "all of the neutral density filters by pressing the appropriate button."},
    {302, "&Close"},
    {303, "&Zero"},
    {304, "&Light Filter"},
    {305, "&Medium Filter"},
    {306, "&Dark Filter"},
    {308, "NDF Filter Check Results"},
    {309, "Please remove the film holder and insert the filter holder into the QVR-100 reader "
          "head."},
    {310, "To continue reading film, remove the filter holder and insert the film holder into "
          "the QVR-100 reader head."},
    {400, "About QVR100"},
    {401, "QVR100-PCI Tintafilm Reader System"},
    {402, "Version 2.6.0"},
    {403, "Applet that is a server to other programs in order to provide absorbance readings "
          "for Tintafilm Dosimeter"},
    {404, "\xC2\xA9 Norvale. Dose values depend on a film calibration made on this reader; "
          "check the reader with its filter set before each series."},
    {405, "OK"},
    {1010, "Caution: Lamp is growing dim. Consider replacing it soon."},
    {1011, "Caution: Something may be blocking the light path or the lamp may need replacing."},
    {1012, "Take the film out of the holder to zero"},
    {1013, "Something is in the light path: the zero is darker than this head's clear-path zero "
           "by A = "},
    {1014, "&Accept this zero as clear path"},
    {1015, "Take the zero as this head's clear path? Do so only with the film holder in and "
           "nothing in the light path, after a lamp change or a new gain: from now on a zero "
           "darker than this one is refused."},
    {1101, "Unexpected EEPROM data. Please report this to Norvale. Model and Serial number "
           "reported as: "},
    {1102, "Unexpected EEPROM data. Please report this to Norvale. Wavelengths  reported as: "},
    {1103, "Unexpected EEPROM data. Please report this to Norvale. Gain reported as: "},
    {1104, "The card did not answer while the head record was read. The head is not known: "
           "no readings are taken until its record has been read whole, which the reader tries "
           "again every 3 seconds (or choose the board in Setup, Port). The card reported: "},
    {1105, "The stored gain %1 \"%2\" is not a number above 0; this run uses gain %3 and "
           "leaves it unchanged"},
    {1201, "cannot read the settings file %1 (%2): every setting takes its default and nothing "
           "is stored this run"},
    {1202, "the settings file %1 is damaged (a byte-order mark or lines that are no setting; "
           "%2): the settings that could be read are used"},
    {1301, "QVR100PCI is already running"},
    {1302, "cannot take the one-instance lock: %1"},
    {1303, "%1 is in use by another QVR100PCI"},
    {1304, "Choose another board, or end the other program first."},
    {1305, "No D-Bus session bus, readings are not served to other programs"},
    {1306, "The session bus refused the name %1 (%2), readings are not served to other programs"},
    {1307, "Cannot publish the readings at %1 on the session bus"},
};

} // namespace

QString text(int id) {
    const auto* it = std::lower_bound(std::begin(kTexts), std::end(kTexts), id,
                                      [](const Entry& e, int v) { return e.id < v; });
    if (it == std::end(kTexts) || it->id != id) {
        qWarning("QVR100PCI: no text with id %d", id);
        return {};
    }
    return QString::fromUtf8(it->text);
}

QList<int> textIds() {
    QList<int> ids;
    for (const Entry& e : kTexts)
        ids.append(e.id);
    return ids;
}

} // namespace qvr
