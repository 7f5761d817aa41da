// A reference the device holds on a bound object, as Direct3D holds one
// while an object is bound, with the front end's own object behind it.
#pragma once

namespace d3d9 {

template <typename Concrete>
class Bound {
public:
    Bound() = default;
    Bound(const Bound&) = delete;
    Bound& operator=(const Bound&) = delete;
    ~Bound() { reset(nullptr); }
    void reset(Concrete* object)
    {
        if (object != nullptr) {
            object->addOwnReference();
        }
        if (object_ != nullptr) {
            object_->releaseOwn();
        }
        object_ = object;
    }
    Concrete* get() const { return object_; }

private:
    Concrete* object_ = nullptr;
};

} // namespace d3d9
