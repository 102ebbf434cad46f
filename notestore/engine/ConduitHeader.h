// Header 1 of every database: kept for the desktop synchronisation side,
// which alone fills it; the library creates no tags in it.
#pragma once

#include "notestore/engine/TaggedDataHeader.h"

namespace zr_gen {

class ZR_EXPORT CConduitHeader : public CTaggedDataHeader {
public:
    static constexpr uint16_t kId = 1;
    static constexpr uint32_t kDefaultSize = 255;

    CConduitHeader() = default;
    ~CConduitHeader() override;
    void CreateNewFields() override;
};

}  // namespace zr_gen
