#include "d3d9/null_backend.hpp"

#include <vector>

namespace d3d9 {
namespace {

class BlackFrame final : public FrameSource {
public:
    BlackFrame(std::int32_t width, std::int32_t height) : width_(width), height_(height) {}
    const std::uint32_t* readPixels() override
    {
        if (pixels_.empty()) {
            pixels_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), 0xFF000000u);
        }
        return pixels_.data();
    }

private:
    std::int32_t width_;
    std::int32_t height_;
    std::vector<std::uint32_t> pixels_;
};

class NullBackend final : public Backend {
public:
    NullBackend(const D3DPRESENT_PARAMETERS& p, const BackendOptions& options)
        : frame_(static_cast<std::int32_t>(p.BackBufferWidth), static_cast<std::int32_t>(p.BackBufferHeight)),
          width_(static_cast<std::int32_t>(p.BackBufferWidth)), height_(static_cast<std::int32_t>(p.BackBufferHeight)),
          stopUnseenDraws_(options.stopUnseenDraws)
    {
    }
    void clear(const ClearCall&, const DrawState&) override {}
    DrawOutcome draw(const DrawCall& call, const DrawState& state) override
    {
        const bool unseen = stopUnseenDraws_ && culling_.reachesNoPixel(cullingDrawOf(call, state, {}));
        return unseen ? DrawOutcome::Stopped : DrawOutcome::Drawn;
    }
    Frame present(bool rendered) override { return Frame{width_, height_, rendered, &frame_, {}}; }

private:
    BlackFrame frame_;
    std::int32_t width_;
    std::int32_t height_;
    bool stopUnseenDraws_;
    pipeline::ViewCulling culling_;
};

class NullAdapter final : public Adapter {
public:
    bool offersMultisample() const override { return true; }
    std::unique_ptr<Backend> createBackend(const D3DPRESENT_PARAMETERS& parameters,
                                           const BackendOptions& options) override
    {
        return createNullBackend(parameters, options);
    }
};

} // namespace

std::unique_ptr<Backend> createNullBackend(const D3DPRESENT_PARAMETERS& parameters, const BackendOptions& options)
{
    return std::make_unique<NullBackend>(parameters, options);
}

const BackendDescription& nullBackend()
{
    static const BackendDescription description{
        "null", "draws nothing: the program's own work alone", false,
        [](const BackendOptions&) -> std::unique_ptr<Adapter> { return std::make_unique<NullAdapter>(); }};
    return description;
}

} // namespace d3d9
