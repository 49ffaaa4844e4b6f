#pragma once

#include <QFont>
#include <QIcon>
#include <QString>

class QColor;
class QFrame;
class QLabel;
class QPushButton;
class QWidget;

namespace sayloom {

// Pieces the windows' views share: their icons and their text styles.

// One of the icons built into the views' resources: "google", "github", "busy", "lock",
// "warning", "error", "download", and the one-colour symbols listed with symbolIcon().
QIcon viewIcon(const QString& name);
// The resource path of that icon's SVG file.
QString viewIconPath(const QString& name);
// The desktop theme's icon `themeName`, or ours when the theme has none.
QIcon themedViewIcon(const QString& themeName, const QString& fallbackName);
// The desktop theme's symbol `themeName`, or our one-colour symbol `fallbackName` drawn in
// `colour` ("person", "keyboard", "speech", "clock", "quote", "tone", "settings", "help",
// "sign-out", "quit", "chevron", "tone-off", "tone-formal", "tone-casual", "tone-bullets").
QIcon symbolIcon(const QString& themeName, const QString& fallbackName, const QColor& colour);

// A label in a pixel size and weight, centred and wrapped, that screen readers read as its text.
QLabel* makeTextLabel(const QString& text, int pixelSize, QFont::Weight weight,
                      QWidget* parent = nullptr);
// The same, aligned left and centred vertically, for rows and paragraphs.
QLabel* makeLeftTextLabel(const QString& text, int pixelSize, QFont::Weight weight,
                          QWidget* parent = nullptr);
// Greys `label` as secondary text; returns it.
QLabel* secondary(QLabel* label);
// A decorative icon of `pixelSize`, centred.
QLabel* makeIconLabel(const QIcon& icon, int pixelSize, QWidget* parent = nullptr);
// A button that reads as a link: text in the palette's link colour, underlined under the pointer
// and with the keyboard focus, which it takes like any button.
QPushButton* makeLinkButton(const QString& text, int pixelSize, QWidget* parent = nullptr);
// A push button with room on both sides of its text, which some styles draw edge to edge.
QPushButton* makeButton(const QString& text, QWidget* parent = nullptr);
// The same room for a button whose icon and text are set (measured once, from them).
void padSides(QPushButton* button);
// A section's title over its card, left-aligned.
QLabel* makeSectionTitle(const QString& text, QWidget* parent = nullptr);
// A rounded panel in the base colour with a vertical layout, for one section's rows.
QFrame* makeCard(QWidget* parent = nullptr);

} // namespace sayloom
