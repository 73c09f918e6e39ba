#include "com/analyser_object.h"

#include <string>

namespace quorvel::com {

namespace {

std::u16string Arg(const BSTR* text) {
    return text ? FromBstr(*text) : std::u16string();
}

HRESULT ReturnText(const std::u16string& text, BSTR* result) {
    *result = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                static_cast<UINT>(text.size()));
    return *result ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

HRESULT AnalyserObject::put_ConnString(BSTR value) {
    return PutProperty([&] { core_.ConnString(FromBstr(value)); });
}

HRESULT AnalyserObject::put_TxmGZ(BSTR value) {
    return PutProperty([&] { core_.TxmGZ(FromBstr(value)); });
}

HRESULT AnalyserObject::put_TXMName(BSTR value) {
    return PutProperty([&] { core_.TXMName(FromBstr(value)); });
}

HRESULT AnalyserObject::put_ConnectionTime(short value) {
    return PutProperty([&] { core_.ConnectionTime(value); });
}

HRESULT AnalyserObject::ParseBarCode(BSTR* lbid, BSTR* Txm, BSTR* Gzid, BSTR* result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    std::u16string text;
    try {
        UseWindowMessageBoxes();
        text = core_.ParseBarCode(Arg(lbid), Arg(Txm), Arg(Gzid));
    } catch (...) {
        text.clear();  // copying the arguments ran out of memory: the answer is the empty text
    }
    return ReturnText(text, result);
}

HRESULT AnalyserObject::StoreCode(BSTR* Gzid, BSTR* result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    std::u16string text;
    try {
        UseWindowMessageBoxes();
        text = core_.StoreCode(Arg(Gzid));
    } catch (...) {
        text.clear();
    }
    return ReturnText(text, result);
}

}  // namespace quorvel::com
