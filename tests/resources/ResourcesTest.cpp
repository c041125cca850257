#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/image.h>
#include <wx/init.h>

#include <climits>
#include <set>
#include <string>

#include "resources/EmbeddedResources.h"
#include "resources/ResourceLoader.h"
#include "resources/ResourceTable.h"
#include "support/LogCapture.h"

namespace {

// True when some pixel of the image is not fully transparent.
bool hasDrawing(const wxBitmap& bitmap) {
    const wxImage image = bitmap.ConvertToImage();
    if (!image.HasAlpha()) return true;
    const unsigned char* alpha = image.GetAlpha();
    for (int i = 0; i < image.GetWidth() * image.GetHeight(); ++i) {
        if (alpha[i] != 0) return true;
    }
    return false;
}

TEST(LoadResource, EveryImageLoadsAtItsSize) {
    test::LogCapture capture;
    int images = 0;
    for (const auto& [number, info] : frm::ResourceTable) {
        if (info.kind != frm::ResourceKind::svgImage) continue;
        ++images;
        const wxBitmap bitmap = frm::loadResource(number);
        ASSERT_TRUE(bitmap.IsOk()) << info.name;
        EXPECT_EQ(bitmap.GetWidth(), info.width) << info.name;
        EXPECT_EQ(bitmap.GetHeight(), info.height) << info.name;
        EXPECT_TRUE(hasDrawing(bitmap)) << info.name;
    }
    EXPECT_EQ(images, 25);
    EXPECT_FALSE(capture.contains(L"Failure to load a resource"));
}

TEST(LoadResource, WindowIconAndUnknownNumbersGiveNullBitmapsQuietly) {
    test::LogCapture capture;
    for (int number : {0, 26, -1, INT_MIN, INT_MAX}) EXPECT_FALSE(frm::loadResource(number).IsOk()) << number;
    EXPECT_TRUE(capture.find(L"", L"ERROR").empty());
}

TEST(LoadResource, WindowIconIsKeptAsResourceData) {
    const auto& icon = frm::ResourceTable[0].value;
    ASSERT_EQ(icon.kind, frm::ResourceKind::iconGroup);
    const std::optional<std::string_view> data = frm::loadResourceData(icon.name);
    ASSERT_TRUE(data);
    const wxBitmap bitmap = frm::bitmapFromSvg(*data, wxSize(icon.width, icon.height));
    ASSERT_TRUE(bitmap.IsOk());
    EXPECT_EQ(bitmap.GetSize(), wxSize(32, 32));
}

TEST(ResourceData, NamesAreMatchedRegardlessOfCase) {
    const std::optional<std::string_view> data = frm::loadResourceData("BUTTON_PLAY");
    ASSERT_TRUE(data);
    EXPECT_EQ(data->substr(0, 4), "<svg");
    EXPECT_EQ(data->data()[data->size()], '\0');
    for (const char* name : {"button_play", "Button_Play", "bUTTON_pLAY"}) {
        const std::optional<std::string_view> same = frm::loadResourceData(name);
        ASSERT_TRUE(same) << name;
        EXPECT_EQ(same->data(), data->data()) << name;
    }
    for (const char* name :
         {"", "button_pla", "button_playx", "button_play.svg", "button play", "BUTTON_PLAY "}) {
        EXPECT_EQ(frm::loadResourceData(name), std::nullopt) << '"' << name << '"';
    }
}

TEST(ResourceData, EveryEmbeddedFileIsNamedInTheTableAndEveryRowHasData) {
    std::set<std::string> tableNames;
    for (const auto& row : frm::ResourceTable) {
        std::string name(row.value.name);
        for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_TRUE(tableNames.insert(name).second) << name;
        EXPECT_TRUE(frm::loadResourceData(row.value.name)) << name;
    }
    ASSERT_EQ(frm::detail::embeddedResourceCount, tableNames.size());
    for (std::size_t i = 0; i < frm::detail::embeddedResourceCount; ++i) {
        EXPECT_EQ(tableNames.count(frm::detail::embeddedResources[i].name), 1u)
            << frm::detail::embeddedResources[i].name;
    }
}

TEST(BitmapFromSvg, TextThatIsNoImageGivesANullBitmap) {
    const std::string cases[] = {
        "",
        "not an image",
        "<svg",
        std::string("<svg\0 width=\"24\"><rect width=\"9\" height=\"9\"/></svg>", 48),
        std::string(100000, '<'),
    };
    for (const std::string& svg : cases) {
        EXPECT_FALSE(frm::bitmapFromSvg(svg, wxSize(24, 24)).IsOk()) << svg.substr(0, 40);
    }
    const wxBitmap drawn = frm::bitmapFromSvg(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"8\" height=\"8\"><rect width=\"8\" "
        "height=\"8\"/></svg>",
        wxSize(20, 10));
    ASSERT_TRUE(drawn.IsOk());
    EXPECT_EQ(drawn.GetSize(), wxSize(20, 10));
}

}  // namespace
