// The creatable classes: one table from which the class objects are handed out and the
// registration is written. The identifiers are widl's constants from the IDL, their only source.
#pragma once

#include <windows.h>

#include <span>

namespace quorvel::com {

struct CoClass {
    const wchar_t* name;  // the coclass, also the ProgIDs' description
    const CLSID* clsid;
    const wchar_t* progId;
    const wchar_t* versionedProgId;
    const wchar_t* interfaceName;
    const IID* iid;  // the default interface
    HRESULT (*getClassObject)(REFIID riid, void** object);
};

std::span<const CoClass> Classes();

}  // namespace quorvel::com
