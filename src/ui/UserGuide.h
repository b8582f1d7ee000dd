#pragma once
// Help > Help on QVR100 software: the short user guide, written in Markdown
// (docs/user-guide.md, compiled in) and shown as Qt renders Markdown. Not modal: the guide can
// stay open beside the reader.

#include <QWidget>

class QTextBrowser;

namespace qvr {

class UserGuide : public QWidget {
    Q_OBJECT
public:
    explicit UserGuide(QWidget* parent = nullptr);

    // The guide's Markdown text; empty if the program was built without it.
    static QString markdown();

private:
    QTextBrowser* browser_;
};

} // namespace qvr
