#include "com/registration_plan.h"

namespace quorvel::com {

std::vector<RemovalStep> UnregisterSteps(const std::vector<ClassNames>& classes,
                                         const LibraryNames& library, const OtherView& other) {
    std::vector<RemovalStep> steps;
    auto add = [&steps](Views views, Removal how, std::string key) {
        steps.push_back({views, how, std::move(key)});
    };
    for (size_t i = 0; i < classes.size(); ++i) {
        const ClassNames& c = classes[i];
        add(Views::Own, Removal::Tree, "CLSID\\" + c.clsid);
        // The interface is marshalled per view; the other view has its own entry.
        add(Views::Own, Removal::Tree, "Interface\\" + c.iid);
        // The ProgIDs lead the other architecture's hosts to its class while it is registered.
        const bool otherHasIt = i < other.registersClass.size() && other.registersClass[i];
        if (!otherHasIt) {
            add(Views::Both, Removal::Tree, c.versionedProgId);
            add(Views::Both, Removal::Tree, c.progId);
        }
    }
    const std::string root = "TypeLib\\" + library.libid;
    const std::string version = root + "\\" + library.version;
    add(Views::Both, Removal::Tree, version + "\\0\\" + library.platform);
    if (other.hasTypeLibEntry) return steps;  // its name, FLAGS and HELPDIR serve the other one
    add(Views::Both, Removal::Tree, version);
    add(Views::Both, Removal::IfNoSubkeysLeft, root);  // other versions keep the library's key
    return steps;
}

}  // namespace quorvel::com
