// Finding and closing a program's top-level windows on an X display, as a
// person or a window manager would: the window a program shows under its
// title, and the close request a window manager sends when the person
// closes it.
#pragma once

#include <string>

// Xlib's display, declared as Xlib declares it, so that this header does not
// bring Xlib's macros into the code that includes it.
typedef struct _XDisplay Display;

namespace kit::test {

// The shown X window titled `title`, searched from `under` (or, unless
// `shownOnly`, one made and not shown yet, taller and wider than GDK's
// 10 x 10 hidden leader window, which carries the program's name too);
// 0 when none. A window destroyed while the tree is searched is skipped.
unsigned long windowTitled(Display* display, unsigned long under, const std::string& title, bool shownOnly = true);

// What the window manager sends when a person closes `window`.
void requestClose(Display* display, unsigned long window);

}  // namespace kit::test
