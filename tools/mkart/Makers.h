#pragma once

namespace kestrum::mkart {

class TArtSet;

// Each maker draws one family of pictures into the set (order = order in MANIFEST.md).
void MakeFrames(TArtSet& set);       // window frame pieces, caption icon and buttons
void MakeTabs(TArtSet& set);         // the four tab buttons
void MakeOptimize(TArtSet& set);     // "Free Now" button, its animation, progress track, stars
void MakeCommon(TArtSet& set);       // command buttons, separator, logo, banner
void MakeTrayAndIcons(TArtSet& set); // tray pictures and program icons

// The optimize page's animation as a GIF file (frames, palette and timing in OptimizeArt.cpp).
} // namespace kestrum::mkart
