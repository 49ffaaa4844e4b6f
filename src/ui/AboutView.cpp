#include "ui/AboutView.h"

#include "support/PlatformText.h"
#include "ui/LegalLinks.h"
#include "ui/SayloomIcons.h"
#include "ui/VersionLine.h"
#include "ui/ViewParts.h"

#include <QLabel>
#include <QVBoxLayout>

namespace sayloom {

AboutView::AboutView(UpdateState& updates, WebLinks& links, QWidget* parent) : QWidget(parent) {
    auto* icon = makeIconLabel(SayloomIcons::applicationIcon(), 64, this);
    auto* name = makeTextLabel(QStringLiteral("Sayloom"), 22, QFont::Bold, this);
    auto* tagLine =
        makeTextLabel(platformText(PlatformTextKey::aboutTagLine), 13, QFont::Normal, this);
    tagLine->setForegroundRole(QPalette::PlaceholderText);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 28, 24, 20);
    layout->setSpacing(0);
    layout->addWidget(icon);
    layout->addSpacing(14);
    layout->addWidget(name);
    layout->addSpacing(6);
    layout->addWidget(tagLine);
    layout->addSpacing(18);
    layout->addWidget(new VersionLine(updates, links, this));
    layout->addSpacing(14);
    layout->addWidget(new LegalLinks(links, this));
    setFixedWidth(kWidth);
}

QSize AboutView::windowSize() const {
    // The wrapped lines decide the height at this width.
    const int height = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(kWidth)
                                                     : layout()->totalSizeHint().height();
    return QSize(kWidth, height);
}

} // namespace sayloom
