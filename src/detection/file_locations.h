#pragma once

// The file stage: the Windows and system folders, "warnhp.html" and the
// temporary folder's "se.dll".
void ScanFileLocations();
