// The platform screens' notched-landscape test: the screen is wider than
// high, the system is version 11 or later, and the key window has a bottom
// safe-area inset. Pages that pass it move their content inward, away from
// the notch and the home indicator. Main thread.
#pragma once

// NO without a key window.
bool KTIsNotchedLandscape();
