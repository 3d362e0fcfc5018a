// Where the controls land in pixels, and the rules that tie the description together.
#include <gtest/gtest.h>

#include <set>

#include "launcher/window_description.h"

namespace kvat {
namespace {

using enum ControlId;

TEST(TwipsToPixels, FifteenTwipsAPixelAt96Dpi) {
    EXPECT_EQ(TwipsToPixels(13095, 96), 873);
    EXPECT_EQ(TwipsToPixels(9255, 96), 617);
    EXPECT_EQ(TwipsToPixels(7, 96), 0);
    EXPECT_EQ(TwipsToPixels(8, 96), 1);  // rounds to nearest
    EXPECT_EQ(TwipsToPixels(1440, 144), 144);
    EXPECT_EQ(TwipsToPixels(13095, 120), 1091);
}

TEST(ClientPixelRect, FrameChildrenAreOffsetByTheFrame) {
    EXPECT_EQ(ClientPixelRect(txtThisVersion, 96), (PixelRect{80, 440, 329, 25}));
    EXPECT_EQ(ClientPixelRect(cmdUpdateUSBdriver, 96), (PixelRect{480, 520, 249, 33}));
    EXPECT_EQ(ClientPixelRect(cmdEXIT, 96), (PixelRect{768, 544, 97, 65}));
    EXPECT_EQ(ClientPixelRect(cmdCALIX, 96), (PixelRect{32, 104, 385, 289}));
}

TEST(Form1Description, FrameHoldsExactlyTheSixStatusControls) {
    std::set<ControlId> inside;
    for (const ControlDescription& control : Form1Description().controls) {
        if (control.container) {
            EXPECT_EQ(*control.container, Frame1);
            inside.insert(control.id);
        }
    }
    EXPECT_EQ(inside,
              (std::set<ControlId>{cmdUpdateUSBdriver, cmdDownloadSoftware, txtThisDriverVersion,
                                   txtThisVersion, txtServerVersion, txtUSBDriverVersion}));
}

TEST(Form1Description, EveryControlFitsItsContainer) {
    const FormDescription& form = Form1Description();
    for (const ControlDescription& control : form.controls) {
        const int width =
            control.container ? Describe(*control.container).rect.width : form.client_width_twips;
        const int height =
            control.container ? Describe(*control.container).rect.height : form.client_height_twips;
        EXPECT_LE(control.rect.left + control.rect.width, width) << control.name;
        EXPECT_LE(control.rect.top + control.rect.height, height) << control.name;
    }
}

TEST(Form1Description, ExitSitsLevelWithTheFrameBottom) {
    const TwipsRect frame = Describe(Frame1).rect;
    const TwipsRect exit = Describe(cmdEXIT).rect;
    EXPECT_EQ(exit.top + exit.height, frame.top + frame.height);
}

}  // namespace
}  // namespace kvat
