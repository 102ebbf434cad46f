// Real desktop services for the dialog tests, each started by the test and
// stopped with it: an X server (Xvfb) on a free display, xdotool to work
// its windows, and a CUPS daemon of the test's own (folder, socket, one
// printer that prints into /dev/null).
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Processes.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace testsupport {

// Ends a child process of the test: politely, then for sure.
inline void Stop(pid_t child) {
    if (child <= 0) return;
    kill(child, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(child, nullptr, WNOHANG) == child) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

// Xvfb on the first free display, which it reports on a pipe; DISPLAY names
// it (and no Wayland display is seen) while the object lives.
class XServer {
public:
    XServer() {
        int ready[2];
        if (pipe(ready) != 0) return;
        server_ = fork();
        if (server_ == 0) {
            close(ready[0]);
            const std::string fd = std::to_string(ready[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(ready[1]);
        std::string number;
        char c;
        while (read(ready[0], &c, 1) == 1 && c != '\n') number += c;
        close(ready[0]);
        if (!number.empty()) {
            display_ = ":" + number;
            displayEnv_.emplace("DISPLAY", display_);
            waylandEnv_.emplace("WAYLAND_DISPLAY", std::nullopt);
        }
    }
    ~XServer() { Kill(); }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool Running() const { return !display_.empty(); }
    // Ends the server (every client of it then fails and ends too).
    void Kill() {
        Stop(server_);
        server_ = -1;
    }

    // Runs xdotool, giving up after 20 seconds; true when it succeeded.
    static bool Xdo(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"timeout", "20", "xdotool"});
        const auto result = platform::RunProgram(arguments);
        return result && result->exitStatus == 0;
    }
    // Waits for the window called `name`, gives it the keyboard and types
    // `keys` (xdotool key names, then further xdotool commands if any).
    static bool Type(const std::string& name, std::vector<std::string> keys) {
        std::vector<std::string> arguments{"search", "--sync", "--onlyvisible", "--name", "^" + name + "$",
                                           "windowfocus", "--sync", "sleep", "0.3", "key", "--delay", "50"};
        arguments.insert(arguments.end(), keys.begin(), keys.end());
        return Xdo(arguments);
    }
    // Does `act` on the window called `name` until the window has gone
    // (a window may not take keys at once, a list may still be filling);
    // false when the window never came or never went. What counts is the
    // window going: a key that closes it can leave xdotool failing on the
    // window it has just closed.
    static bool Answer(const std::string& name, const std::function<bool()>& act) {
        for (int attempt = 0; attempt < 10; ++attempt) {
            if (!Xdo({"search", "--sync", "--onlyvisible", "--name", "^" + name + "$"})) return false;
            (void)act();
            for (int i = 0; i < 20; ++i) {
                if (!Xdo({"search", "--onlyvisible", "--name", "^" + name + "$"})) return true;
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        }
        return false;
    }
    static bool Answer(const std::string& name, std::vector<std::string> keys) {
        return Answer(name, [&] { return Type(name, keys); });
    }

private:
    pid_t server_ = -1;
    std::string display_;
    std::optional<ScopedEnv> displayEnv_, waylandEnv_;
};

// A CUPS daemon on a socket in its own folder; CUPS_SERVER names it while
// the object lives. It needs root, as cupsd does.
class PrintService {
public:
    static constexpr char kPrinter[] = "notestore-test";

    PrintService() {
        const auto root = folder_.path();
        for (const char* sub : {"spool", "cache", "state", "log"}) std::filesystem::create_directories(root / sub);
        socket_ = (root / "cups.sock").string();
        std::ofstream(root / "cupsd.conf") << "Listen " << socket_
                                           << "\nLogLevel warn\nDefaultAuthType None\n"
                                              "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                              "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n"
                                              "</Policy>\n";
        std::ofstream(root / "cups-files.conf")
            << "ServerRoot " << root.string() << "\nRequestRoot " << (root / "spool").string() << "\nCacheDir "
            << (root / "cache").string() << "\nStateDir " << (root / "state").string() << "\nErrorLog "
            << (root / "log/error_log").string() << "\nAccessLog " << (root / "log/access_log").string()
            << "\nPageLog " << (root / "log/page_log").string() << "\nFileDevice Yes\n";
        daemon_ = platform::StartProgram({"cupsd", "-f", "-c", (root / "cupsd.conf").string(), "-s",
                                          (root / "cups-files.conf").string()});
        env_.emplace("CUPS_SERVER", socket_);
        for (int i = 0; i < 250 && !std::filesystem::exists(socket_); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ~PrintService() { Stop(daemon_); }
    PrintService(const PrintService&) = delete;
    PrintService& operator=(const PrintService&) = delete;

    // Adds the printer and makes it the default; true when CUPS took it.
    bool AddPrinter() const {
        const auto added = platform::RunProgram({"lpadmin", "-p", kPrinter, "-E", "-v", "file:///dev/null"});
        const auto chosen = platform::RunProgram({"lpadmin", "-d", kPrinter});
        return added && added->exitStatus == 0 && chosen && chosen->exitStatus == 0;
    }

private:
    TempDir folder_;
    std::string socket_;
    pid_t daemon_ = -1;
    std::optional<ScopedEnv> env_;
};

}  // namespace testsupport
