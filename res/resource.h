// Resource ids shared by the resource script and the windows that load them.
#pragma once

// The program's icon: one 32 x 32 image with 256 colours.
#define IDI_GREVLIN 1
// The About panel's picture: 64 x 64, 256 colours, on the 3D-face grey
// (load it with LR_LOADMAP3DCOLORS to blend it into the panel).
#define IDB_ABOUT 2
