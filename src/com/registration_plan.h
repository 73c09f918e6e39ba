// What unregistering removes, decided from the registry as both architectures see it. Windows 7
// and later share the ProgID and TypeLib keys under Software\Classes between the 32- and 64-bit
// views and keep CLSID and Interface per view; older 64-bit Windows and Wine keep the ProgIDs per
// view too. The plan is right for both: shared keys are removed through both views, and only
// when the other view no longer needs them. Plain text, so that it is decided (and tested)
// without a registry.
#pragma once

#include <string>
#include <vector>

namespace quorvel::com {

struct ClassNames {
    std::string clsid;  // "{...}"
    std::string progId;
    std::string versionedProgId;
    std::string iid;  // of the class's default interface
};

struct LibraryNames {
    std::string libid;          // "{...}"
    std::string version;        // "1.0"
    std::string platform;       // this DLL's: "win32" or "win64"
    std::string otherPlatform;  // the other architecture's
};

// The registry as the other architecture sees it, per class of the table and for the type
// library. A machine without a second view (32-bit Windows) has everything false.
struct OtherView {
    std::vector<bool> registersClass;  // CLSID\{clsid}\InprocServer32 exists there
    bool hasTypeLibEntry = false;      // TypeLib\{libid}\<version>\0\<otherPlatform> exists
};

enum class Views { Own, Both };                // Both: through the 32- and the 64-bit view
enum class Removal { Tree, IfNoSubkeysLeft };  // IfNoSubkeysLeft: its values go with it

struct RemovalStep {
    Views views;
    Removal how;
    std::string key;  // below Software\Classes
};

// The steps, in order, that undo this DLL's registration beside the other architecture's.
std::vector<RemovalStep> UnregisterSteps(const std::vector<ClassNames>& classes,
                                         const LibraryNames& library, const OtherView& other);

}  // namespace quorvel::com
