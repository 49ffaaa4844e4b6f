#pragma once

namespace sayloom {

// Qt leaves pop-up windows out of the application's accessible children: a screen reader finds
// the tray menu only through its focus events, and a review of the application's windows (or
// anything else that walks the tree) never does. After this call the application's accessible
// object lists its showing pop-ups after its other windows. Call it once, right after the
// QApplication is made and before anything asks for accessible objects.
void includePopupsInAccessibleTree();

} // namespace sayloom
