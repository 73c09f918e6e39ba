// What the DLL writes to the registry, for the whole machine or for the current user only.
#pragma once

#include <windows.h>

#include <string>

namespace quorvel::com {

enum class Scope { Machine, User };

// Writes the class, its ProgIDs, the interface and the type library under the scope's classes
// key. On a failure part way, whatever was written is removed again.
HRESULT RegisterServer(Scope scope, const std::wstring& dllPath);

// Removes what RegisterServer writes, beside the other architecture's registration: its own
// view's classes and interfaces always, the ProgIDs and the type library's shared entry only
// when the other view no longer registers them (see registration_plan.h).
HRESULT UnregisterServer(Scope scope);

// The DllInstall command line: empty or "machine" for the machine, "user" for the current user.
bool ParseScope(const wchar_t* commandLine, Scope* scope);

}  // namespace quorvel::com
