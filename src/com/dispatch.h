// IDispatch::Invoke through the type library, made as lenient as script hosts need.
#pragma once

#include <oaidl.h>
#include <windows.h>

namespace quorvel::com {

// Runs the call through typeInfo->Invoke after preparing the arguments:
// - a by-reference variant (what VBScript passes for a variable) is replaced by a copy of the
//   value it refers to; the type library would otherwise answer "Type mismatch" for a text
//   parameter passed by reference;
// - a missing optional argument, left out at the end or marked "not found" in between (a
//   trailing or doubled comma), becomes the empty text.
// Arguments are never written back: the methods do not change them.
HRESULT LenientInvoke(ITypeInfo* typeInfo, IUnknown* object, DISPID member, WORD flags,
                      DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                      UINT* argError) noexcept;

}  // namespace quorvel::com
