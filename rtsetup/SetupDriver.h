// Makes sure the managed runtime (version 2) is installed: waits for cab
// installations still running, looks for an installed version 2 in the
// registry, and when there is none opens the runtime's cab file, which
// starts the cab installer, and waits for that to finish.
#pragma once

#include <string>
#include <vector>

#include "rtsetup/SetupLog.h"

namespace rtsetup {

inline constexpr char16_t kDefaultCabFolder[] = u"\\Program Files\\ZADerididur\\";
inline constexpr char16_t kCabName[] = u"NETCFv2.cab";
inline constexpr char16_t kInstallerClass[] = u"MSWCELOAD";
inline constexpr char16_t kRuntimeKey[] = u"Software\\Microsoft\\.NETCompactFramework";
inline constexpr uint32_t kPathChars = 260;

// Waits (at most 10 minutes each) for the process of every top-level
// window of the cab installer's class, walking the list from its end.
void WaitForInstallers();
// Whether a value name under the runtime's key begins with "2".
bool RuntimePresent(SetupLog& log);
// folder + "\" + the cab name, cut to 259 characters.
std::u16string CabPath(std::u16string_view folder);
// Opens the cab file in `folder`; when that starts, waits for the
// installers. False when the shell refused.
bool InstallFrom(std::u16string_view folder, SetupLog& log);
// The whole run; `arguments` without the program's name, the first (if
// any) the cab folder.
void Run(const std::vector<std::u16string>& arguments, SetupLog& log);

}  // namespace rtsetup
