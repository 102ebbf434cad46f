// Runs code that may raise the library's exceptions and reports what was
// raised, freeing the object.
#pragma once

#include <string>

#include "notestore/foundation/Exception.h"

namespace testsupport {

struct Caught {
    enum class Kind { None, Exception, DBException, FileException };
    Kind kind = Kind::None;
    std::u16string text;
    uint32_t number = 0;
    int32_t cause = -1;  // file exceptions only
    bool raised() const { return kind != Kind::None; }
};

template <class Code>
Caught Catch(Code&& code) {
    Caught caught;
    try {
        code();
    } catch (zr_gen::CException* e) {
        caught.kind = dynamic_cast<zr_gen::CFileException*>(e) != nullptr ? Caught::Kind::FileException
                      : dynamic_cast<zr_gen::CDBException*>(e) != nullptr ? Caught::Kind::DBException
                                                                          : Caught::Kind::Exception;
        caught.text = zr_gen::DescriptionOf(e);
        if (e != nullptr) caught.number = e->GetErrNumber();
        if (auto* file = dynamic_cast<zr_gen::CFileException*>(e)) caught.cause = file->GetCause();
        zr_gen::DeleteException(e);
    }
    return caught;
}

}  // namespace testsupport
