#pragma once
#include "platform/platform.h"

// Starts the tool by its full path with the given working folder and
// argument list, and spins a local event loop until it has ended, so the
// window keeps painting. With `showConsole` the tool's console output is
// shown as it arrives: in its own console on Windows, elsewhere in a small
// window of ours that goes away when the tool ends.
ToolRun runToolAndWait(QWidget *parent, const ToolStart &start);
