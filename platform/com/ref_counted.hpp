// IUnknown for the platform's reference-counted objects: creation gives one
// reference, Release returns the new count and destroys the object at zero,
// QueryInterface answers no interface (nothing asks for one by GUID).
// The count is atomic, so objects may be released from any thread.
#pragma once

#include <atomic>

#include "windows.h"

namespace com {

template <typename Interface>
class RefCounted : public Interface {
public:
    RefCounted() = default;
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override
    {
        if (object != nullptr) {
            *object = nullptr;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --references_;
        released(left);
        if (left == 0) {
            delete this;
        }
        return left;
    }

protected:
    virtual ~RefCounted() = default;
    // Told the count each Release leaves, before the object goes at zero.
    virtual void released(ULONG) {}

private:
    std::atomic<ULONG> references_{1};
};

} // namespace com
