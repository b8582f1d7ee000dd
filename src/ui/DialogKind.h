#pragma once
// What the reader's dialogs share: a fixed size with a close box and nothing else in the
// title bar, and modality to the reader's own windows only.

#include <QDialog>

namespace qvr {

inline constexpr Qt::WindowFlags kFixedDialogFlags =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;

// Modal to the parent's window hierarchy: the simulator's window, which has no parent, stays
// usable, as the head in the user's hands would. Without a parent (start-up) the dialog is
// modal to the application.
inline void makeModalTo(QDialog* dialog, QWidget* parent) {
    dialog->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
}

} // namespace qvr
