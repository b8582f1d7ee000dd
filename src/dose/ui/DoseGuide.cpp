#include "dose/ui/DoseGuide.h"

#include <QFile>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace qvr::dose {

QString DoseGuide::markdown() {
    QFile file(QStringLiteral(":/qvr100dose/dose-guide.md"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

DoseGuide::DoseGuide(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("doseGuide"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("QVR100 dose workstation guide"));
    auto* browser = new QTextBrowser(this);
    browser->setObjectName(QStringLiteral("guideText"));
    browser->setOpenLinks(false);
    const QString text = markdown();
    browser->setMarkdown(text.isEmpty() ? QStringLiteral("The guide is not available.") : text);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser);
    const QFontMetrics fm = browser->fontMetrics();
    resize(fm.averageCharWidth() * 90, fm.lineSpacing() * 36);
}

} // namespace qvr::dose
