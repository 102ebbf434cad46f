#include "rtsetup/SetupLog.h"

#include <cstdio>

#include "platform/Strings.h"
#include "platform/Time.h"

namespace rtsetup {

std::string LogPrefix(const SYSTEMTIME& time) {
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "[%02d:%02d:%02d %d]", time.wHour, time.wMinute, time.wSecond,
                  time.wMilliseconds);
    return prefix;
}

std::string Ansi(std::u16string_view text) {
    const std::u16string terminated(text);
    const int size = WideCharToMultiByte(CP_ACP, 0, terminated.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string narrow(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, terminated.c_str(), -1, narrow.data(), size, nullptr, nullptr);
    narrow.pop_back();  // the terminator
    return narrow;
}

void SetupLog::Line(const std::string& message) {
    std::FILE* file = std::fopen(path_.c_str(), started_ ? "a+" : "w+");
    if (file == nullptr) return;
    started_ = true;
    SYSTEMTIME now{};
    GetSystemTime(&now);
    std::fprintf(file, "%s%s\n", LogPrefix(now).c_str(), message.c_str());
    std::fclose(file);
}

}  // namespace rtsetup
