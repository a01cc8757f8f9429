// The user centre's interface table: its pages as scenes of the storyboard
// "KTSuspendVC" and the nibs of their lists. The container registers them
// with itself, so that every program that can show the container has its
// pages; the program also registers them at start-up. The table is code
// the container calls, not a static registration per file, so linking
// cannot leave a page out.
#pragma once

// Registers the five pages of the bar (home, server openings, welfare,
// account trade, service), the message list, the web page and every row
// nib of the pages (idempotent).
void KTSuRegisterPages();
