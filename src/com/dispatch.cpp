#include "com/dispatch.h"

#include <vector>

namespace quorvel::com {

namespace {

bool IsMissing(const VARIANT& v) {
    return V_VT(&v) == VT_ERROR && V_ERROR(&v) == DISP_E_PARAMNOTFOUND;
}

// The positional parameters (without the return value) of the member that the call reaches,
// or none when the member is unknown to the type library (Invoke reports that itself).
struct MemberShape {
    bool found = false;
    std::vector<bool> optional;
};

MemberShape ShapeOf(ITypeInfo* typeInfo, DISPID member, WORD flags) {
    MemberShape shape;
    TYPEATTR* attr = nullptr;
    if (FAILED(typeInfo->GetTypeAttr(&attr))) return shape;
    WORD funcs = attr->cFuncs;
    typeInfo->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < funcs && !shape.found; ++i) {
        FUNCDESC* fd = nullptr;
        if (FAILED(typeInfo->GetFuncDesc(i, &fd))) continue;
        if (fd->memid == member && (fd->invkind & flags) != 0) {
            shape.found = true;
            for (SHORT p = 0; p < fd->cParams; ++p) {
                USHORT pf = fd->lprgelemdescParam[p].paramdesc.wParamFlags;
                if (pf & PARAMFLAG_FRETVAL) continue;
                shape.optional.push_back((pf & PARAMFLAG_FOPT) != 0);
            }
        }
        typeInfo->ReleaseFuncDesc(fd);
    }
    return shape;
}

// Owns the prepared argument copies for the duration of one call.
class PreparedArgs {
  public:
    ~PreparedArgs() {
        for (auto& v : args_) VariantClear(&v);
    }
    std::vector<VARIANT>& Args() { return args_; }

    HRESULT AddEmptyText() {
        VARIANT v;
        VariantInit(&v);
        V_VT(&v) = VT_BSTR;
        V_BSTR(&v) = SysAllocString(L"");
        if (!V_BSTR(&v)) return E_OUTOFMEMORY;
        args_.push_back(v);
        return S_OK;
    }

    HRESULT AddCopy(const VARIANT& source, bool optional) {
        VARIANT v;
        VariantInit(&v);
        const VARIANT* src = &source;
        if (V_VT(src) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(src)) src = V_VARIANTREF(src);
        if (optional && IsMissing(*src)) return AddEmptyText();
        HRESULT hr = VariantCopyInd(&v, const_cast<VARIANT*>(src));
        if (FAILED(hr)) return hr;
        args_.push_back(v);
        return S_OK;
    }

  private:
    std::vector<VARIANT> args_;
};

}  // namespace

HRESULT LenientInvoke(ITypeInfo* typeInfo, IUnknown* object, DISPID member, WORD flags,
                      DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                      UINT* argError) noexcept {
    try {
        if (!typeInfo || !params) return E_INVALIDARG;
        if (params->cArgs > 0 && !params->rgvarg) return E_INVALIDARG;
        MemberShape shape = ShapeOf(typeInfo, member, flags);
        const UINT given = params->cArgs;
        const UINT named = params->cNamedArgs;
        const bool propertyPut = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
        // Named arguments other than the put value are matched by the type library itself;
        // only positional calls can be padded.
        const bool positional = named == 0 || (propertyPut && named == 1);
        UINT pad = 0;
        if (shape.found && positional && !propertyPut && given < shape.optional.size()) {
            pad = static_cast<UINT>(shape.optional.size()) - given;
            for (UINT p = given; p < shape.optional.size(); ++p) {
                if (!shape.optional[p]) {
                    pad = 0;  // a required argument is missing: let Invoke say so
                    break;
                }
            }
        }

        // rgvarg holds the arguments last to first, so the padding for the parameters left
        // out at the end goes in front of the given ones.
        PreparedArgs prepared;
        prepared.Args().reserve(pad + given);
        for (UINT i = 0; i < pad; ++i) {
            HRESULT hr = prepared.AddEmptyText();
            if (FAILED(hr)) return hr;
        }
        for (UINT i = 0; i < given; ++i) {
            UINT position = given - 1 - i;  // parameter index of rgvarg[i] in a positional call
            bool optional = positional && !propertyPut && shape.found &&
                            position < shape.optional.size() && shape.optional[position];
            HRESULT hr = prepared.AddCopy(params->rgvarg[i], optional);
            if (FAILED(hr)) {
                if (argError) *argError = i;
                return hr;
            }
        }

        DISPPARAMS call = *params;
        call.cArgs = pad + given;
        call.rgvarg = prepared.Args().empty() ? nullptr : prepared.Args().data();
        UINT err = 0;
        HRESULT hr = typeInfo->Invoke(object, member, flags, &call, result, excepInfo, &err);
        if (argError && (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTFOUND)) {
            *argError = err >= pad ? err - pad : 0;
        }
        return hr;
    } catch (...) {
        return E_OUTOFMEMORY;  // the only thing that can throw here is an allocation
    }
}

}  // namespace quorvel::com
