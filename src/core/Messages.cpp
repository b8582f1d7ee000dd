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
    {1101, "Unexpected EEPROM data. Please report this to Norvale. Model and Serial number "
           "reported as: "},
    {1102, "Unexpected EEPROM data. Please report this to Norvale. Wavelengths  reported as: "},
    {1103, "Unexpected EEPROM data. Please report this to Norvale. Gain reported as: "},
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
