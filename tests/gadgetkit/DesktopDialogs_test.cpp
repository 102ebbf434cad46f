// The colour and print dialogs as a user meets them: real GTK dialogs on an
// X server the test starts, worked with xdotool from a second thread while
// the export waits for the answer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <future>

#include "gadgetkit.h"
#include "gadgetkit/Desktop.h"
#include "platform/Dialogs.h"

namespace {

using testsupport::PrintService;
using testsupport::ScopedEnv;
using testsupport::XServer;

// Where the custom colours sit in the colour dialog (Adwaita, the toolkit's
// default theme): one row below the palette, after the "+" button.
constexpr int kCustomRowY = 237;
int CustomSwatchX(int index) { return 88 + 52 * index; }

struct Rgb {
    int red, green, blue;
    bool operator==(const Rgb&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Rgb& c) {
    return out << c.red << "," << c.green << "," << c.blue;
}
Rgb Chosen() { return {GetRColorvalue(), GetGColorvalue(), GetBColorvalue()}; }

class DesktopDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetDialogProgram(GADGETKIT_DIALOGS);
        ASSERT_TRUE(x.Running()) << "Xvfb did not start";
    }
    void TearDown() override { platform::SetDialogProgram(""); }

    // Runs `dialog` while `user` works the windows; when the user cannot
    // (no window came), the X server is ended so that the dialog returns.
    template <class Result>
    Result WithUser(std::function<Result()> dialog, std::function<bool()> user) {
        auto acting = std::async(std::launch::async, [&] {
            const bool done = user();
            if (!done) x.Kill();
            return done;
        });
        const Result result = dialog();
        EXPECT_TRUE(acting.get()) << "the dialog's window did not come, or did not take the keys";
        return result;
    }
    int32_t Colour(uint32_t initial, std::function<bool()> user) {
        return WithUser<int32_t>([initial] { return OLColorDlg(initial); }, std::move(user));
    }
    static bool PickCustom(int index) {
        return XServer::Answer("Colour", [index] {
            return XServer::Xdo({"search", "--sync", "--onlyvisible", "--name", "^Colour$", "mousemove", "--sync",
                                 std::to_string(CustomSwatchX(index)), std::to_string(kCustomRowY), "click", "1"}) &&
                   XServer::Type("Colour", {"alt+s"});
        });
    }

    XServer x;
};

TEST_F(DesktopDialogs, ConfirmingTheColourDialogKeepsTheColourItOpenedOn) {
    EXPECT_EQ(Colour(0xFF123456u, [] { return XServer::Answer("Colour", {"alt+s"}); }), 1);
    EXPECT_EQ(Chosen(), (Rgb{0x56, 0x34, 0x12})) << "the top byte is ignored; red is the low byte";

    EXPECT_EQ(Colour(0x001E140Au, [] { return XServer::Answer("Colour", {"Escape"}); }), 0);
    EXPECT_EQ(Chosen(), (Rgb{0x56, 0x34, 0x12})) << "a cancelled dialog keeps the colour chosen before";
}

TEST_F(DesktopDialogs, CustomColoursCarryOverToTheNextDialog) {
    // The first dialog's colour joins the custom row; the second dialog,
    // opened on another colour, shows it second and the user picks it.
    EXPECT_EQ(Colour(0x001E140Au, [] { return XServer::Answer("Colour", {"alt+s"}); }), 1);
    EXPECT_EQ(Colour(0x00DDEEFFu, [] { return PickCustom(1); }), 1);
    EXPECT_EQ(Chosen(), (Rgb{10, 20, 30}));
}

TEST_F(DesktopDialogs, WithoutADesktopTheColourDialogIsCancelled) {
    ScopedEnv noDisplay("DISPLAY", std::nullopt);
    EXPECT_EQ(OLColorDlg(0x00FFFFFFu), 0);
    EXPECT_EQ(CommDlgExtendedError(), CDERR_DIALOGFAILURE);
    EXPECT_EQ(Chosen(), (Rgb{0, 0, 0}));
}

TEST_F(DesktopDialogs, WithoutAnyPrinterThePrintDialogReportsIt) {
    // A print service that does not run knows no printer.
    testsupport::TempDir nowhere;
    ScopedEnv server("CUPS_SERVER", (nowhere.path() / "cups.sock").string());
    EXPECT_EQ(OLPrintDlg(nullptr), PDERR_NODEFAULTPRN);
}

class PrintDialogs : public DesktopDialogs {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "the test's own CUPS daemon needs root";
        DesktopDialogs::SetUp();
        ASSERT_TRUE(cups.AddPrinter());
    }
    uint32_t Print(std::function<bool()> user) {
        return WithUser<uint32_t>([] { return OLPrintDlg(nullptr); }, std::move(user));
    }

    PrintService cups;
};

TEST_F(PrintDialogs, TheDialogListsThePrintServicesPrinter) {
    EXPECT_EQ(Print([] { return XServer::Answer("Print", {"Escape"}); }), 0u) << "cancelled";
    // The service's default printer is the one selected; confirming it
    // reports it.
    EXPECT_EQ(Print([] { return XServer::Answer("Print", {"alt+p"}); }), 1u);
    EXPECT_EQ(platform::ChosenPrinter(), PrintService::kPrinter);

    ScopedEnv noDisplay("DISPLAY", std::nullopt);
    EXPECT_EQ(OLPrintDlg(nullptr), CDERR_DIALOGFAILURE) << "printers, but no desktop to show the dialog on";
}

}  // namespace
