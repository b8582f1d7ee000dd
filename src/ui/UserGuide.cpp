#include "ui/UserGuide.h"

#include <QFile>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace qvr {

QString UserGuide::markdown() {
    QFile file(QStringLiteral(":/qvr100/user-guide.md"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

UserGuide::UserGuide(QWidget* parent) : QWidget(parent, Qt::Window), browser_(new QTextBrowser) {
    setObjectName(QStringLiteral("userGuide"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("QVR100 user guide"));
    browser_->setObjectName(QStringLiteral("guideText"));
    browser_->setOpenLinks(false); // the guide has no links to follow
    const QString text = markdown();
    browser_->setMarkdown(text.isEmpty() ? QStringLiteral("The user guide is not available.")
                                         : text);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_);
    const QFontMetrics fm = browser_->fontMetrics();
    resize(fm.averageCharWidth() * 80, fm.lineSpacing() * 36);
}

} // namespace qvr
