// Process-wide facts of the DLL: its handle, its path and the count of live objects and
// server locks that decides whether it may be unloaded.
#pragma once

#include <windows.h>

#include <string>

namespace quorvel::com {

HINSTANCE ModuleHandle();
std::wstring ModulePath();  // full path of this DLL

void AddModuleRef();
void ReleaseModuleRef();
long ModuleRefs();

// Installs the real message boxes for the calling thread; every entry point calls it because
// the core keeps its box implementation per thread.
void UseWindowMessageBoxes();

}  // namespace quorvel::com
