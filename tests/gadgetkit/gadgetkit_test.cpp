#include "gadgetkit.h"

#include <gtest/gtest.h>

#include "platform/DeviceServices.h"
#include "platform/Dialogs.h"

namespace {

// Every test leaves the stand-ins as it found them: cancelled dialogs.
class Gadgets : public ::testing::Test {
protected:
    void TearDown() override {
        platform::SetColorDialog(nullptr);
        platform::SetPrintDialog(nullptr);
        platform::SetBluetoothMode(nullptr);
        platform::SetMessageComposer(nullptr);
    }
};

TEST_F(Gadgets, TheColourDialogStartsOnTheColourAndKeepsTheConfirmedOne) {
    CHOOSECOLORW seen{};
    platform::SetColorDialog([&](CHOOSECOLORW& record) {
        seen = record;
        record.rgbResult = 10 | (20 << 8) | (30 << 16);
        record.lpCustColors[3] = 0x00ABCDEF;  // the user saves a custom colour
        return TRUE;
    });
    EXPECT_EQ(OLColorDlg(0xFF123456u), 1);
    EXPECT_EQ(seen.lStructSize, 36u);
    EXPECT_EQ(seen.rgbResult, 0x00123456u) << "red 56, green 34, blue 12";
    EXPECT_EQ(seen.Flags, CC_RGBINIT | CC_FULLOPEN);
    EXPECT_EQ(seen.hwndOwner, nullptr);
    EXPECT_EQ(GetRColorvalue(), 10);
    EXPECT_EQ(GetGColorvalue(), 20);
    EXPECT_EQ(GetBColorvalue(), 30);

    // Cancelled: 0, and the colour chosen before stays; the custom colours
    // the dialog saved are shown again.
    COLORREF custom = 0;
    platform::SetColorDialog([&](CHOOSECOLORW& record) {
        custom = record.lpCustColors[3];
        record.rgbResult = 0x00FFFFFF;
        return FALSE;
    });
    EXPECT_EQ(OLColorDlg(0), 0);
    EXPECT_EQ(custom, 0x00ABCDEFu);
    EXPECT_EQ(GetRColorvalue(), 10);
    EXPECT_EQ(GetBColorvalue(), 30);
}

TEST_F(Gadgets, ThePrintDialogReportsConfirmationOrItsExtendedError) {
    PRINTDLGW seen{};
    int owner = 0;
    platform::SetPrintDialog([&](PRINTDLGW& record) {
        seen = record;
        return TRUE;
    });
    EXPECT_EQ(OLPrintDlg(&owner), 1u);
    EXPECT_EQ(seen.lStructSize, 68u);
    EXPECT_EQ(seen.hwndOwner, &owner);
    EXPECT_EQ(seen.Flags, 0x00104000u);
    ASSERT_NE(seen.lpfnPrintHook, nullptr);
    EXPECT_EQ(seen.lpfnPrintHook(&owner, 0x0110, 1, 2), 0u) << "the hook leaves every message to the dialog";

    platform::SetPrintDialog([](PRINTDLGW&) { return FALSE; }, 0);
    EXPECT_EQ(OLPrintDlg(nullptr), 0u) << "cancelled";
    platform::SetPrintDialog([](PRINTDLGW&) { return FALSE; }, 0x1008);
    EXPECT_EQ(OLPrintDlg(nullptr), 0x1008u) << "the extended error";
}

TEST_F(Gadgets, TheMessageRecordCarriesTheCallersContext) {
    MAILCOMPOSESTRUCT seen{};
    platform::SetMessageComposer([&](const MAILCOMPOSESTRUCT& record) {
        seen = record;
        return 7;
    });
    EXPECT_EQ(ComposeMMS(nullptr), 7) << "the composer's result";
    EXPECT_EQ(seen.cbSize, 44u);
    EXPECT_EQ(seen.dwFlags, 1u);
    EXPECT_EQ(seen.pvContext, nullptr);
    EXPECT_EQ(seen.fHasContext, 0u);
    EXPECT_EQ(std::u16string(seen.pszAccount), u"SMS");
    EXPECT_EQ(std::u16string(seen.pszMsgClass), u"MMS");
    int context = 0;
    ComposeMMS(&context);
    EXPECT_EQ(seen.pvContext, &context);
    EXPECT_EQ(seen.fHasContext, 1u);
}

}  // namespace
