/* Vtable slots as the generated C header lays them out, for comparison with the type library. */
#define CINTERFACE
#define COBJMACROS
#include <stddef.h>

#include "QuorvelV11.h"

#define SLOT(member) ((int)(offsetof(_GetAnalyseBarCodeVtbl, member) / sizeof(void*)))

int HeaderSlot(const char* name) {
    static const struct {
        const char* name;
        int slot;
    } slots[] = {
        {"ConnString", SLOT(put_ConnString)}, {"TxmGZ", SLOT(put_TxmGZ)},
        {"TXMName", SLOT(put_TXMName)},       {"ConnectionTime", SLOT(put_ConnectionTime)},
        {"ParseBarCode", SLOT(ParseBarCode)}, {"StoreCode", SLOT(StoreCode)},
    };
    for (size_t i = 0; i < sizeof(slots) / sizeof(slots[0]); ++i) {
        const char* a = slots[i].name;
        const char* b = name;
        while (*a && *a == *b) ++a, ++b;
        if (*a == *b) return slots[i].slot;
    }
    return -1;
}
