#pragma once

// The tool with its window, until the window is closed; the exit code. A
// build without Qt Widgets has no window and says so instead.
int runWindow(int argc, char** argv);
