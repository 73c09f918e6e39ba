// The analyser the host calls for each scanned barcode. It keeps nothing of its own: its
// properties write the shared module state, and every method returns a text whatever happens.
#pragma once

#include <cstdint>
#include <string>

namespace quorvel {

class GetAnalyseBarCode {
  public:
    GetAnalyseBarCode() = default;
    ~GetAnalyseBarCode();  // closes the shared connection, for every object on the thread
    GetAnalyseBarCode(const GetAnalyseBarCode&) = delete;
    GetAnalyseBarCode& operator=(const GetAnalyseBarCode&) = delete;

    // Write-only properties.
    void ConnString(const std::u16string& value);
    void TxmGZ(const std::u16string& value);
    void TXMName(const std::u16string& value);
    void ConnectionTime(int16_t value);

    std::u16string ParseBarCode(const std::u16string& lbid, const std::u16string& Txm = u"",
                                const std::u16string& Gzid = u"") noexcept;
    std::u16string StoreCode(const std::u16string& Gzid = u"") noexcept;

    // Exposed for tests; the host reaches them only through ParseBarCode.
    static std::u16string GetSegmentValue(const std::u16string& lbid, const std::u16string& txm,
                                          const std::u16string& gzid);
    // Throws when the segment is shorter than the decimal places or they are negative.
    static std::u16string InsertDecimalPoint(const std::u16string& segment, int16_t places);
};

}  // namespace quorvel
