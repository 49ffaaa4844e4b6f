#pragma once

#include <QString>
#include <QWidget>

namespace sayloom {

class WebLinks;

// "Pricing", "Privacy" and "Terms" on one line, and the legal line under them. The links must
// outlive it.
class LegalLinks final : public QWidget {
    Q_OBJECT

public:
    explicit LegalLinks(WebLinks& links, QWidget* parent = nullptr);

    static QString legalLine() {
        return QStringLiteral("© Sayloom. Dictation is processed by the Sayloom service.");
    }
};

} // namespace sayloom
