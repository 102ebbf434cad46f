// The database the fuzz targets open: any version, no extra rows, and the
// header reads open to the harness.
#pragma once

#include "notestore/engine/Database.h"

namespace fuzzing {

class FuzzDatabase : public zr_gen::CDatabase {
public:
    FuzzDatabase() : CDatabase(true) {}
    void CheckDbInfo() override {}
    using CDatabase::ReadHeader;

protected:
    void ReadExtraRows() override {}
    void WriteExtraRows() override {}
};

}  // namespace fuzzing
