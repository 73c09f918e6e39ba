#include "com/classes.h"

#include "QuorvelV11.h"
#include "com/analyser_object.h"
#include "com/cls_use_object.h"

namespace quorvel::com {

namespace {
constexpr CoClass kClasses[] = {
    {L"GetAnalyseBarCode", &CLSID_GetAnalyseBarCode, L"QuorvelV11.GetAnalyseBarCode",
     L"QuorvelV11.GetAnalyseBarCode.1", L"_GetAnalyseBarCode", &IID__GetAnalyseBarCode,
     &AnalyserFactory::Get},
    {L"ClsUse", &CLSID_ClsUse, L"QuorvelV11.ClsUse", L"QuorvelV11.ClsUse.1", L"_ClsUse",
     &IID__ClsUse, &ClsUseFactory::Get},
};
}  // namespace

std::span<const CoClass> Classes() {
    return kClasses;
}

}  // namespace quorvel::com
