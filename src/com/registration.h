// What the DLL writes to the registry, for the whole machine or for the current user only.
#pragma once

#include <windows.h>

#include <string>

namespace quorvel::com {

enum class Scope { Machine, User };

// Writes the class, its ProgIDs, the interface and the type library under the scope's classes
// key. On a failure part way, whatever was written is removed again.
HRESULT RegisterServer(Scope scope, const std::wstring& dllPath);

// Removes exactly what RegisterServer writes. The type library and interface entries are shared
// with the other architecture's DLL: they go only when neither architecture is left registered.
HRESULT UnregisterServer(Scope scope);

// The DllInstall command line: empty or "machine" for the machine, "user" for the current user.
bool ParseScope(const wchar_t* commandLine, Scope* scope);

}  // namespace quorvel::com
