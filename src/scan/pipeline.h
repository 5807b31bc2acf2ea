#pragma once

// One whole scan, from the title line to the About window.
void RunRemoval();
// "Begin Removal": the Internet Explorer question, closing Internet Explorer, the scan.
void StartScan();
