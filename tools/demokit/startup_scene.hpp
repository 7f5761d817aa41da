// The scene as the program's start-up leaves it, for the inspecting
// subcommands: description and text wall loaded, animation attached, update
// order built and every world matrix computed. Released in the program's
// shutdown order.
#pragma once

void buildStartupScene();
void releaseStartupScene();
