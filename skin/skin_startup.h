#pragma once
// The skin's start-up and its module-wide values. Start-up runs once, before
// the program creates its first window.
#include <windows.h>

namespace snipora::skin {

// Starts GDI+ for the skin (never shut down), prepares the time frame
// dimension from its text and registers the load-dialog window class.
void SkinStartup();

// GDI+'s time frame dimension as start-up parsed it; null before start-up.
const GUID* FrameDimensionTime();

// The exit routine's share: releases the frame-dimension block.
void ReleaseFrameDimension();

}  // namespace snipora::skin
