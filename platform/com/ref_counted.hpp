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
    ULONG STDMETHODCALLTYPE Release() override { return drop(true); }

protected:
    virtual ~RefCounted() = default;
    // Told the count each caller's Release leaves, before the object goes at zero.
    virtual void released(ULONG) {}
    // Gives back a reference the platform itself took (a binding), without
    // the notice: only the caller's own Releases are told.
    ULONG releaseOwnReference() { return drop(false); }

private:
    ULONG drop(bool notify)
    {
        const ULONG left = --references_;
        if (notify) {
            released(left);
        }
        if (left == 0) {
            delete this;
        }
        return left;
    }

    std::atomic<ULONG> references_{1};
};

} // namespace com
