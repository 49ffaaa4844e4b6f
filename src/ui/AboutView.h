#pragma once

#include <QString>
#include <QWidget>

namespace sayloom {

class UpdateState;
class WebLinks;

// The about window's content, centred: the application icon, the name, the tag line, the
// version line and the legal links. Its height follows its content at a fixed width.
class AboutView final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 380;
    static QString windowTitle() { return QStringLiteral("About Sayloom"); }

    AboutView(UpdateState& updates, WebLinks& links, QWidget* parent = nullptr);

    // The window's size for this content.
    QSize windowSize() const;
};

} // namespace sayloom
