#include "SystemTerminal.h"

// No console backend in this build: the shell reads plain lines.
std::unique_ptr<Terminal> SystemTerminal::Open() { return nullptr; }
