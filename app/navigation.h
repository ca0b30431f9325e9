// Path arithmetic of the shell: the start folder, Back and the window title.
// Portable: no windows.h; paths use backslashes as the program writes them.
#pragma once

#include <cstddef>

// The parent of the folder that holds the executable; a folder that is a
// drive ("C:") is not cut further. The text is copied unchanged.
void StartFolder(char* out, size_t size, const char* modulePath);

// Back: cuts the path at its last backslash. False (path unchanged) when it
// holds fewer than 3 characters or no backslash.
bool BackPath(char* path);

// The text after the last backslash; empty when the path ends in one, the
// whole path when it has none.
const char* LastComponent(const char* path);

// "<title> - <last component>" for paths longer than 2 characters; false
// (out untouched) for shorter ones, which leave the caption as it was.
bool FormatScanTitle(char* out, size_t size, const char* title, const char* path);
