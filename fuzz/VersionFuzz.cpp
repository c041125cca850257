// Version texts of status packets, firmware files and replies: the version record, the device
// type it names and the loudspeaker generation that follows from it.

#include "FuzzSupport.h"
#include "devicelink/DeviceBase.h"
#include "devicelink/StatePacket.h"
#include "devicelink/Version.h"
#include "devicememory/FirmwareBase.h"
#include "devices/VokarVersion.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = fuzz::text(data, size);
    device::Version version;
    const bool parsed = device::parseVersion(text, &version);
    fuzz::require(parsed == device::parseVersion(text, nullptr),
                  "testing a version text agrees with reading it");
    fuzz::require(device::toText(device::fromText(text)) != "Unsupported", "a type text names a known type");
    device::DeviceBase::parseStateVersion(text, nullptr);
    if (!parsed) return 0;

    fuzz::require(
        version.major < 255 && version.minor < 255 && version.revision < 65535 && version.build < 65535,
        "the numbers of a version lie within their ranges");
    const device::VokarVersion generation = device::toVokarVersion(version);
    fuzz::require(generation >= 0 && generation < device::vokarVersionCount, "the generation is a known one");
    device::vokarFeatures(version.type, generation);

    // The text the firmware page shows reads back as the same numbers.
    device::Version shown;
    fuzz::require(device::parseVersion(device::FirmwareBase::buildFullTextVersion(version), &shown),
                  "the full version text reads back");
    fuzz::require(
        shown.major == version.major && shown.minor == version.minor && shown.revision == version.revision,
        "the full version text keeps the numbers");
    // A build time before 255 seconds with no build is a build number kept in its place.
    const bool buildInPlaceOfTime = version.build == 0 && version.buildTime != 0 && version.buildTime < 255;
    fuzz::require(buildInPlaceOfTime || shown.build == version.build,
                  "the full version text keeps the build");
    return 0;
}
