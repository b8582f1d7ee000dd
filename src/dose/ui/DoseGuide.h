#pragma once
// Help > Dose workstation guide: docs/dose-guide.md, compiled in and shown as Qt renders
// Markdown, beside the window rather than over it.

#include <QWidget>

namespace qvr::dose {

class DoseGuide : public QWidget {
    Q_OBJECT
public:
    explicit DoseGuide(QWidget* parent = nullptr);
    static QString markdown(); // empty if built without it
};

} // namespace qvr::dose
