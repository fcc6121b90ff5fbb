#pragma once

#include <QIcon>

namespace telvora
{

// The program's icon: a few scan lines of coloured points over a terrain profile. Drawn rather
// than loaded, so the binary needs no image plugin and stays sharp at every size.
QIcon AppIcon();

// The ribbon's picture for a command; an empty icon where the command has none.
QIcon CommandIcon(int id);

} // namespace telvora
