#include "support/recording_device.hpp"

#include "d3d9/call_trace.hpp"
#include "d3d9/null_backend.hpp"
#include "d3d9/objects.hpp"
#include "d3d9/runtime.hpp"

namespace recording {
namespace {

DeviceOptions currentOptions;

class RecordingAdapter final : public d3d9::Adapter {
public:
    bool offersMultisample() const override { return !currentOptions.refuseMultisample; }
    std::unique_ptr<d3d9::Backend> createBackend(const D3DPRESENT_PARAMETERS& parameters,
                                                 const d3d9::BackendOptions&) override
    {
        return currentOptions.refuseDevice ? nullptr : d3d9::createNullBackend(parameters);
    }
};

const d3d9::BackendDescription& recordingBackend()
{
    static const d3d9::BackendDescription description{
        "recording", "draws nothing; the calls are traced", false,
        [](const d3d9::BackendOptions&) -> std::unique_ptr<d3d9::Adapter> {
            return std::make_unique<RecordingAdapter>();
        }};
    return description;
}

} // namespace

void configure(DeviceOptions options)
{
    currentOptions = std::move(options);
    d3d9::BackendOptions backend;
    backend.textureRowPadding = currentOptions.texturePitch - 512;
    backend.traceCalls = true;
    backend.sink.onPresent = [](const d3d9::Frame&) {
        if (currentOptions.onPresent) {
            currentOptions.onPresent();
        }
    };
    d3d9::useBackend(recordingBackend(), std::move(backend));
}

IDirect3D9* WINAPI createDirect3D(UINT sdkVersion)
{
    if (currentOptions.failDirect3DCreate) {
        win32::trace("Direct3DCreate9(" + std::to_string(sdkVersion) + ") = NULL");
        return nullptr;
    }
    return d3d9::createDirect3D9(sdkVersion);
}

std::int32_t liveObjectCount()
{
    return d3d9::liveObjectCount();
}

std::uint64_t fnv1a(const void* data, std::size_t size, std::uint64_t hash)
{
    return d3d9::trace::fnv1a(data, size, hash);
}

} // namespace recording
