// Registering both architectures' DLLs side by side and removing them in either order, on a model
// of the registry's two views: Windows 7's (ProgIDs and TypeLib shared) and Wine's or Vista's
// (only TypeLib shared).
#include <gtest/gtest.h>

#include <set>

#include "com/registration_plan.h"

namespace quorvel::com {
namespace {

enum Arch { X86, X64 };
const std::vector<ClassNames> kNames = {
    {"{C1}", "Lib.First", "Lib.First.1", "{I1}"},
    {"{C2}", "Lib.Second", "Lib.Second.1", "{I2}"},
};
const char* Platform(Arch a) {
    return a == X64 ? "win64" : "win32";
}

class Registry {
  public:
    explicit Registry(bool progIdsShared) : progIdsShared_(progIdsShared) {}

    void Register(Arch a) {
        for (const ClassNames& c : kNames) {
            for (const std::string& k : std::vector<std::string>{
                     "CLSID\\" + c.clsid, "CLSID\\" + c.clsid + "\\InprocServer32",
                     "Interface\\" + c.iid, c.progId, c.progId + "\\CLSID", c.versionedProgId,
                     c.versionedProgId + "\\CLSID"}) {
                Add(a, k);
            }
        }
        for (const std::string& k : std::vector<std::string>{
                 "TypeLib\\{L}", "TypeLib\\{L}\\1.0", "TypeLib\\{L}\\1.0\\FLAGS",
                 "TypeLib\\{L}\\1.0\\0", std::string("TypeLib\\{L}\\1.0\\0\\") + Platform(a)}) {
            Add(a, k);
        }
    }

    // What the DLL of architecture a does: looks at the other view, then follows the plan.
    void Unregister(Arch a) {
        const Arch b = a == X64 ? X86 : X64;
        OtherView other;
        for (const ClassNames& c : kNames) {
            other.registersClass.push_back(Has(b, "CLSID\\" + c.clsid + "\\InprocServer32"));
        }
        other.hasTypeLibEntry = Has(b, std::string("TypeLib\\{L}\\1.0\\0\\") + Platform(b));
        for (const RemovalStep& s :
             UnregisterSteps(kNames, {"{L}", "1.0", Platform(a), Platform(b)}, other)) {
            for (Arch v : {a, b}) {
                if (v != a && s.views == Views::Own) continue;
                const std::string key = Physical(v, s.key);
                bool hasSubkeys = false;
                for (const std::string& k : keys_) hasSubkeys |= k.rfind(key + "\\", 0) == 0;
                if (s.how == Removal::IfNoSubkeysLeft && hasSubkeys) continue;
                std::erase_if(keys_, [&](const std::string& k) {
                    return k == key || k.rfind(key + "\\", 0) == 0;
                });
            }
        }
    }

    bool Has(Arch v, const std::string& key) const { return keys_.count(Physical(v, key)) > 0; }
    // CLSIDFromProgID and CoCreateInstance in a process of architecture v.
    bool Creates(Arch v, const ClassNames& c) const {
        return Has(v, c.progId + "\\CLSID") && Has(v, "CLSID\\" + c.clsid + "\\InprocServer32");
    }
    void Add(Arch v, const std::string& key) { keys_.insert(Physical(v, key)); }
    const std::set<std::string>& Keys() const { return keys_; }

  private:
    std::string Physical(Arch v, const std::string& key) const {
        const bool shared =
            key.rfind("TypeLib\\", 0) == 0 ||
            (progIdsShared_ && key.rfind("CLSID\\", 0) != 0 && key.rfind("Interface\\", 0) != 0);
        return (shared || v == X64 ? "" : "Wow6432Node\\") + key;
    }
    bool progIdsShared_;
    std::set<std::string> keys_;
};

TEST(RegistrationPlan, EitherArchitectureLeavesTheOtherWorkingAndTheLastLeavesNothing) {
    for (bool progIdsShared : {true, false}) {
        for (Arch first : {X64, X86}) {
            SCOPED_TRACE(testing::Message()
                         << "ProgIDs shared " << progIdsShared << ", first " << Platform(first));
            const Arch second = first == X64 ? X86 : X64;
            Registry r(progIdsShared);
            r.Add(X64, "TypeLib\\{L}\\2.0");  // another version of the library stays throughout
            r.Register(X64);
            r.Register(X86);
            r.Unregister(first);
            for (const ClassNames& c : kNames) {
                EXPECT_FALSE(r.Creates(first, c)) << c.progId;
                EXPECT_TRUE(r.Creates(second, c)) << c.progId;
                EXPECT_TRUE(r.Has(second, "Interface\\" + c.iid));
                EXPECT_FALSE(r.Has(first, "Interface\\" + c.iid));
            }
            EXPECT_TRUE(r.Has(second, std::string("TypeLib\\{L}\\1.0\\0\\") + Platform(second)));
            EXPECT_TRUE(r.Has(second, "TypeLib\\{L}\\1.0\\FLAGS"));
            EXPECT_FALSE(r.Has(second, std::string("TypeLib\\{L}\\1.0\\0\\") + Platform(first)));
            r.Unregister(second);
            EXPECT_EQ(r.Keys(), (std::set<std::string>{"TypeLib\\{L}", "TypeLib\\{L}\\2.0"}));
        }
    }
}

TEST(RegistrationPlan, AloneItRemovesTheWholeLibraryAndOnlyItsOwnViewsClasses) {
    Registry r(false);
    r.Register(X86);
    r.Add(X64, "Lib.First\\CLSID");  // a stale 64-bit ProgID of ours, with no class behind it
    r.Unregister(X86);
    EXPECT_TRUE(r.Keys().empty());
}

}  // namespace
}  // namespace quorvel::com
