#pragma once

// Fills gProtectedNames: the system file names the matcher never examines.
void LoadProtectedNames();
