#pragma once
// The one reversible mapping between a label's text and the string served on the bus.
//
// A D-Bus string must be valid UTF-8 without NUL, and a served text should stay one printable
// line. The head record in lblEEPROM holds one character per byte (U+0000..U+00FF) and may
// carry anything, so every served text goes through toLinkText():
//
//   backslash  becomes  \\ (two backslashes)
//   U+0000..U+001F, U+007F..U+009F (control characters)
//              become   \xHH   (two upper-case hex digits: NUL is \x00, 0x9B is \x9B)
//   a UTF-16 surrogate that is not part of a pair
//              becomes  \uHHHH (four upper-case hex digits)
//
// Everything else passes unchanged, so ordinary texts ("Zeroing", " 0.123", "600 nm") are served
// as they are, and bytes 0xA0..0xFF of the head record arrive as the characters U+00A0..U+00FF.
// fromLinkText() undoes the mapping exactly: fromLinkText(toLinkText(t)) == t for every t.

#include <QString>

namespace qvr {

QString toLinkText(const QString& text);

// Reverses toLinkText(). A backslash that does not start one of the three forms above is kept
// as it is, so a text that was never mapped comes back unchanged unless it holds such a form.
QString fromLinkText(const QString& served);

} // namespace qvr
