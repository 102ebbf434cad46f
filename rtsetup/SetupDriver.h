// Makes sure the managed runtime is installed: waits for installations
// still running, looks for the runtime (a version 2 entry in the registry,
// or on Linux a Mono or .NET runtime on the PATH), and when there is none
// opens the runtime's package file, which starts the system's package
// installer, and waits for that to finish. Every outcome is a log line.
#pragma once

#include <string>
#include <vector>

#include "rtsetup/SetupLog.h"

namespace rtsetup {

inline constexpr char16_t kDefaultCabFolder[] = u"\\Program Files\\ZADerididur\\";
// The runtime's package: on Linux a Debian package of the Mono runtime.
inline constexpr char16_t kPackageName[] = u"mono-runtime.deb";
// The programs whose presence on the PATH means a runtime is installed.
inline constexpr const char* kRuntimePrograms[] = {"mono", "dotnet"};
inline constexpr char16_t kInstallerClass[] = u"MSWCELOAD";
inline constexpr char16_t kRuntimeKey[] = u"Software\\Microsoft\\.NETCompactFramework";
inline constexpr uint32_t kPathChars = 260;

// Waits (at most 10 minutes each) for the process of every top-level
// window of the cab installer's class, walking the list from its end.
void WaitForInstallers();
// Whether a value name under the runtime's key begins with "2" (a setting
// that overrides the search), else whether a runtime program is on the
// PATH.
bool RuntimePresent(SetupLog& log);
// The first runtime program on the PATH; empty when there is none.
std::string FindRuntimeProgram();
// folder + "\" + the package name, cut to 259 characters.
std::u16string PackagePath(std::u16string_view folder);
// Opens the package file in `folder`, waits (at most 10 minutes) for the
// installer it starts, then for the other installers. True when the
// installer finished with status 0.
bool InstallFrom(std::u16string_view folder, SetupLog& log);
// The whole run; `arguments` without the program's name, the first (if
// any) the cab folder.
void Run(const std::vector<std::u16string>& arguments, SetupLog& log);

}  // namespace rtsetup
