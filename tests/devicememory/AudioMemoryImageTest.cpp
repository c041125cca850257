// Images and copies of an audio memory, for each layout: raw and logical images round trip byte
// for byte, copying to another emulated device gives the same flash, damaged or truncated images
// are refused without reading past their end, and neither saving an image nor a failed copy
// changes the memory being edited.

#include <functional>

#include "AudioMemoryFixture.h"
#include "devicememory/AudioMemoryImage.h"
#include "devicememory/V2AudioMemory.h"
#include "devicememory/V3AudioMemory.h"

namespace test {
namespace {

using device::memory::IAudioControl;

struct Layout {
    const char* name;
    AudioFlash::Words words;
    MemoryPtr (*create)(const std::shared_ptr<device::DeviceBase>&,
                        const std::shared_ptr<device::TransferProtocol>&, bool blank);
    std::uint32_t rootSize;
    // Offsets in an image: of the fragment table address and of the name count in the root,
    // and of the first fragment record's data address.
    std::uint32_t fragmentTableAt;
    std::uint32_t nameCountAt;
    std::uint32_t firstDataAddressAt;
    // Changed fragment data shows as a checksum mismatch.
    bool dataChecked;
};

const Layout layouts[] = {
    {"version4", AudioFlash::Words::voice, createOf<device::v4::memory::AudioMemory>, 24, 2, 18, 28, true},
    {"version3", AudioFlash::Words::voice, createOf<device::v3::memory::AudioMemory>, 24, 2, 18, 28, true},
    {"version2", AudioFlash::Words::older, createOf<device::v2::memory::AudioMemory>, 19, 1, 17, 19, false},
};

// A second emulated device of the same kind, the target of copies.
struct Peer {
    std::unique_ptr<EmulatedDevice> emulated;
    std::unique_ptr<AudioFlash> flash;
    std::shared_ptr<TestDevice> device;
};

class ImageFixture : public AudioMemoryFixture {
protected:
    void TearDown() override {
        peer_.device.reset();
        AudioMemoryFixture::TearDown();
    }
    void useLayout(const Layout& layout) {
        layout_ = &layout;
        startDevice(kFlashSize, layout.words);
    }

    MemoryPtr source(bool blank) { return layout_->create(device_, transport_, blank); }
    MemoryPtr target(bool blank) { return peerLayout_->create(peer_.device, transport_, blank); }
    // A new second device, by default of the source's layout.
    void startPeer(std::size_t size, const Layout* layout = nullptr) {
        peerLayout_ = layout ? layout : layout_;
        start(peer_.emulated, peer_.flash, peer_.device, size, peerLayout_->words);
    }

