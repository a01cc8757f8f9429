// The user centre's pages as scenes of the storyboard "KTSuspendVC"
// (server openings ...). The container registers them with itself, so that
// every program that can show the container has its pages.
#pragma once

// Registers every page this folder builds (idempotent).
void KTSuRegisterPages();
