// zrdemo: writes a few values through the library's binary stream into a
// file, reads them back and shows the stored bytes.
//
//   zrdemo [path]     (default: zrdemo.bin in the system's temporary folder)
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "notestore/foundation/Exception.h"
#include "notestore/foundation/File.h"
#include "notestore/foundation/FileStream.h"
#include "platform/Strings.h"

using namespace zr_gen;

namespace {

constexpr uint32_t kCreateReadWrite = 0x1000 | 0x0002;

int Run(const std::u16string& path) {
    CFileStream stream;
    stream.Open(path.c_str(), kCreateReadWrite);
    _String text(u"ab");
    stream << int16_t{-2} << uint32_t{1} << 1.0 << text;
    const uint32_t length = stream.GetLength();

    stream.SeekToBegin();
    std::vector<uint8_t> bytes(length);
    stream.Read(bytes.data(), length);
    std::printf("wrote %u bytes to %s\n", length, platform::Utf16ToUtf8(path).c_str());
    for (uint32_t i = 0; i < length; ++i) std::printf("%02X%c", bytes[i], i + 1 == length || i % 16 == 15 ? '\n' : ' ');

    stream.SeekToBegin();
    int16_t s = 0;
    uint32_t u = 0;
    double d = 0;
    uint32_t marker = 0;
    uint32_t count = 0;
    stream >> s >> u >> d >> marker >> count;
    std::u16string units(count, u'\0');
    for (char16_t& unit : units) {
        uint16_t value = 0;
        stream >> value;
        unit = value;
    }
    std::printf("read back: short %d, unsigned long %u, double %g, string (marker 0x%X) \"%s\"\n", s, u, d, marker,
                platform::Utf16ToUtf8(units).c_str());
    stream.Close();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string target = argc > 1 ? argv[1] : (std::filesystem::temp_directory_path() / "zrdemo.bin").string();
    try {
        return Run(platform::Utf8ToUtf16(target));
    } catch (CException* e) {
        std::fprintf(stderr, "zrdemo: %s\n", platform::Utf16ToUtf8(DescriptionOf(e)).c_str());
        DeleteException(e);
        return 1;
    }
}
