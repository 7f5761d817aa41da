// The base of every object the front end hands out: IUnknown with a name
// for the call trace (vb1, tex3, device), a line in the trace for each of
// the caller's Releases, and a process-wide count of live objects.
// Resources add the device that made them, which holds no reference on
// them nor they on it (the program releases its resources first); a device
// that goes first leaves them detached: their memory stays usable, their
// back-end copies are gone and GetDevice answers D3DERR_INVALIDCALL.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "com/ref_counted.hpp"
#include "d3d9.h"
#include "d3d9/backend.hpp"

namespace d3d9 {

class Device;

// Objects made by the front end and not yet destroyed, in this process.
std::int32_t liveObjectCount();

namespace detail {
void countObject(int change);
void traceRelease(const std::string& name, ULONG left);
} // namespace detail

template <typename Interface>
class Object : public com::RefCounted<Interface> {
public:
    explicit Object(std::string name) : name_(std::move(name)) { detail::countObject(1); }
    const std::string& name() const { return name_; }
    void addOwnReference() { this->AddRef(); }
    void releaseOwn() { this->releaseOwnReference(); }

protected:
    ~Object() override { detail::countObject(-1); }
    void released(ULONG left) override { detail::traceRelease(name_, left); }

private:
    std::string name_;
};

// What a device's resources and programs keep: the device and the back
// end's copy. The device knows its children, to detach them if it goes first.
class DeviceChild : public virtual CopyHolder {
public:
    DeviceChild(const DeviceChild&) = delete;
    DeviceChild& operator=(const DeviceChild&) = delete;
    // The back end's copy of this object, made from what the front end
    // holds: when the object is made, and again whenever the back end lost
    // its copies (a lost context given back). None by default.
    virtual std::unique_ptr<DeviceCopy> makeCopy(Backend&) const { return nullptr; }
    // The device went first: forget it and the back end's copy.
    void detachFromDevice();

protected:
    explicit DeviceChild(Device& device);
    virtual ~DeviceChild();
    Device* device() const { return device_; }
    // The back end, or NULL once the device has gone.
    Backend* backend() const;

private:
    Device* device_;
};

class ResourceBase : public DeviceChild {
public:
    D3DRESOURCETYPE type() const { return type_; }

protected:
    ResourceBase(Device& device, D3DRESOURCETYPE type) : DeviceChild(device), type_(type) {}
    HRESULT getDevice(IDirect3DDevice9** out) const;
    // Tells the back end that the memory is about to be written or freed
    // (its queued work may still read it). Derived destructors call it
    // while their memory still stands.
    void beforeChange() const
    {
        if (Backend* b = backend()) {
            b->beforeResourceChange(type_);
        }
    }

private:
    D3DRESOURCETYPE type_;
};

} // namespace d3d9
