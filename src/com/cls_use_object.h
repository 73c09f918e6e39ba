// The COM face of rule maintenance: the vtable of _ClsUse, with the windows shown natively on
// the calling thread.
#pragma once

#include "QuorvelV11.h"
#include "com/dual_object.h"
#include "ui/cls_use.h"

namespace quorvel::com {

class ClsUseObject final : public DualObject<ClsUseObject, _ClsUse, IID__ClsUse> {
  public:
    using DualObject::DualObject;

    HRESULT STDMETHODCALLTYPE put_ConnString(BSTR value) override;
    HRESULT STDMETHODCALLTYPE put_ConnectionTime(short value) override;
    HRESULT STDMETHODCALLTYPE Show() override;

  private:
    friend DualObject;
    ~ClsUseObject() = default;

    ui::ClsUse core_;
};

using ClsUseFactory = ClassFactory<ClsUseObject, IID__ClsUse>;

}  // namespace quorvel::com
