#pragma once

// Starts the shell again: the Windows folder's explorer.exe, minimised, without waiting.
void StartShell();
