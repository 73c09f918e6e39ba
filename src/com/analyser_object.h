// The COM face of the analyser: the vtable of _GetAnalyseBarCode, and nothing that escapes to
// the host.
#pragma once

#include "QuorvelV11.h"
#include "com/dual_object.h"
#include "service/analyser.h"

namespace quorvel::com {

class AnalyserObject final
    : public DualObject<AnalyserObject, _GetAnalyseBarCode, IID__GetAnalyseBarCode> {
  public:
    using DualObject::DualObject;

    HRESULT STDMETHODCALLTYPE put_ConnString(BSTR value) override;
    HRESULT STDMETHODCALLTYPE put_TxmGZ(BSTR value) override;
    HRESULT STDMETHODCALLTYPE put_TXMName(BSTR value) override;
    HRESULT STDMETHODCALLTYPE put_ConnectionTime(short value) override;
    HRESULT STDMETHODCALLTYPE ParseBarCode(BSTR* lbid, BSTR* Txm, BSTR* Gzid,
                                           BSTR* result) override;
    HRESULT STDMETHODCALLTYPE StoreCode(BSTR* Gzid, BSTR* result) override;

  private:
    friend DualObject;
    ~AnalyserObject() = default;

    GetAnalyseBarCode core_;
};

using AnalyserFactory = ClassFactory<AnalyserObject, IID__GetAnalyseBarCode>;

}  // namespace quorvel::com
