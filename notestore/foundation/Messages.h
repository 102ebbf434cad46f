// The library's message table (string ids 1 to 25) and its module handle.
#pragma once

#include <cstdint>

#include "platform/Types.h"

namespace zr_gen {

// Message ids; a raise site passes the id and, as a rule, the id minus one
// as the error number.
enum MessageId : uint32_t {
    kMsgInitializing = 1,
    kMsgDbStructureUnknown = 2,
    kMsgDbStructureDifferent = 3,
    kMsgDbVersionNewer = 4,
    kMsgMissingNewRecordId = 5,
    kMsgMissingEndRecordId = 6,
    kMsgOpenOrCreateProblem = 7,
    kMsgFileReadError = 8,
    kMsgFileWriteError = 9,
    kMsgFileIO = 10,
    kMsgOutOfMemory = 11,
    kMsgDefaultHeaderSizeLess = 12,
    kMsgCheckCodeDifferent = 13,
    kMsgRecordedHeaderSizeBigger = 14,
    kMsgDataCorruption = 15,
    kMsgDataClassNotFound = 16,
    kMsgDataBufferOverflow = 17,
    kMsgUnknownData = 18,
    kMsgNoFreeCategoryId = 19,
    kMsgHeaderSizeChanged = 20,
    kMsgMaxCategories = 21,
    kMsgImageTooBig = 22,
    kMsgCannotLoadDib = 23,
    kMsgCannotSaveDib = 24,
    kMsgMemoryDbVersion = 25,
};

// The error number the message table gives a message: as a rule its id
// minus one; message 25 has 21.
constexpr uint32_t DefaultErrorNumber(MessageId id) { return id == kMsgMemoryDbVersion ? 21 : id - 1; }
// "No number": messages 15 to 18, 22 and 23.
constexpr uint32_t kNoErrorNumber = 0xFFFFFFFFu;

// The module handle recorded when the library was loaded; null before.
HINSTANCE ModuleHandle();

}  // namespace zr_gen
