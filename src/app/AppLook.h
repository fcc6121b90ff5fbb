#pragma once

#include <QPalette>

namespace telvora
{

// The five looks of the Style menu, by command ID (215 to 219). Each is the Fusion style with a
// palette of its own, so that they differ visibly on every desktop.
bool IsLookId(int id);

// The palette of a look; the Windows 7 look for an unknown ID.
QPalette LookPalette(int id);

// Applies style and palette to the whole application.
void ApplyLook(int id);

} // namespace telvora
