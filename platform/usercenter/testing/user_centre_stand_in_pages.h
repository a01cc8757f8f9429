// Test support for the container's tests: the user centre's pages, which
// the container's scene registration also registers, made sure of before
// a test builds a container.
#pragma once

// Registers the user centre's page scenes of the storyboard "KTSuspendVC".
void registerUserCentreStandInPages();
