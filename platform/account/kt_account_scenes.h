// The account folder's interface table: every storyboard scene and nib the
// login window, its chain of pages and the pay sheet show, registered with
// kit's scene registry by one call that the program makes at start-up.
// Each screen's own opening also registers what it needs, so a program or
// test that opens one screen directly does not depend on this call.
#pragma once

// Registers the storyboards "KTUserShow" (the login window, the notice, the
// agreement and forgotten-password pages, the sub-account chooser) and
// "KTNewPayVC" (the pay sheet and its coupon picker), and the nibs of the
// real-name form, the chooser's rows, the picker's rows and the pay notice
// (idempotent).
void KTAccountRegisterScenes();
