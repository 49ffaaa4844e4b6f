#include "ui/LegalLinks.h"

#include "app/WebLinks.h"
#include "ui/ViewParts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace sayloom {

LegalLinks::LegalLinks(WebLinks& links, QWidget* parent) : QWidget(parent) {
    const std::pair<QString, void (WebLinks::*)()> pages[] = {
        {QStringLiteral("Pricing"), &WebLinks::openPricing},
        {QStringLiteral("Privacy"), &WebLinks::openPrivacy},
        {QStringLiteral("Terms"), &WebLinks::openTerms},
    };
    auto* row = new QHBoxLayout;
    row->setSpacing(16);
    row->addStretch(1);
    for (const auto& [label, open] : pages) {
        QPushButton* button = makeLinkButton(label, 12, this);
        connect(button, &QPushButton::clicked, this, [&links, open = open] { (links.*open)(); });
        row->addWidget(button);
    }
    row->addStretch(1);

    auto* line = makeTextLabel(legalLine(), 11, QFont::Normal, this);
    line->setForegroundRole(QPalette::PlaceholderText);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addLayout(row);
    layout->addWidget(line);
}

} // namespace sayloom
