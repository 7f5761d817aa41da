#include "d3d9/objects.hpp"

#include "d3d9/call_trace.hpp"
#include "d3d9/device.hpp"

namespace d3d9 {
namespace {

std::atomic<std::int32_t> liveObjects{0};

} // namespace

std::int32_t liveObjectCount()
{
    return liveObjects.load();
}

namespace detail {

void countObject(int change)
{
    liveObjects += change;
}

void traceRelease(const std::string& name, ULONG left)
{
    trace::Call("Release", name).returns(left);
}

} // namespace detail

DeviceChild::DeviceChild(Device& device) : device_(&device)
{
    device.adopt(*this);
}

DeviceChild::~DeviceChild()
{
    if (device_ != nullptr) {
        device_->disown(*this);
    }
}

void DeviceChild::detachFromDevice()
{
    setCopy(nullptr);
    device_ = nullptr;
}

Backend* DeviceChild::backend() const
{
    return device_ != nullptr ? &device_->backend() : nullptr;
}

HRESULT ResourceBase::getDevice(IDirect3DDevice9** out) const
{
    if (out == nullptr || device() == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    device()->AddRef();
    *out = device();
    return D3D_OK;
}

} // namespace d3d9
