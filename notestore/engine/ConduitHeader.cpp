#include "notestore/engine/ConduitHeader.h"

namespace zr_gen {

CConduitHeader::~CConduitHeader() = default;

void CConduitHeader::CreateNewFields() {}

}  // namespace zr_gen
