#pragma once

#include <QIcon>

namespace telvora
{

// The property panes' toolbar images, drawn rather than loaded, so that they scale with the
// screen and need no image files: a tree with plus signs (expand all), A over Z with an arrow
// (alphabetical order), a list labelled "VRL" (variable length records), and a blank image for
// the buttons that do nothing. Any other command gets the blank image.
QIcon PaneCommandIcon(int commandId);

} // namespace telvora