    // Three fragments and a scenario of the first two, written to the source's flash.
    MemoryPtr writtenSource() {
        MemoryPtr memory = source(true);
        const std::int16_t gong = memory->addFragment(bytesOf(700, 1), L"Гонг");
        const std::int16_t fire = memory->addFragment(bytesOf(300, 2), L"Пожар №1");
        memory->addFragment(bytesOf(90, 3), L"Test");
        memory->addScenario(gong, fire, 30, L"Эвакуация");
        EXPECT_EQ(write(*memory).back(), 100);
        return memory;
    }
    const Layout* layout_ = nullptr;
    const Layout* peerLayout_ = nullptr;
    Peer peer_;
};

class AudioMemoryImageTest : public ImageFixture, public ::testing::WithParamInterface<Layout> {
protected:
    void SetUp() override {
        ImageFixture::SetUp();
        useLayout(GetParam());
    }
};

TEST_P(AudioMemoryImageTest, ImagesAndCopiesGiveTheSameFlashOnAnotherDevice) {
    const MemoryPtr written = writtenSource();
    const std::string flash = flash_->flash().contents();
    const std::string raw = written->getImage(true);
    const std::string logical = written->getImage(false);
    ASSERT_EQ(raw.size(), kFlashSize);
    EXPECT_EQ(raw.back(), '\xFF');
    EXPECT_EQ(raw, flash);
    // The flash was erased (or new) before the write: the layout alone is what it holds.
    EXPECT_EQ(logical, raw);

    const std::function<void(MemoryPtr&)> copies[] = {
        [&](MemoryPtr& to) { written->copyTo(to); },
        [&](MemoryPtr& to) { to->setImage(raw); },
        [&](MemoryPtr& to) { to->setImage(logical); },
    };
    for (const auto& copy : copies) {
        startPeer(kFlashSize);
        MemoryPtr copied = target(false);
        copy(copied);
        EXPECT_TRUE(copied->hasChanges());
        ASSERT_EQ(write(*copied).back(), 100);
        EXPECT_EQ(peer_.flash->flash().contents(), flash);
        EXPECT_EQ(copied->getImage(true), raw);
        EXPECT_EQ(copied->getImage(false), logical);
    }

    const MemoryPtr detached = device::memory::loadImage(logical);
    EXPECT_EQ(detached->getHash(), source(false)->getHash());
    // The memory that wrote the flash shows the stamp of the flash read back.
    EXPECT_EQ(written->getHash(), detached->getHash());
    for (const auto& entry : written->getFragments())
        EXPECT_EQ(detached->getFragmentFile(entry.id), written->getFragmentFile(entry.id));
}

TEST_P(AudioMemoryImageTest, SavingAnImageLeavesTheEditedMemoryAsItWas) {
    writtenSource();
    const MemoryPtr edited = source(false);
    const std::string unedited = edited->getImage(false);
    // Unwritten edits: a removal that moves data and a new, smaller fragment.
    edited->removeFragment(edited->getFragments().back().id);
    const std::int16_t added = edited->addFragment(bytesOf(20, 9), L"Новый");
    const std::wstring before = contentsOf(*edited);
    const std::string image = edited->getImage(false);
    EXPECT_NE(image, unedited);
    EXPECT_EQ(contentsOf(*edited), before);

    // The write that follows is the one the edits asked for; nothing of the first image shows
    // through the second.
    ASSERT_EQ(write(*edited).back(), 100);
    EXPECT_EQ(source(false)->getImage(false), image);
    EXPECT_EQ(source(false)->getFragmentFile(added), bytesOf(20, 9));
}

TEST_P(AudioMemoryImageTest, DamagedImagesAreRefusedAndTheMemoryKeptAsItWas) {
    const Layout& layout = GetParam();
    const std::string image = writtenSource()->getImage(false);
    const auto patched = [&](std::uint32_t at, std::uint32_t value, int bytes) {
        std::string damaged = image;
        for (int i = 0; i < bytes; ++i) damaged[at + i] = static_cast<char>(value >> (8 * i));
        return damaged;
    };
    const std::wstring tooShort = L"Некорректный размер образа";
    const std::wstring unknown = L"unknownVersion / Устройство имеет неизвестную версию аудио памяти";
    const struct {
        const char* name;
        std::string bytes;
        std::wstring message;
    } damages[] = {
        {"empty", "", tooShort},
        {"a byte short of a root", image.substr(0, layout.rootSize - 1), tooShort},
        {"a root alone", image.substr(0, layout.rootSize), unknown},
        {"a root and a byte", image.substr(0, layout.rootSize + 1), unknown},
        {"half", image.substr(0, image.size() / 2), unknown},
        {"without its last byte", image.substr(0, image.size() - 1), unknown},
        {"another version", patched(0, 9, 1), unknown},
        {"fragment table beyond the end", patched(layout.fragmentTableAt, kFlashSize, 4), unknown},
        {"names that do not add up", patched(layout.nameCountAt, 3, 2), unknown},
        {"table running past the end", patched(layout.fragmentTableAt, kFlashSize - 12, 4), unknown},
        {"fragment data running past the end", patched(layout.firstDataAddressAt, kFlashSize - 100, 4),
         unknown},
        {"no data address", patched(layout.firstDataAddressAt, 0, 4), unknown},
        // Without a checksum over the data nothing else shows it; a copy could never take it.
        {"a fragment without data", patched(layout.firstDataAddressAt + 4, 0, 4),
         layout.dataChecked ? unknown : L"Трек имеет нулевой размер"},
    };
    startPeer(kFlashSize);
    MemoryPtr kept = target(true);
    kept->addFragment("kept", L"Сохранено");
    const std::wstring before = contentsOf(*kept);
    for (const auto& damage : damages) {
        SCOPED_TRACE(damage.name);
        EXPECT_EQ(thrownMessage([&] { kept->setImage(damage.bytes); }), damage.message);
        EXPECT_EQ(contentsOf(*kept), before);
    }
    if (layout.dataChecked) {
        const std::uint32_t address = kFlashSize - 701;
        std::string changed = image;
        changed[address] = static_cast<char>(~changed[address]);
        EXPECT_EQ(thrownMessage([&] { kept->setImage(changed); }), unknown);
        EXPECT_TRUE(capture_.contains(L"checksum mismatch", L"ERROR"));
    }
    EXPECT_EQ(contentsOf(*kept), before);
    EXPECT_EQ(kept->getFragmentFile(kept->getFragments().front().id), "kept");
}

TEST_P(AudioMemoryImageTest, CopiesIntoItselfOrIntoTooLittleMemoryChangeNothing) {
    const MemoryPtr written = writtenSource();
    const std::wstring before = contentsOf(*written);
    written->copyTo(written);
    EXPECT_EQ(contentsOf(*written), before);
    EXPECT_TRUE(capture_.contains(L"It is the same devices for copy flash memory", L"INFO"));

    // Too small for the data: refused before the target is cleared.
    startPeer(1024);
    MemoryPtr small = target(true);
    small->addFragment("kept", L"Сохранено");
    const std::wstring smallBefore = contentsOf(*small);
    EXPECT_EQ(thrownCode([&] { written->copyTo(small); }), L"littleMemory");
    EXPECT_EQ(contentsOf(*small), smallBefore);
}

INSTANTIATE_TEST_SUITE_P(Layouts, AudioMemoryImageTest, ::testing::ValuesIn(layouts),
                         [](const ::testing::TestParamInfo<Layout>& info) { return info.param.name; });

// A version-2 image into a version-4 memory that has room for its data, but not for the
// larger records of version 4: the copy fails at the scenario, and the target gets its own
// contents back.
class AudioMemoryCopyTest : public ImageFixture {};

TEST_F(AudioMemoryCopyTest, ACopyThatFailsHalfwayLeavesTheTargetAsItWas) {
    useLayout(layouts[2]);
    const MemoryPtr written = writtenSource();
    const std::uint64_t used = written->getMemorySize() - written->getSizeOfFreeMemory();
    startPeer(used, &layouts[0]);
    MemoryPtr tight = target(true);
    tight->addFragment("kept", L"Сохранено");
    const std::wstring tightBefore = contentsOf(*tight);
    int changes = 0;
    tight->setChangeHandlers(nullptr, [&] { ++changes; });
    EXPECT_EQ(thrownCode([&] { device::memory::loadImage(written->getImage(false))->copyTo(tight); }),
              L"littleMemory");
    EXPECT_EQ(contentsOf(*tight), tightBefore);
    EXPECT_GT(changes, 0);
    EXPECT_EQ(tight->getFragmentFile(tight->getFragments().front().id), "kept");
}

}  // namespace
}  // namespace test
